#include "platform/process.h"

#include <windows.h>

#include <optional>

#include "platform/win32/command_line.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

bool IsBatchScript(const std::wstring& path) {
    if (path.size() < 4) return false;
    std::wstring extension = path.substr(path.size() - 4);
    return _wcsicmp(extension.c_str(), L".bat") == 0 || _wcsicmp(extension.c_str(), L".cmd") == 0;
}

std::wstring CommandInterpreter() {
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"ComSpec", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return std::wstring(path, length);
    UINT folder = GetSystemDirectoryW(path, MAX_PATH);
    if (folder == 0 || folder >= MAX_PATH) return L"cmd.exe";
    return std::wstring(path, folder) + L"\\cmd.exe";
}

}  // namespace

// Every folder the program writes may hold programs that run.
std::string RunnableProgram(const std::string& path) { return path; }

int RunTool(const std::string& executable, const std::vector<std::string>& arguments,
            const std::string& workingFolder, bool hidden) {
    std::wstring program = Widen(executable), folder = Widen(workingFolder);
    std::vector<std::wstring> wideArguments;
    for (const std::string& argument : arguments) wideArguments.push_back(Widen(argument));
    bool script = IsBatchScript(program);
    std::wstring application = script ? CommandInterpreter() : program;
    std::optional<std::wstring> line =
        script ? win32::ScriptCommandLine(application, program, wideArguments)
               : win32::ProgramCommandLine(program, wideArguments);
    if (program.empty() || !line) return -1;

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(application.c_str(), line->data(), nullptr, nullptr, FALSE,
                        hidden ? CREATE_NO_WINDOW : 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &started))
        return -1;
    win32::OwnedHandle process(started.hProcess), thread(started.hThread);
    DWORD exitCode = 0;
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.get(), &exitCode))
        return -1;
    return int(exitCode);
}

}  // namespace platform
