#include "tests/download/test_server.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace test {
namespace {

constexpr int kStartTimeoutMs = 30000;

// The first line the child prints, or "" when none comes in time.
std::string FirstLine(int fd) {
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, kStartTimeoutMs) <= 0 || read(fd, &c, 1) != 1) return "";
        line += c;
    }
    return line;
}

}  // namespace

TestServer::TestServer(const std::string& root, bool tls)
    : tls_(tls), certs_(root + ".certs"), log_(root + ".log") {
    std::vector<std::string> words = {"python3", STICKFORGE_TEST_SERVER, "--root", root, "--log",
                                      log_};
    if (tls) words.insert(words.end(), {"--tls", certs_});
    Start(std::move(words));
}

TestServer::TestServer(std::vector<std::string> command, const std::string& log)
    : tls_(false), log_(log) {
    Start(std::move(command));
}

void TestServer::Start(std::vector<std::string> words) {
    int out[2];
    if (pipe(out) != 0) return;
    child_ = fork();
    if (child_ == 0) {
        // A test process that dies mid-test takes its server along.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line = FirstLine(out[0]);
    close(out[0]);
    if (line.rfind("PORT ", 0) == 0) port_ = std::stoi(line.substr(5));
}

TestServer::~TestServer() {
    if (child_ <= 0) return;
    kill(child_, SIGTERM);
    waitpid(child_, nullptr, 0);
}

std::string TestServer::Url(const std::string& pathAndQuery) const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
           pathAndQuery;
}

std::vector<std::string> TestServer::Requests() const {
    std::vector<std::string> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace test
