// How every verb reports a failure: one line on stderr and its exit status.
#pragma once

#include <cstdio>
#include <string>

namespace cli {

// The exit status of a malformed command line.
inline constexpr int kUsageError = 2;

inline int Fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "stickforge-cli: %s\n", message.c_str());
    return status;
}

}  // namespace cli
