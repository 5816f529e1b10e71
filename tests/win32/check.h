// The counting checks of the Win32 test programs that run under Wine; each ends with
// `return check::Summary();`, which prints "N passed, N failed".
#pragma once

#include <cstdio>

namespace check {

inline int passed = 0, failed = 0;

inline void Check(bool ok, const char* what, int line) {
    if (ok) {
        ++passed;
        return;
    }
    ++failed;
    std::printf("FAILED line %d: %s\n", line, what);
}

inline int Summary() {
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

}  // namespace check

#define CHECK(condition) check::Check((condition), #condition, __LINE__)
