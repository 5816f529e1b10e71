// Command lines for CreateProcessW, built so that the started program reads back exactly
// the arguments given.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform::win32 {

// One argument as the C runtime's parser (and CommandLineToArgvW) reads it back: quoted
// when empty or holding blanks or quotes, backslashes doubled before a quote.
std::wstring QuoteArgument(const std::wstring& argument);

// The command line of a program: its quoted path, then the quoted arguments.
std::wstring ProgramCommandLine(const std::wstring& program,
                                const std::vector<std::wstring>& arguments);

// The command line that has the command interpreter (cmd.exe) run a batch script with the
// arguments; nullopt when the script or an argument holds a character that cmd would
// expand or end the line at (" % ! CR LF).
std::optional<std::wstring> ScriptCommandLine(const std::wstring& interpreter,
                                              const std::wstring& script,
                                              const std::vector<std::wstring>& arguments);

}  // namespace platform::win32
