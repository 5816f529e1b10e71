#include "platform/linux/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

namespace platform::linuxos {
namespace {

constexpr int kStopGraceMs = 1000;

bool Executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::vector<std::string> SearchFolders() {
    std::vector<std::string> folders;
    const char* path = std::getenv("PATH");
    std::istringstream in(path ? path : "");
    for (std::string folder; std::getline(in, folder, ':');)
        if (!folder.empty()) folders.push_back(folder);
    for (const char* folder : {"/usr/sbin", "/sbin", "/usr/bin", "/bin"}) folders.push_back(folder);
    return folders;
}

// Our environment with LC_ALL=C in place of any locale choice.
std::vector<std::string> CLocaleEnvironment() {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable)
        if (std::strncmp(*variable, "LC_ALL=", 7) != 0) variables.emplace_back(*variable);
    variables.emplace_back("LC_ALL=C");
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// posix_spawn's file actions, released however spawning ends.
class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return Executable(name) ? name : "";
    for (const std::string& folder : SearchFolders())
        if (Executable(folder + "/" + name)) return folder + "/" + name;
    return "";
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool captureOutput) {
    std::string program = argv.empty() ? "" : FindProgram(argv[0]);
    if (program.empty()) return;
    int pipeEnds[2] = {-1, -1};
    if (captureOutput && pipe2(pipeEnds, O_CLOEXEC) != 0) return;
    UniqueFd readEnd(pipeEnds[0]), writeEnd(pipeEnds[1]);
    FileActions actions;
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    if (captureOutput) {
        posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), 1);
        posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), 2);
    } else {
        posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(actions.get(), 1, 2);
    }
    posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    std::vector<std::string> arguments = argv, environment = CLocaleEnvironment();
    arguments[0] = program;
    if (posix_spawn(&pid_, program.c_str(), actions.get(), nullptr, Pointers(arguments).data(),
                    Pointers(environment).data()) != 0) {
        pid_ = -1;
        return;
    }
    output_ = std::move(readEnd);
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Reap(int options) {
    int status = 0;
    pid_t reaped;
    do reaped = waitpid(pid_, &status, options);
    while (reaped < 0 && errno == EINTR);
    if (reaped == 0) return false;
    exitCode_ = reaped == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return true;
}

bool ChildProcess::Poll(int timeoutMs, std::string& output) {
    if (pid_ <= 0) return false;
    if (!output_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return !Reap(WNOHANG);
    }
    pollfd ready{output_.get(), POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0) return true;
    char buffer[4096];
    ssize_t got = read(output_.get(), buffer, sizeof(buffer));
    if (got > 0) {
        output.append(buffer, size_t(got));
        return true;
    }
    if (got < 0 && errno == EINTR) return true;
    output_.Reset();  // everything printed is read: only the end is left to wait for
    Reap(0);
    return false;
}

void ChildProcess::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int waited = 0; waited < kStopGraceMs; waited += 10) {
        if (Reap(WNOHANG)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    Reap(0);
}

int RunProgram(const std::vector<std::string>& argv) {
    ChildProcess child(argv, false);
    std::string ignored;
    while (child.Poll(10, ignored)) {
    }
    return child.exitCode();
}

}  // namespace platform::linuxos
