// Helper programs run as child processes: mkfs tools and FUSE mount helpers.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace platform::linuxos {

// The full path of a program found on PATH or in the system folders, where root's tools
// live even when PATH leaves them out; "" when it is not installed.
std::string FindProgram(const std::string& name);

// One running program. Its output (stdout and stderr together) is captured when asked,
// else discarded; it gets no other descriptor of ours, so a FUSE daemon it leaves behind
// holds no disk we lock. Messages are asked for in the C locale, as they are matched.
// Destroying it stops the program where it still runs.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, bool captureOutput);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Waits up to timeoutMs for output or the end, appending what was printed. False once
    // the program has ended and its output is all read.
    bool Poll(int timeoutMs, std::string& output);
    // Asks the program to end, then forces it; waits until it is gone.
    void Stop();
    // The exit code once ended; -1 for a program ended by a signal or never started.
    int exitCode() const { return exitCode_; }

private:
    bool Reap(int options);

    pid_t pid_ = -1;
    UniqueFd output_;
    int exitCode_ = -1;
};

// Runs the program to its end with its output discarded; its exit code, -1 when it could
// not be started or was ended by a signal.
int RunProgram(const std::vector<std::string>& argv);

}  // namespace platform::linuxos
