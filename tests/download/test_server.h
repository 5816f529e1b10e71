// Runs tests/server/http_test_server.py (or another server of the tests) on 127.0.0.1 for
// the length of a test.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace test {

class TestServer {
public:
    // Serves the files under root; with tls, HTTPS with an authority made for the run.
    explicit TestServer(const std::string& root, bool tls = false);
    // Runs another loopback server of the tests from its command words, which name log as
    // its request log.
    TestServer(std::vector<std::string> command, const std::string& log);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    // "http://127.0.0.1:PORT" + pathAndQuery ("https" with tls).
    std::string Url(const std::string& pathAndQuery) const;
    std::string caFile() const { return certs_ + "/ca.pem"; }
    // One line per request answered so far (see the server's usage text).
    std::vector<std::string> Requests() const;

private:
    void Start(std::vector<std::string> words);

    bool tls_;
    std::string certs_, log_;
    pid_t child_ = -1;
    int port_ = 0;
};

}  // namespace test
