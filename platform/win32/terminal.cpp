#include "platform/terminal.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include "platform/win32/wide.h"

namespace platform {

bool IsTerminal(FILE* stream) { return stream && _isatty(_fileno(stream)); }

std::vector<std::string> CommandLineWords(int argc, char** argv) {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i) result.push_back(Narrow(words[i]));
    LocalFree(words);
    return result;
}

void UseUnchangedOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
}

}  // namespace platform
