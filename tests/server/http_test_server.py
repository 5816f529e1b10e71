#!/usr/bin/env python3
"""Loopback HTTP(S) server for the download tests, the Wine tests and the benchmarks.

Usage:
  http_test_server.py --root DIR [--port 0] [--tls CERTDIR] [--log FILE] [--seed N]
                      [--drop-chance P [--drop-smallest BYTES]]

Serves the files under DIR on 127.0.0.1 only and prints "PORT <n>" on its first line of
output once it listens (port 0 picks a free one). With --tls it speaks HTTPS with a
certificate for 127.0.0.1 signed by a certificate authority made at start-up with
openssl: CERTDIR/ca.pem is the authority to trust, CERTDIR/server.pem the certificate.
With --log every request is appended to FILE as one line:
  GET <path?query> range=<Range or -> if-range=<If-Range or -> auth=<yes|no> -> <status>

Files answer 200 with Content-Length, a strong ETag and Last-Modified (a folder answers
with its index.html); a "Range: bytes=A-B" or "bytes=A-" answers 206 with Content-Range,
unless If-Range names another version of the file, then 200 with the whole file. Query
parameters change the answer:
  auth=USER:PASSWORD  401 with a Basic challenge unless those credentials come along
  redirect=N          302 to the same URL with redirect=N-1, until N is 0
  location=URL        302 to URL (another server, another scheme)
  norange=1           ignore Range: always 200 with the whole file
  badrange=1          answer a Range with 206 from byte 0 (a broken server)
  excess=N            a 206 sends N bytes more than its Content-Range says, Content-Length
                      counting them (a broken server)
  nolength=1          no Content-Length; the body ends when the connection closes
  validators=0        neither ETag nor Last-Modified; etag=0: no ETag only
  rate=BYTES          send at most BYTES per second
  drop=N|random       end the connection after N (or a random number of) body bytes
  drops=K             only the first K answers for this URL drop (default: every one)
  status=CODE         answer CODE (404, 500, ...) with a short body
A file FILE.status beside FILE (index.html.status for a folder) holding a code makes FILE
answer that code with FILE as the body: an API's refusal at a fixed address.
With --drop-chance P, an answer with at least BYTES of body (default 1) that no drop
parameter governs ends the connection after a random number of body bytes with chance P:
the soak's random connection drops, kept off the small transfers into memory, which the
engine does not resume.
"""

import argparse
import base64
import email.utils
import http.server
import os
import random
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

CHUNK = 1 << 20


def make_certificates(folder):
    """A throw-away authority and a server certificate for 127.0.0.1 signed by it."""
    os.makedirs(folder, exist_ok=True)
    ca_key, ca = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, csr = os.path.join(folder, "server.key"), os.path.join(folder, "server.csr")
    cert, ext = os.path.join(folder, "server.pem"), os.path.join(folder, "server.ext")
    run = lambda *args: subprocess.run(["openssl", *args], check=True, capture_output=True)
    new_key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *new_key, "-keyout", ca_key, "-out", ca, "-days", "2",
        "-subj", "/CN=Stickforge Test Authority")
    run("req", *new_key, "-keyout", key, "-out", csr, "-subj", "/CN=127.0.0.1")
    with open(ext, "w") as f:
        # The address also as a DNS name: Wine matches the host only against those.
        f.write("subjectAltName=IP:127.0.0.1,DNS:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")
    run("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
        "-out", cert, "-days", "2", "-extfile", ext)
    return cert, key


class DropCounter:
    def __init__(self):
        self.lock = threading.Lock()
        self.counts = {}

    def next(self, key):
        with self.lock:
            self.counts[key] = self.counts.get(key, 0) + 1
            return self.counts[key]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "StickforgeTest/1"

    def log_message(self, *args):
        pass

    def record(self, status):
        if self.server.log_path:
            line = "GET %s range=%s if-range=%s auth=%s -> %d\n" % (
                self.path, self.headers.get("Range", "-"), self.headers.get("If-Range", "-"),
                "yes" if self.headers.get("Authorization") else "no", status)
            with self.server.log_lock, open(self.server.log_path, "a") as f:
                f.write(line)

    def answer_short(self, status, text, extra=()):
        body = text.encode()
        self.record(status)
        self.send_response(status)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        if "status" in query:
            return self.answer_short(int(query["status"]), "status %s\n" % query["status"])
        if "auth" in query:
            expected = "Basic " + base64.b64encode(query["auth"].encode()).decode()
            if self.headers.get("Authorization") != expected:
                return self.answer_short(401, "who are you?\n",
                                         [("WWW-Authenticate", 'Basic realm="test"')])
        if "location" in query:
            return self.answer_short(302, "moved\n", [("Location", query["location"])])
        if int(query.get("redirect", "0")) > 0:
            query["redirect"] = str(int(query["redirect"]) - 1)
            target = url.path + "?" + urllib.parse.urlencode(query)
            return self.answer_short(302, "moved\n", [("Location", target)])
        path = os.path.realpath(os.path.join(self.server.root, urllib.parse.unquote(url.path)[1:]))
        if os.path.isdir(path):
            path = os.path.join(path, "index.html")
        if not path.startswith(self.server.root + os.sep) or not os.path.isfile(path):
            return self.answer_short(404, "no such file\n")
        if os.path.isfile(path + ".status"):
            with open(path + ".status") as status, open(path) as body:
                return self.answer_short(int(status.read()), body.read())
        with open(path, "rb") as f:
            self.send_file(f, os.fstat(f.fileno()), query)

    def wanted_range(self, info, query):
        """(first, last) of a Range to honour, None for the whole file, False for a 416."""
        header = self.headers.get("Range")
        if not header or query.get("norange") == "1" or not header.startswith("bytes="):
            return None
        if_range = self.headers.get("If-Range")
        if if_range is not None and if_range not in (self.etag(info), self.modified(info)):
            return None
        first, _, last = header[6:].partition("-")
        if not first.isdigit() or (last and not last.isdigit()):
            return None
        first, last = int(first), int(last) if last else info.st_size - 1
        if first >= info.st_size or last < first:
            return False
        return first, min(last, info.st_size - 1)

    @staticmethod
    def etag(info):
        return '"%x-%x-%x"' % (info.st_size, info.st_mtime_ns, info.st_ino)

    @staticmethod
    def modified(info):
        return email.utils.formatdate(info.st_mtime, usegmt=True)

    def send_file(self, f, info, query):
        span = self.wanted_range(info, query)
        if span is False:
            return self.answer_short(416, "bad range\n",
                                     [("Content-Range", "bytes */%d" % info.st_size)])
        status, first, last = (206, *span) if span else (200, 0, info.st_size - 1)
        if span and query.get("badrange") == "1":
            first = 0
        count = last - first + 1
        excess = int(query.get("excess", "0")) if status == 206 else 0
        self.record(status)
        self.send_response(status)
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, info.st_size))
        if query.get("nolength") == "1":
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(count + excess))
        if query.get("validators") != "0":
            if query.get("etag") != "0":
                self.send_header("ETag", self.etag(info))
            self.send_header("Last-Modified", self.modified(info))
        self.send_header("Content-Type", "application/octet-stream")
        self.end_headers()
        self.wfile.flush()
        limit = self.drop_point(query, count)
        self.send_body(f, first, min(count, limit), int(query.get("rate", "0")))
        if limit < count:
            self.drop(query.get("nolength") == "1")
        elif excess:
            self.wfile.write(b"\0" * excess)

    def drop(self, reset):
        """Ends the connection mid-body: an orderly close where the length tells the
        client that bytes are missing, a reset where none was given (a close would look
        like the end). The reset waits a little, so that it does not discard what the
        client has not read yet."""
        self.close_connection = True
        self.wfile.flush()
        if not reset:
            self.connection.shutdown(socket.SHUT_WR)
            return
        time.sleep(0.3)
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()

    def drop_point(self, query, count):
        drop = query.get("drop")
        if not drop:
            chance = self.server.drop_chance
            if count >= self.server.drop_smallest and self.server.random.random() < chance:
                return self.server.random.randint(0, count - 1)
            return count
        if "drops" in query and self.server.drops.next(self.path) > int(query["drops"]):
            return count
        if drop == "random":
            return self.server.random.randint(0, max(count - 1, 0))
        return int(drop)

    def send_body(self, f, offset, count, rate):
        if count <= 0:
            return
        if not rate and not self.server.tls:
            self.connection.sendfile(f, offset, count)
            return
        f.seek(offset)
        step = max(rate // 10, 1) if rate else CHUNK
        while count > 0:
            block = f.read(min(step, count))
            if not block:
                break
            self.wfile.write(block)
            self.wfile.flush()
            count -= len(block)
            if rate:
                time.sleep(0.1)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # Clients that go away mid-answer are part of the tests.
        if not isinstance(sys.exc_info()[1], OSError):
            super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description="loopback test server")
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--tls", metavar="CERTDIR")
    parser.add_argument("--log")
    parser.add_argument("--seed", type=int)
    parser.add_argument("--drop-chance", type=float, default=0.0)
    parser.add_argument("--drop-smallest", type=int, default=1)
    args = parser.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    server.root = os.path.realpath(args.root)
    server.log_path = args.log
    server.log_lock = threading.Lock()
    server.random = random.Random(args.seed)
    server.drops = DropCounter()
    server.drop_chance = args.drop_chance
    server.drop_smallest = max(args.drop_smallest, 1)
    server.tls = bool(args.tls)
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*make_certificates(args.tls))
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
