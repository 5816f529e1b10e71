// Checks of the format service layer under Wine: the system's own service as this Wine
// has it, a library without FormatEx, and a stand-in library whose FormatEx drives the
// callback. Prints "N passed, N failed".
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/disks.h"
#include "platform/paths.h"
#include "platform/win32/format_service.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/wide.h"
#include "tests/win32/check.h"
#include "tests/win32/format_double.h"

namespace {

using platform::FormatRequest;
using platform::FormatServiceStatus;
using platform::win32::RunFormatService;

// One report; value is the percent of command 0 and the success flag of command 11.
struct Report {
    uint32_t command;
    uint32_t action;
    uint32_t value;
    bool operator==(const Report&) const = default;
};

constexpr uint32_t kNeverStop = UINT32_MAX;

// Keeps every report and answers FALSE from percent `stopAt` on.
platform::FormatReport Recording(std::vector<Report>& reports, uint32_t stopAt = kNeverStop) {
    return [&reports, stopAt](uint32_t command, uint32_t action, const void* info) {
        uint32_t value = 0;
        if (command == 0) value = *static_cast<const uint32_t*>(info);
        if (command == format_double::kFinished) value = *static_cast<const uint8_t*>(info);
        reports.push_back({command, action, value});
        return !(command == 0 && value >= stopAt);
    };
}

// What the stand-in reports for a drive root starting with `letter`, up to percent `last`.
std::vector<Report> StandInRun(wchar_t letter, uint32_t last = 100) {
    std::vector<Report> reports;
    for (uint32_t percent = 0; percent <= last; percent += 25)
        reports.push_back({0, uint32_t(letter), percent});
    bool complete = last == 100;
    if (complete) reports.push_back({format_double::kCreating, uint32_t(letter), 0});
    reports.push_back({format_double::kFinished, uint32_t(letter), complete ? 1u : 0u});
    return reports;
}

// A quick format with the service's cluster size and no label.
FormatRequest Request(const char* letter, const char* fileSystem = "FAT32") {
    return {letter, fileSystem, "", true, 0};
}

std::wstring BesideProgram(const char* name) {
    std::string program = platform::ExecutablePath();
    return platform::Widen(program.substr(0, program.rfind('\\') + 1) + name);
}

// A letter no drive uses, so that a real service has nothing to format there.
std::string UnusedLetter() {
    DWORD used = GetLogicalDrives();
    for (char letter = 'Z'; letter > 'C'; --letter) {
        if (!(used & (DWORD(1) << (letter - 'A')))) return {letter, ':'};
    }
    return {};
}

void CheckSystemService() {
    bool present =
        platform::FileExists(platform::JoinPath(platform::SystemDirectory(), "fmifs.dll"));
    std::printf("the system's format service: %s\n", present ? "present" : "missing");
    auto disks = platform::CreateNativeDiskSystem();
    std::vector<Report> reports;
    std::string letter = UnusedLetter();
    CHECK(!letter.empty());
    FormatServiceStatus status =
        disks->RunFormatService(Request(letter.c_str()), Recording(reports));
    if (!present) {
        CHECK(status == FormatServiceStatus::ServiceMissing);
        CHECK(reports.empty());
        return;
    }
    // No volume there: the service ends with an error or a failed finish.
    CHECK(status == FormatServiceStatus::Ran);
    CHECK(!reports.empty() && !(reports.back() == Report{format_double::kFinished, 0, 1}));
}

void CheckLibraryWithoutFormatEx() {
    std::vector<Report> reports;
    auto missing =
        RunFormatService(BesideProgram("no_such_service.dll"), Request("E:"), Recording(reports));
    CHECK(missing == FormatServiceStatus::ServiceMissing && reports.empty());

    std::wstring kernel =
        platform::Widen(platform::JoinPath(platform::SystemDirectory(), "kernel32.dll"));
    auto status = RunFormatService(kernel, Request("E:"), Recording(reports));
    CHECK(status == FormatServiceStatus::Ran);
    CHECK((reports == std::vector<Report>{{format_double::kFinished, 0, 0}}));
}

void CheckArgumentsAndReports(const std::wstring& standIn) {
    std::vector<Report> reports;
    CHECK(RunFormatService(standIn, Request("E:"), Recording(reports)) == FormatServiceStatus::Ran);
    CHECK(reports == StandInRun(L'E'));
    // Loaded for the one format only.
    CHECK(GetModuleHandleW(standIn.c_str()) == nullptr);

    // Held here, the stand-in keeps what it was given past the format.
    platform::win32::OwnedLibrary held(LoadLibraryW(standIn.c_str()));
    CHECK(held != nullptr);
    if (!held) return;
    reports.clear();
    FormatRequest request{"F:", "NTFS", "Stick \xC3\xBC", false, 4096};
    RunFormatService(standIn, request, Recording(reports));
    CHECK(reports == StandInRun(L'F'));
    auto lastArguments = reinterpret_cast<format_double::LastArgumentsFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(held.get(), "LastArguments")));
    const format_double::Arguments& given = *lastArguments();
    CHECK(std::wstring(given.root) == L"F:");
    CHECK(given.media == 0);
    CHECK(std::wstring(given.fileSystem) == L"NTFS");
    CHECK(std::wstring(given.label) == L"Stick \u00FC");
    CHECK(!given.quick && given.clusterSize == 4096);

    // A service calling back after the format reaches no report and is told to stop.
    auto callbackAgain = reinterpret_cast<format_double::CallbackAgainFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(held.get(), "CallbackAgain")));
    CHECK(!callbackAgain());
    CHECK(reports == StandInRun(L'F'));
}

void CheckStopping(const std::wstring& standIn) {
    std::vector<Report> reports;
    RunFormatService(standIn, Request("E:"), Recording(reports, 50));
    CHECK(reports == StandInRun(L'E', 50));

    // The exception waits for the service to return; its later reports go nowhere.
    reports.clear();
    auto throwing = [&reports](uint32_t command, uint32_t action, const void* info) {
        reports.push_back({command, action, 0});
        if (command == 0 && *static_cast<const uint32_t*>(info) == 50)
            throw std::runtime_error("stop");
        return true;
    };
    bool thrown = false;
    try {
        RunFormatService(standIn, Request("E:"), throwing);
    } catch (const std::runtime_error& error) {
        thrown = std::string(error.what()) == "stop";
    }
    CHECK(thrown);
    CHECK(reports.size() == 3);
    // The next format on this thread reports normally again.
    reports.clear();
    RunFormatService(standIn, Request("F:"), Recording(reports));
    CHECK(reports == StandInRun(L'F'));
}

// Each thread's reports reach its own request while both formats run.
void CheckThreads(const std::wstring& standIn) {
    std::vector<Report> first, second;
    std::thread other(
        [&] { RunFormatService(standIn, Request("G:", "exFAT"), Recording(second)); });
    RunFormatService(standIn, Request("H:", "exFAT"), Recording(first));
    other.join();
    CHECK(first == StandInRun(L'H'));
    CHECK(second == StandInRun(L'G'));
}

}  // namespace

int main() {
    CheckSystemService();
    CheckLibraryWithoutFormatEx();
    std::wstring standIn = BesideProgram("format_double.dll");
    CHECK(GetFileAttributesW(standIn.c_str()) != INVALID_FILE_ATTRIBUTES);
    CheckArgumentsAndReports(standIn);
    CheckStopping(standIn);
    CheckThreads(standIn);
    return check::Summary();
}
