#include "platform/linux/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

bool Named(const char* variable, const std::string& assignment) {
    size_t length = assignment.find('=') + 1;
    return length > 0 && std::strncmp(variable, assignment.c_str(), length) == 0;
}

// Our environment with the options' variables (and LC_ALL=C where asked) in place of ours.
std::vector<std::string> ChildEnvironment(const ChildOptions& options) {
    std::vector<std::string> added = options.environment;
    if (options.cLocale) added.emplace_back("LC_ALL=C");
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable)
        if (std::none_of(added.begin(), added.end(),
                         [&](const std::string& name) { return Named(*variable, name); }))
            variables.emplace_back(*variable);
    variables.insert(variables.end(), added.begin(), added.end());
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

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options) {
    std::string program = argv.empty() ? "" : FindProgram(argv[0]);
    if (program.empty()) return;
    bool capture = options.output == ChildOutput::Capture;
    int pipeEnds[2] = {-1, -1};
    if (capture && pipe2(pipeEnds, O_CLOEXEC) != 0) return;
    UniqueFd readEnd(pipeEnds[0]), writeEnd(pipeEnds[1]);
    FileActions actions;
    if (options.output != ChildOutput::Inherit)
        posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    if (capture) {
        posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), 1);
        posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), 2);
    } else if (options.output == ChildOutput::Discard) {
        posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(actions.get(), 1, 2);
    }
    if (!options.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(actions.get(), options.workingFolder.c_str());
    posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    std::vector<std::string> arguments = argv, environment = ChildEnvironment(options);
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

int ChildProcess::Wait() {
    std::string ignored;
    if (output_)
        while (Poll(-1, ignored)) ignored.clear();
    else if (pid_ > 0)
        Reap(0);
    return exitCode_;
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

int RunProgram(const std::vector<std::string>& argv, const ChildOptions& options) {
    return ChildProcess(argv, options).Wait();
}

}  // namespace platform::linuxos
