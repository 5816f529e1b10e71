// Checks of backup and restore on Windows, run under Wine. Without arguments: the chunk copy
// loop between image files and a file opened as a device, through the Win32 file calls.
// "backup FOLDER" and "restore FOLDER": the workflows on a stand-in USB disk with the real
// requesters and boxes, which tests/wine/imaging.sh reads and answers with window_probe.
// Prints "N passed, N failed".
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
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
    app::BuildMainWindow();
    disk::RefreshDriveList();
    for (const disk::DiskRecord& disk : disk::DiskList)
        if (disk.DiskNumber == 1) ui::UI().SelectItem(core::DriveTree, disk.Partitions[1].ListRow);
}

void CheckWorkflow(bool backup, const std::string& folder) {
    ui::SetToolkit(ui::CreateNativeToolkit());
    platform::SetClock(std::make_unique<NoWaitClock>());
    core::InitialiseGlobals();
    core::LoadSettingsFromText("");
    core::SFKImageLocalRepo = folder + "\\";
    std::string image = folder + "\\PartSave.hfs";
    std::vector<uint8_t> data = Pattern(size_t(kSecondSectors * 512), 2);
    test::FakeDiskSystem& disks = InstallStick(backup ? data : std::vector<uint8_t>());
    SelectSecondPartition();
    core::Outcome outcome = RunOnWorker(backup ? imaging::Backup : imaging::Restore);
    CHECK(outcome == core::Outcome::Done);
    const std::string& bytes = disks.devices["disk1"].bytes;
    if (backup) {
        CHECK(ReadWhole(image) == data);
        return;
    }
    std::vector<uint8_t> restored(bytes.begin() + kSecondStart * 512,
                                  bytes.begin() + kSecondStart * 512 + long(data.size()));
    CHECK(restored == data);
    CHECK(uint8_t(bytes[446 + 16 + 4]) == 0xAF);
    CHECK(std::memcmp(bytes.data() + 446 + 16 + 12, "\x07\x40\x01\x00", 4) == 0);
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode.empty())
        CheckCopiesThroughWin32Files();
    else if (argc > 2 && (mode == "backup" || mode == "restore"))
        CheckWorkflow(mode == "backup", argv[2]);
    else
        return 2;
    return check::Summary();
}
