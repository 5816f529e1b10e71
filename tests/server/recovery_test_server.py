#!/usr/bin/env python3
"""Loopback stand-in of Apple's Internet Recovery server, for the tests and benchmarks.

Usage:
  recovery_test_server.py --image DMG --key PEM [--chunk-size BYTES]
                          [--signature rsa|digest|bad] [--drop-at BYTES [--drops K]]
                          [--corrupt-chunk N] [--omit KEY,...] [--log FILE]
  recovery_test_server.py --write-chunklist DMG OUT --key PEM [--chunk-size BYTES]
                          [--signature rsa|digest|bad]

Listens on 127.0.0.1 and prints "PORT <n>" once it does. The exchange it expects:
  GET /                 sets the cookie "session" (beside another cookie)
  POST /InstallationPayload/RecoveryImage
                        with that cookie, Content-Type text/plain, User-Agent
                        InternetRecovery/1.0 and exactly the lines cid= (16 hex digits),
                        sn= (17 letters or digits), bid= (Mac- and hex digits), k= and
                        fg= (64 hex digits each), os= (default or latest); a wrong,
                        missing or repeated field gets 400 naming it. The answer's lines
                        AP AU AH AT CU CH CT name /assets/BaseSystem.dmg and
                        /assets/BaseSystem.chunklist here, and their tokens.
  GET /assets/...       with the cookie AssetToken=<AT> (the image) or <CT> (the chunk
                        list), else 403; ranges as http_test_server.py answers them.
The chunk list covers DMG in chunks of --chunk-size (default 10 MiB), its signature made
with PEM (rsa), only a digest where the signature belongs (digest), or a signature of
other bytes (bad). --drop-at ends the first K (default: every) answers of the image after
that many body bytes; --corrupt-chunk N (1-based) flips a byte in the middle of chunk N
in the first answer of the image that holds it; --omit leaves a line out of the POST's answers, the first key
listed out of the first answer, the second out of the second, and so on.
With --log every request is appended to FILE as one line (a POST's with its fields):
  <METHOD> <path> range=<Range or -> -> <status> sent=<body bytes sent> [fields]
"""

import argparse
import hashlib
import os
import re
import secrets
import struct
import subprocess
import sys
import tempfile
import threading

import http_test_server as base

MIB = 1 << 20
ANSWER_KEYS = ["AP", "AU", "AH", "AT", "CU", "CH", "CT"]
FIELD_RULES = {
    "cid": re.compile(r"[0-9A-F]{16}"),
    "sn": re.compile(r"[0-9A-Z]{17}"),
    "bid": re.compile(r"Mac-[0-9A-F]{8,16}"),
    "k": re.compile(r"[0-9A-F]{64}"),
    "fg": re.compile(r"[0-9A-F]{64}"),
    "os": re.compile(r"default|latest"),
}


def chunk_digests(image, chunk_size):
    """(size, SHA-256) of every chunk of the image file."""
    chunks = []
    with open(image, "rb") as f:
        while True:
            block = f.read(chunk_size)
            if not block:
                return chunks
            chunks.append((len(block), hashlib.sha256(block).digest()))


def make_chunklist(image, chunk_size, key, signature):
    """The chunk list of the image as Apple lays it out: a 0x24-byte header, the chunk
    table, then a 2048-bit RSA signature of the SHA-256 of both, least significant byte
    first; "digest" puts the bare SHA-256 there (method 2) instead."""
    chunks = chunk_digests(image, chunk_size)
    method = 2 if signature == "digest" else 1
    table_offset = 0x24
    signature_offset = table_offset + 36 * len(chunks)
    header = struct.pack("<4sIBBBxQQQ", b"CNKL", 0x24, 1, 1, method, len(chunks),
                         table_offset, signature_offset)
    signed = header + b"".join(struct.pack("<I32s", size, digest) for size, digest in chunks)
    if signature == "digest":
        return signed + hashlib.sha256(signed).digest()
    content = signed if signature == "rsa" else signed + b"other bytes"
    made = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key], input=content,
                          capture_output=True, check=True).stdout
    return signed + made[::-1]


class Handler(base.Handler):
    server_version = "StickforgeRecoveryTest/1"

    def record(self, status):
        self.status = status
        if not getattr(self, "sending", False):
            self.log(status, 0)

    def log(self, status, sent):
        if self.server.log_path:
            line = "%s %s range=%s -> %d sent=%d%s\n" % (
                self.command, self.path, self.headers.get("Range", "-"), status, sent,
                getattr(self, "note", ""))
            with self.server.log_lock, open(self.server.log_path, "a") as f:
                f.write(line)

    def cookie(self, name):
        for part in self.headers.get("Cookie", "").split(";"):
            key, _, value = part.strip().partition("=")
            if key == name:
                return value
        return None

    def do_GET(self):
        if self.path == "/":
            return self.answer_short(200, "Internet Recovery\n", [
                ("Set-Cookie", "region=test; Path=/"),
                ("Set-Cookie", "session=%s; Path=/; HttpOnly" % self.server.session)])
        image = self.path == "/assets/BaseSystem.dmg"
        if not image and self.path != "/assets/BaseSystem.chunklist":
            return self.answer_short(404, "no such asset\n")
        token = self.server.image_token if image else self.server.chunklist_token
        if self.cookie("AssetToken") != token:
            return self.answer_short(403, "no valid asset token\n")
        query = {}
        if image and self.server.drop_at is not None:
            query["drop"] = str(self.server.drop_at)
            if self.server.image_drops is not None:
                query["drops"] = str(self.server.image_drops)
        self.image = image
        served = self.server.image if image else self.server.chunklist.fileno()
        with open(served, "rb", closefd=image) as f:
            self.send_file(f, os.fstat(f.fileno()), query)

    def send_file(self, f, info, query):
        self.sending, self.sent, self.status = True, 0, 0
        try:
            super().send_file(f, info, query)
        finally:
            self.sending = False
            self.log(self.status, self.sent)

    def send_body(self, f, offset, count, rate):
        """Sends and counts the bytes, the corrupted one flipped in the first answer that
        holds it."""
        position, end, flip = offset, offset + count, self.server.corrupt_offset
        if not (self.image and self.server.corrupt_chunk and offset <= flip < end and
                self.server.image_answers.next("corrupt") == 1):
            flip = None
        while position < end:
            if position == flip:
                f.seek(position)
                self.wfile.write(bytes([f.read(1)[0] ^ 0xFF]))
                sent = 1
            else:
                stop = flip if flip is not None and position < flip < end else end
                sent = os.sendfile(self.connection.fileno(), f.fileno(), position,
                                   min(stop - position, MIB))
                if sent == 0:
                    return
            position += sent
            self.sent += sent

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("utf-8", "replace")
        if self.path != "/InstallationPayload/RecoveryImage":
            return self.answer_short(404, "no such service\n")
        problem = self.request_problem(body)
        if problem:
            return self.answer_short(400, problem + "\n")
        answer = {
            "AP": "041-%05d" % self.server.product,
            "AU": "http://127.0.0.1:%d/assets/BaseSystem.dmg" % self.server.port,
            "AH": self.server.image_hash,
            "AT": self.server.image_token,
            "CU": "http://127.0.0.1:%d/assets/BaseSystem.chunklist" % self.server.port,
            "CH": hashlib.sha256(self.server.chunklist_bytes).hexdigest().upper(),
            "CT": self.server.chunklist_token,
        }
        omitted = self.server.omitted.next("answer") - 1
        omit = self.server.omit[omitted] if omitted < len(self.server.omit) else None
        lines = ["%s: %s" % (key, answer[key]) for key in ANSWER_KEYS if key != omit]
        self.answer_short(200, "\n".join(lines) + "\n")

    def request_problem(self, body):
        if self.cookie("session") != self.server.session:
            return "no session cookie"
        if self.headers.get("Content-Type") != "text/plain":
            return "Content-Type is not text/plain"
        if self.headers.get("User-Agent") != "InternetRecovery/1.0":
            return "User-Agent is not InternetRecovery/1.0"
        self.note = " " + body.replace("\n", " ")
        fields = {}
        for line in body.split("\n"):
            if not line:
                continue
            key, equals, value = line.partition("=")
            if not equals or key in fields:
                return "bad line %r" % line
            fields[key] = value
        for key, rule in FIELD_RULES.items():
            if key not in fields or not rule.fullmatch(fields[key]):
                return "bad field %s" % key
        unknown = set(fields) - set(FIELD_RULES)
        if unknown:
            return "unknown field %s" % sorted(unknown)[0]
        return None


def main():
    parser = argparse.ArgumentParser(description="Internet Recovery stand-in")
    parser.add_argument("--image")
    parser.add_argument("--key", required=True)
    parser.add_argument("--chunk-size", type=int, default=10 * MIB)
    parser.add_argument("--signature", choices=["rsa", "digest", "bad"], default="rsa")
    parser.add_argument("--drop-at", type=int)
    parser.add_argument("--drops", type=int)
    parser.add_argument("--corrupt-chunk", type=int, default=0)
    parser.add_argument("--omit", default="")
    parser.add_argument("--log")
    parser.add_argument("--write-chunklist", nargs=2, metavar=("DMG", "OUT"))
    args = parser.parse_args()

    if args.write_chunklist:
        image, out = args.write_chunklist
        with open(out, "wb") as f:
            f.write(make_chunklist(image, args.chunk_size, args.key, args.signature))
        return 0

    server = base.Server(("127.0.0.1", 0), Handler)
    server.log_path = args.log
    server.log_lock = threading.Lock()
    server.drops = base.DropCounter()
    server.drop_chance, server.drop_smallest, server.random = 0.0, 1, base.random.Random(1)
    server.image_answers = base.DropCounter()
    server.port = server.server_address[1]
    server.image = os.path.realpath(args.image)
    server.session = secrets.token_hex(16)
    server.product = secrets.randbelow(100000)
    server.image_token = "expires=4102444800~access=/assets/*~md5=" + secrets.token_hex(16)
    server.chunklist_token = "expires=4102444800~access=/assets/*~md5=" + secrets.token_hex(16)
    server.chunklist_bytes = make_chunklist(args.image, args.chunk_size, args.key,
                                            args.signature)
    server.chunklist = tempfile.TemporaryFile()
    server.chunklist.write(server.chunklist_bytes)
    server.chunklist.flush()
    server.image_hash = secrets.token_hex(20).upper()
    server.drop_at = args.drop_at
    server.image_drops = args.drops
    server.corrupt_chunk = args.corrupt_chunk
    server.corrupt_offset = (args.corrupt_chunk - 1) * args.chunk_size + args.chunk_size // 2
    server.omit = [key for key in args.omit.split(",") if key]
    server.omitted = base.DropCounter()
    print("PORT %d" % server.port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
