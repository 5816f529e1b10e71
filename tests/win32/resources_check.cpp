// Checks of the packed resources and tool runs under Wine: the temporary folder, the
// archiver and scripts unpacked from the program and run, command lines as programs read
// them back, and file trees with their attributes. Prints "N passed, N failed".
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "buildtools/packer/resource_packer.h"
#include "core/state.h"
#include "platform/clock.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/win32/command_line.h"
#include "platform/win32/wide.h"
#include "resources/packed_resources.h"
#include "resources/temp_folder.h"
#include "resources/tool_run.h"
#include "resources/unpack_archive.h"
#include "tests/win32/check.h"

namespace {

using platform::Widen;

class NoWaitClock : public platform::Clock {
public:
    uint64_t TickMs() override { return 0; }
    int64_t NowUnixSeconds() override { return 0; }
    void SleepMs(int64_t) override {}
};

DWORD Attributes(const std::string& path) { return GetFileAttributesW(Widen(path).c_str()); }
bool Hidden(const std::string& path) {
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const platform::FolderEntry& entry : platform::ListFolder(folder))
        names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadText(const std::string& path) {
    std::string text;
    FILE* in = _wfopen(Widen(path).c_str(), L"rb");
    if (!in) return text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    std::fclose(in);
    return text;
}

void WriteText(const std::string& path, const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    platform::RemoveFile(path);
    platform::WriteNewFile(path, bytes);
}

// What a program started with the line would find in its argv.
std::vector<std::wstring> ReadBack(const std::wstring& line) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> result(arguments, arguments + (arguments ? count : 0));
    LocalFree(arguments);
    return result;
}

void CheckCommandLines() {
    std::vector<std::wstring> arguments{L"plain",   L"two words",          L"",
                                        L"quo\"te", L"-oC:\\out folder\\", L"back\\\\slash\\"};
    std::wstring line =
        platform::win32::ProgramCommandLine(L"C:\\Program Files\\7z.exe", arguments);
    std::vector<std::wstring> expected{L"C:\\Program Files\\7z.exe"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    CHECK(ReadBack(line) == expected);
    CHECK(platform::win32::ScriptCommandLine(L"cmd.exe", L"C:\\t\\s.bat", {L"a b", L"c&d"}) ==
          L"cmd.exe /d /s /c \"\"C:\\t\\s.bat\" \"a b\" \"c&d\"\"");
    CHECK(!platform::win32::ScriptCommandLine(L"cmd.exe", L"C:\\t\\s.bat", {L"100%"}));
    CHECK(!platform::win32::ScriptCommandLine(L"cmd.exe", L"C:\\t\\s.bat", {L"say \"hi\""}));
}

void CheckTempFolder() {
    CHECK(resources::CreateTempFolder());
    std::string first = core::TempFolder;
    CHECK(first.rfind("SFKTemp") != std::string::npos && first.back() == '\\');
    CHECK(Hidden(first));
    WriteText(first + "locked", "x");
    SetFileAttributesW(Widen(first + "locked").c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    CHECK(resources::CreateTempFolder());  // the old folder goes, read-only file and all
    std::string temporary = platform::TemporaryPath();
    int folders = 0;
    for (const std::string& name : Names(temporary)) folders += name.rfind("SFKTemp", 0) == 0;
    CHECK(folders == 1);
    CHECK(first == core::TempFolder || Attributes(first) == INVALID_FILE_ATTRIBUTES);
}

// The archiver and the Clover script from the program's own data, run the program's way.
void CheckUnpackedTools() {
    CHECK(
        resources::UnpackArchive(resources::SevenZipPack, core::TempFolder, true, "", false, true));
    CHECK(resources::UnpackArchive(resources::CloverScriptPack, core::TempFolder, true, "", false,
                                   true));
    CHECK(Names(core::TempFolder) ==
          (std::vector<std::string>{"7z.dll", "7z.exe", "Unpack_Clover_ISO.bat"}));
    CHECK(resources::RunUnpackedTool(core::TempFolder + resources::ArchiverFileName, {"i"},
                                     core::TempFolder, true) == 0);
    CHECK(Hidden(core::TempFolder + "7z.exe") && Hidden(core::TempFolder + "7z.dll"));
    // Without its argument the script prints its usage and ends with 1.
    CHECK(resources::RunUnpackedTool(core::TempFolder + resources::CloverScriptFileName, {},
                                     core::TempFolder, true) == 1);
}

void CheckRunTool() {
    std::string script = core::TempFolder + "args test.bat";
    WriteText(script,
              "@echo off\r\necho [%~1]> \"%~dp0args.txt\"\r\necho [%2]>> \"%~dp0args.txt\"\r\n"
              "exit /b 7\r\n");
    CHECK(platform::RunTool(script, {"a b", "c&d"}, "", true) == 7);
    // The second argument arrives quoted, as cmd would otherwise split at "&".
    CHECK(ReadText(core::TempFolder + "args.txt") == "[a b]\r\n[\"c&d\"]\r\n");
    CHECK(platform::RunTool(script, {"100%"}, "", true) == -1);
    CHECK(platform::RunTool(core::TempFolder + "missing.exe", {}, "", true) == -1);
}

// ZIP entries that Windows would take for a device or whose closing dot or space it would
// drop are refused like climbing ones; the rest is extracted.
void CheckWindowsNames() {
    std::vector<uint8_t> zip = buildtools::StoredZip({{"kept.txt", {'k'}},
                                                      {"CON", {'c'}},
                                                      {"aux.txt", {'a'}},
                                                      {"sub/LPT1.log", {'l'}},
                                                      {"sub/ok", {'o'}},
                                                      {"trail.", {'t'}},
                                                      {"space ", {'s'}}});
    std::string archive = core::TempFolder + "names.zip", folder = core::TempFolder + "names";
    CHECK(platform::WriteNewFile(archive, zip) == int64_t(zip.size()));
    CHECK(resources::UnpackArchive({}, folder, false, archive, false, true));
    CHECK(Names(folder) == (std::vector<std::string>{"kept.txt", "sub"}));
    CHECK(Names(folder + "\\sub") == (std::vector<std::string>{"ok"}));
}

void CheckFileTree() {
    std::string root = core::TempFolder + "tree\\deeper";
    auto tree = platform::OpenFileTree(root);
    const std::string text = "content";
    auto source = [&, done = false](uint8_t* buffer, size_t) mutable {
        if (std::exchange(done, true)) return int64_t(0);
        std::copy(text.begin(), text.end(), buffer);
        return int64_t(text.size());
    };
    CHECK(!tree->Exists("a"));
    CHECK(tree->CreateFolder("a/b"));
    CHECK(tree->WriteFile("a/b/file", source, false));
    CHECK(tree->SetHidden("a/b/file") && Hidden(root + "\\a\\b\\file"));
    auto again = [done = false](uint8_t* buffer, size_t) mutable {
        if (std::exchange(done, true)) return int64_t(0);
        buffer[0] = 'X';
        return int64_t(1);
    };
    CHECK(tree->WriteFile("a/b/file", again, false));  // over a hidden file
    CHECK(ReadText(root + "\\a\\b\\file") == "X");
    CHECK(tree->Exists("a/b") && tree->Finish());
    CHECK(!tree->WriteFile(
        "x", [](uint8_t*, size_t) { return int64_t(-1); }, false));
    CHECK(!tree->Exists("x"));
}

}  // namespace

int main() {
    platform::SetClock(std::make_unique<NoWaitClock>());
    core::InitialiseGlobals();
    CheckCommandLines();
    CheckTempFolder();
    CheckUnpackedTools();
    CheckRunTool();
    CheckWindowsNames();
    CheckFileTree();
    std::string folder = core::TempFolder;
    CHECK(platform::RemoveTree(folder) && Attributes(folder) == INVALID_FILE_ATTRIBUTES);
    return check::Summary();
}
