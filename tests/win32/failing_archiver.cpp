// Stands in for 7z.exe in the batch script checks: exits 0, except on the call numbered
// STICKFORGE_FAIL_CALL (calls are counted in calls.txt beside this program, as the
// scripts call it from more than one folder), which ends with STICKFORGE_FAIL_CODE
// (decimal or 0x hex; a negative one is a Windows exception code such as 0xC0000005 as
// cmd reads it).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring counter(self, length);
    counter = counter.substr(0, counter.find_last_of(L"\\/") + 1) + L"calls.txt";
    int calls = 0;
    if (FILE* in = _wfopen(counter.c_str(), L"r")) {
        if (std::fscanf(in, "%d", &calls) != 1) calls = 0;
        std::fclose(in);
    }
    ++calls;
    if (FILE* out = _wfopen(counter.c_str(), L"w")) {
        std::fprintf(out, "%d", calls);
        std::fclose(out);
    }
    const char* call = std::getenv("STICKFORGE_FAIL_CALL");
    const char* code = std::getenv("STICKFORGE_FAIL_CODE");
    if (call && code && std::atoi(call) == calls)
        ExitProcess(static_cast<UINT>(std::strtoll(code, nullptr, 0)));
    return 0;
}
