#include "platform/win32/command_line.h"

namespace platform::win32 {
namespace {

// Characters cmd treats specially outside quotes; an argument with one is quoted.
constexpr wchar_t kCmdSpecial[] = L" \t&|<>^(),;=";
constexpr wchar_t kCmdUnsafe[] = L"\"%!\r\n";

std::wstring QuoteForCmd(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(kCmdSpecial) == std::wstring::npos)
        return argument;
    return L"\"" + argument + L"\"";
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there each one is doubled.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');  // the closing quote follows
    return quoted + L"\"";
}

std::wstring ProgramCommandLine(const std::wstring& program,
                                const std::vector<std::wstring>& arguments) {
    std::wstring line = QuoteArgument(program);
    for (const std::wstring& argument : arguments) line += L" " + QuoteArgument(argument);
    return line;
}

std::optional<std::wstring> ScriptCommandLine(const std::wstring& interpreter,
                                              const std::wstring& script,
                                              const std::vector<std::wstring>& arguments) {
    if (script.find_first_of(kCmdUnsafe) != std::wstring::npos) return std::nullopt;
    // /s: cmd drops the first and the last quote after /c and runs what is between.
    std::wstring line = QuoteArgument(interpreter) + L" /d /s /c \"\"" + script + L"\"";
    for (const std::wstring& argument : arguments) {
        if (argument.find_first_of(kCmdUnsafe) != std::wstring::npos) return std::nullopt;
        line += L" " + QuoteForCmd(argument);
    }
    return line + L"\"";
}

}  // namespace platform::win32
