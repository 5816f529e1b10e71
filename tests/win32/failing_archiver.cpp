// Stands in for 7z.exe in the batch script checks: exits 0, except on the call numbered
// STICKFORGE_FAIL_CALL (calls are counted in calls.txt in the working folder), which ends
// with STICKFORGE_FAIL_CODE (decimal or 0x hex; a negative one is a Windows exception code
// such as 0xC0000005 as cmd reads it).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
    int calls = 0;
    if (FILE* in = std::fopen("calls.txt", "r")) {
        if (std::fscanf(in, "%d", &calls) != 1) calls = 0;
        std::fclose(in);
    }
    ++calls;
    if (FILE* out = std::fopen("calls.txt", "w")) {
        std::fprintf(out, "%d", calls);
        std::fclose(out);
    }
    const char* call = std::getenv("STICKFORGE_FAIL_CALL");
    const char* code = std::getenv("STICKFORGE_FAIL_CODE");
    if (call && code && std::atoi(call) == calls)
        ExitProcess(static_cast<UINT>(std::strtoll(code, nullptr, 0)));
    return 0;
}
