// Checks of backup and restore on Windows, run under Wine: the chunk copy loop between image
// files and a file opened as a device, through the Win32 file calls; then both workflows on
// a stand-in USB disk with the real common dialogs and message boxes, read and answered
// from another thread as a user would. Prints "N passed, N failed".
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
#include "disk/format_size.h"
#include "imaging/chunk_copy.h"
#include "imaging/partition_imaging.h"
#include "platform/clock.h"
#include "platform/error_text.h"
#include "platform/image_file.h"
#include "platform/paths.h"
#include "platform/win32/disk_handle.h"
#include "platform/win32/wide.h"
#include "tests/fake_disks.h"
#include "tests/win32/check.h"
#include "ui/native.h"

namespace {

constexpr int64_t kMiB = 1 << 20;
constexpr int64_t kSecondStart = 10240, kSecondSectors = 40 * 2048 + 7;  // 512-byte sectors

class NoWaitClock : public platform::Clock {
public:
    uint64_t TickMs() override { return GetTickCount64(); }
    int64_t NowUnixSeconds() override { return 0; }
    void SleepMs(int64_t) override {}
};

std::string TempPath(const char* name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return platform::Narrow(folder) + name;
}

std::vector<uint8_t> Pattern(size_t bytes, uint32_t seed) {
    std::vector<uint8_t> data(bytes);
    for (size_t i = 0; i < bytes; ++i) data[i] = uint8_t((i * 2654435761u + seed) >> 13);
    return data;
}

bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
    auto file = platform::CreateSequentialFile(path);
    return file && file->Write(bytes.data(), int64_t(bytes.size())) == int64_t(bytes.size()) &&
           file->SetEnd() && file->Flush();
}

std::vector<uint8_t> ReadWhole(const std::string& path) {
    std::vector<uint8_t> bytes(size_t(std::max<int64_t>(0, platform::FileSize(path))));
    auto file = platform::OpenSequentialFile(path);
    if (!file || file->Read(bytes.data(), int64_t(bytes.size())) != int64_t(bytes.size()))
        return {};
    return bytes;
}

imaging::CopyClock CountingClock() {
    static std::atomic<int64_t> now{0};
    return {[] { return now += 10; }, 1000};
}

// A device (here a file opened the way disks are) into an image file and back.
void CheckCopiesThroughWin32Files() {
    std::string device = TempPath("imaging-device.img"), image = TempPath("imaging-part.hfs");
    std::vector<uint8_t> disk = Pattern(size_t(40 * kMiB + 8192), 1);
    CHECK(WriteWhole(device, disk));
    auto buffers = imaging::ChunkBuffers::Allocate();
    CHECK(buffers.has_value());
    if (!buffers) return;

    auto source = platform::win32::OpenDiskHandle(platform::Widen(device), false);
    auto target = platform::CreateSequentialFile(image);
    CHECK(source && target);
    if (!source || !target) return;
    // Not shared: a second opening is refused while the image is being written.
    CHECK(!platform::OpenSequentialFile(image));
    CHECK(platform::LastSystemError() == ERROR_SHARING_VIOLATION);
    imaging::CopyJob backup;
    backup.begin = 4096;
    backup.end = int64_t(disk.size()) - 4096;
    backup.read = [&](int64_t at, uint8_t* data, int64_t bytes) {
        return source->ReadAt(at, data, bytes) == bytes;
    };
    backup.write = [&](int64_t, const uint8_t* data, int64_t bytes) {
        return target->Write(data, bytes) == bytes;
    };
    imaging::CopyResult copied = imaging::CopyChunks(backup, *buffers, CountingClock());
    CHECK(copied.end == imaging::CopyEnd::Completed);
    CHECK(target->SetEnd() && target->Flush());
    target.reset();
    std::vector<uint8_t> saved = ReadWhole(image);
    CHECK(saved.size() == disk.size() - 8192);
    CHECK(std::equal(saved.begin(), saved.end(), disk.begin() + 4096));

    // Back onto the device at another place, then read back and compared.
    auto from = platform::OpenSequentialFile(image);
    auto writable = platform::win32::OpenDiskHandle(platform::Widen(device), true);
    CHECK(from && writable);
    if (!from || !writable) return;
    imaging::CopyJob restore;
    restore.begin = 8192;
    restore.end = 8192 + int64_t(saved.size());
    restore.read = [&](int64_t, uint8_t* data, int64_t bytes) {
        return from->Read(data, bytes) == bytes;
    };
    restore.write = [&](int64_t at, const uint8_t* data, int64_t bytes) {
        return writable->WriteAt(at, data, bytes) == bytes;
    };
    CHECK(imaging::CopyChunks(restore, *buffers, CountingClock()).end ==
          imaging::CopyEnd::Completed);
    CHECK(writable->Flush());
    CHECK(from->Seek(0));
    imaging::Comparison same = imaging::CompareChunks(
        restore.begin, restore.end,
        [&](int64_t at, uint8_t* data, int64_t bytes) {
            return writable->ReadAt(at, data, bytes) == bytes;
        },
        [&](int64_t, uint8_t* data, int64_t bytes) { return from->Read(data, bytes) == bytes; },
        *buffers);
    CHECK(same.readable && !same.firstDifference);

    // A write the system refuses ends the copy with its code; a cancel keeps whole chunks.
    auto readOnly = platform::OpenSequentialFile(image);
    imaging::CopyJob refused = backup;
    refused.write = [&](int64_t, const uint8_t* data, int64_t bytes) {
        return readOnly->Write(data, bytes) == bytes;
    };
    imaging::CopyResult failed = imaging::CopyChunks(refused, *buffers, CountingClock());
    CHECK(failed.end == imaging::CopyEnd::WriteFailed);
    CHECK(failed.error == ERROR_ACCESS_DENIED);
    readOnly.reset();

    from.reset();
    std::atomic<int32_t> cancel{1};
    target = platform::CreateSequentialFile(image);
    CHECK(target != nullptr);
    if (!target) return;
    backup.cancel = &cancel;
    CHECK(imaging::CopyChunks(backup, *buffers, CountingClock()).end ==
          imaging::CopyEnd::Cancelled);
    CHECK(target->SetEnd() && target->Flush());
    target.reset();
    CHECK(platform::FileSize(image) == imaging::kChunkBytes);

    CHECK(platform::VolumeRootOf(image).size() == 3);  // "C:\"
    source.reset();
    writable.reset();
    DeleteFileW(platform::Widen(device).c_str());
    DeleteFileW(platform::Widen(image).c_str());
}

// A USB stick of 64 MiB with two partitions, the second without a letter.
test::FakeDiskSystem& InstallStick(const std::vector<uint8_t>& secondPartition) {
    test::FakeDiskSystem& disks = *test::FakeDiskSystem::Install();
    disks.disks[1] = test::DiskFacts(
        7, 64 * kMiB, {{2048, 8192, 0x0C, true}, {kSecondStart, kSecondSectors, 0x83}});
    std::string& bytes = disks.devices["disk1"].bytes;
    bytes.assign(size_t(64 * kMiB), '\0');
    const uint8_t entries[] = {0x80, 0, 0, 0, 0x0C, 0, 0, 0, 0, 8,    0, 0, 0, 0x20, 0, 0,
                               0x00, 1, 2, 3, 0x83, 4, 5, 6, 0, 0x28, 0, 0, 7, 0x40, 1, 0};
    std::memcpy(bytes.data() + 446, entries, sizeof entries);
    bytes[510] = char(0x55);
    bytes[511] = char(0xAA);
    std::memcpy(bytes.data() + kSecondStart * 512, secondPartition.data(), secondPartition.size());
    return disks;
}

// The workflow on a worker while this thread serves the windows, as in the program.
core::Outcome RunOnWorker(core::Outcome (*workflow)(const imaging::ImagingOptions&)) {
    std::atomic<bool> done = false;
    core::Outcome outcome = core::Outcome::Failed;
    std::thread worker([&] {
        outcome = workflow({});
        done = true;
    });
    while (!done) ui::UI().WaitEvent(10);
    worker.join();
    return outcome;
}

void SelectSecondPartition() {
    disk::RefreshDriveList();
    for (const disk::DiskRecord& disk : disk::DiskList)
        if (disk.DiskNumber == 1) ui::UI().SelectItem(core::DriveTree, disk.Partitions[1].ListRow);
}

// ---- The requesters and boxes, looked at and answered from another thread ----

std::string TextOf(HWND window) {
    wchar_t text[4096] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, LPARAM(text), SMTO_ABORTIFHUNG, 2000, nullptr);
    return platform::Narrow(text);
}

// A visible dialog of this process other than `previous`, waited for up to 20 s or until
// `stop` is set.
HWND WaitForDialog(HWND previous, const std::atomic<bool>& stop) {
    struct Search {
        HWND previous, found = nullptr;
    };
    for (int tries = 0; tries < 200 && !stop; ++tries) {
        Search search{previous};
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* search = reinterpret_cast<Search*>(data);
                DWORD process = 0;
                wchar_t name[16] = {};
                GetWindowThreadProcessId(window, &process);
                GetClassNameW(window, name, 16);
                if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
                    window == search->previous || std::wstring(name) != L"#32770")
                    return TRUE;
                search->found = window;
                return FALSE;
            },
            LPARAM(&search));
        if (search.found) return search.found;
        Sleep(100);
    }
    return nullptr;
}

void Press(HWND dialog, int button) {
    PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
    for (int tries = 0; tries < 200 && IsWindow(dialog); ++tries) Sleep(50);
}

struct RequesterView {
    std::string title, file;
    std::vector<std::string> patterns;
    int selected = -1;
};

constexpr int kTypeList = 0x470, kNameEdit = 0x480, kNameCombo = 0x47c;  // dlgs.h

RequesterView ReadRequester(HWND dialog) {
    RequesterView view;
    view.title = TextOf(dialog);
    HWND types = GetDlgItem(dialog, kTypeList);
    for (int tries = 0; tries < 40 && SendMessageW(types, CB_GETCOUNT, 0, 0) <= 0; ++tries)
        Sleep(50);
    LRESULT count = SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring item(size_t(SendMessageW(types, CB_GETLBTEXTLEN, WPARAM(i), 0)), L'\0');
        SendMessageW(types, CB_GETLBTEXT, WPARAM(i), LPARAM(item.data()));
        view.patterns.push_back(platform::Narrow(item.c_str()));
    }
    view.selected = int(SendMessageW(types, CB_GETCURSEL, 0, 0));
    HWND name = GetDlgItem(dialog, kNameEdit);
    view.file = TextOf(name ? name : GetDlgItem(dialog, kNameCombo));
    return view;
}

struct BoxView {
    std::string title, text;
    bool yes = false, no = false, ok = false;
};

BoxView ReadBox(HWND box) {
    wchar_t text[4096] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 4096);  // the text's control in every message box
    return {TextOf(box), platform::Narrow(text), GetDlgItem(box, IDYES) != nullptr,
            GetDlgItem(box, IDNO) != nullptr, GetDlgItem(box, IDOK) != nullptr};
}

// Runs the workflow while another thread accepts the requester's proposed file and then
// presses the given button in each box that follows, as a user would.
struct Answered {
    core::Outcome outcome = core::Outcome::Failed;
    std::optional<RequesterView> requester;
    std::vector<BoxView> boxes;
};

Answered RunAnswering(core::Outcome (*workflow)(const imaging::ImagingOptions&),
                      std::vector<int> buttons) {
    Answered answered;
    std::atomic<bool> finished = false;
    std::thread user([&] {
        HWND dialog = WaitForDialog(nullptr, finished);
        if (!dialog) return;
        answered.requester = ReadRequester(dialog);
        Press(dialog, IDOK);
        for (int button : buttons) {
            HWND box = WaitForDialog(dialog, finished);
            if (!box) return;
            answered.boxes.push_back(ReadBox(box));
            Press(box, button);
            dialog = box;
        }
        // Whatever else comes up is declined, so that a wrong turn ends the run.
        while (!finished) {
            HWND stray = WaitForDialog(nullptr, finished);
            if (!stray) continue;
            Press(stray, IDCANCEL);
            Press(stray, IDNO);
        }
    });
    answered.outcome = RunOnWorker(workflow);
    finished = true;
    user.join();
    return answered;
}

void CheckRequester(const Answered& answered, const std::string& title) {
    CHECK(answered.requester.has_value());
    if (!answered.requester) return;
    const RequesterView& view = *answered.requester;
    CHECK(view.title == title);
    CHECK(view.file == "PartSave.hfs");
    CHECK(view.patterns ==
          std::vector<std::string>({"Binary (*.bin)", "HFS/HFS+ (*.hfs)",
                                    "HFS/HFS+/Binary (*.hfs;*.bin)", "All files (*.*)"}));
    CHECK(view.selected == 2);  // the third
}

bool IsYesNoBox(const BoxView& box, const std::string& title, const std::string& text) {
    return box.title == title && box.text == text && box.yes && box.no && !box.ok;
}

// Backup into a new file, a second backup declined at the overwrite question, and the
// restore of the image onto the emptied partition.
void CheckWorkflows() {
    ui::SetToolkit(ui::CreateNativeToolkit());
    platform::SetClock(std::make_unique<NoWaitClock>());
    core::InitialiseGlobals();
    core::LoadSettingsFromText("");
    std::string folder = TempPath("imaging-requesters");
    CreateDirectoryW(platform::Widen(folder).c_str(), nullptr);
    core::SFKImageLocalRepo = folder + "\\";
    std::string image = folder + "\\PartSave.hfs";
    DeleteFileW(platform::Widen(image).c_str());
    std::vector<uint8_t> data = Pattern(size_t(kSecondSectors * 512), 2);
    test::FakeDiskSystem& disks = InstallStick(data);
    app::BuildMainWindow();

    SelectSecondPartition();
    Answered backup = RunAnswering(imaging::Backup, {IDYES});
    CheckRequester(backup, "Save to SFKImage file:");
    CHECK(backup.boxes.size() == 1 && IsYesNoBox(backup.boxes[0], "Information",
                                                 "You have selected following file:\n" + image));
    CHECK(backup.outcome == core::Outcome::Done);
    CHECK(ReadWhole(image) == data);

    SelectSecondPartition();
    Answered again = RunAnswering(imaging::Backup, {IDNO});
    CheckRequester(again, "Save to SFKImage file:");
    CHECK(again.boxes.size() == 1 &&
          IsYesNoBox(again.boxes[0], "Warning",
                     "The selected file:\n" + image + "\nalready exists. Overwrite it?"));
    CHECK(again.outcome == core::Outcome::Refused);
    CHECK(ReadWhole(image) == data);

    std::string& bytes = disks.devices["disk1"].bytes;
    std::fill_n(bytes.begin() + kSecondStart * 512, data.size(), '\0');
    SelectSecondPartition();
    Answered restore = RunAnswering(imaging::Restore, {IDYES});
    CheckRequester(restore, "Select SFKImage file to Restore");
    CHECK(restore.boxes.size() == 1 &&
          IsYesNoBox(restore.boxes[0], "Information",
                     "You have selected following file:\n" + image + "\n" +
                         disk::FormatSize(int64_t(data.size()), 0)));
    CHECK(restore.outcome == core::Outcome::Done);
    CHECK(std::memcmp(bytes.data() + kSecondStart * 512, data.data(), data.size()) == 0);
    CHECK(uint8_t(bytes[446 + 16 + 4]) == 0xAF);
    CHECK(std::memcmp(bytes.data() + 446 + 16 + 12, "\x07\x40\x01\x00", 4) == 0);
    DeleteFileW(platform::Widen(image).c_str());
    RemoveDirectoryW(platform::Widen(folder).c_str());
}

}  // namespace

int main() {
    CheckCopiesThroughWin32Files();
    CheckWorkflows();
    return check::Summary();
}
