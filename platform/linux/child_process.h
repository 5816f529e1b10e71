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

// Where a program's output (stdout and stderr together) goes.
enum class ChildOutput { Discard, Capture, Inherit };  // Inherit: ours, stdin too

struct ChildOptions {
    ChildOutput output = ChildOutput::Discard;
    std::string workingFolder;             // "" = ours
    bool cLocale = true;                   // messages in the C locale, as they are matched
    std::vector<std::string> environment;  // "NAME=value" added to ours
};

// One running program. It gets no descriptor of ours beyond those its output asks for,
// so a FUSE daemon it leaves behind holds no disk we lock. Destroying it stops the
// program where it still runs.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options);
    // Messages in the C locale, output captured or discarded.
    ChildProcess(const std::vector<std::string>& argv, bool captureOutput)
        : ChildProcess(
              argv, {captureOutput ? ChildOutput::Capture : ChildOutput::Discard, "", true, {}}) {}
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Waits up to timeoutMs for output or the end, appending what was printed. False once
    // the program has ended and its output is all read.
    bool Poll(int timeoutMs, std::string& output);
    // Waits for the end, reading and dropping what is still printed; the exit code.
    int Wait();
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

// Runs the program to its end (output discarded unless the options say otherwise); its
// exit code, -1 when it could not be started or was ended by a signal.
int RunProgram(const std::vector<std::string>& argv, const ChildOptions& options = {});

}  // namespace platform::linuxos
