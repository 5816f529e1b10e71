// The format workflow on a 4 GiB virtual disk against the bare mkfs run on the same
// partition, with every prescribed wait at zero; also the peak memory. Needs root.
// Usage: format_bench [rounds]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/dispatch.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "platform/clock.h"
#include "platform/disks.h"
#include "ui/console/console_toolkit.h"

namespace {

constexpr int64_t kImageBytes = int64_t(4) << 30;

// Waits take no time, so the figures compare the work alone.
class NoWaitClock : public platform::Clock {
public:
    uint64_t TickMs() override { return uint64_t(platform::QueryCounter() / 1000000); }
    int64_t NowUnixSeconds() override { return int64_t(time(nullptr)); }
    void SleepMs(int64_t) override {}
};

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int LineOf(const std::string& device) {
    for (const disk::DiskRecord& disk : disk::DiskList)
        if (disk::Disks().DevicePath(disk.DiskNumber) == device) return disk.ListRow;
    return -1;
}

// Selects the device's line as the user would before pressing the button.
bool SelectDevice(const std::string& device) {
    disk::RefreshDriveList();
    int line = LineOf(device);
    if (line < 0) return false;
    ui::UI().SelectItem(core::DriveTree, line);
    return true;
}

// One press of "Format Disk"; true when "All done" was shown.
bool PressFormat(ui::ConsoleToolkit& console) {
    size_t before = console.StatusLines().size();
    app::DispatchEvent(ui::Event{ui::EventKind::Control, core::MainWindow, core::FormatButton});
    std::vector<std::string> lines = console.StatusLines();
    return std::find(lines.begin() + long(before), lines.end(), "All done") != lines.end();
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (geteuid() != 0) {
        std::fprintf(stderr, "format_bench needs root for loop devices\n");
        return 1;
    }
    FILE* quiet = std::fopen("/dev/null", "w");
    auto console = std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{true, quiet, stdin});
    ui::ConsoleToolkit& consoleRef = *console;
    ui::SetToolkit(std::move(console));
    platform::SetClock(std::make_unique<NoWaitClock>());
    core::InitialiseGlobals();
    core::LoadSettingsFromText("");
    core::EnableFixedDisks = 1;  // a virtual disk counts as fixed
    core::InstallDataSet = "Not_Install";
    core::MultiPartitions = 0;
    app::SetWorkerLauncher([](app::WorkerProc proc, int32_t argument) { proc(argument); });
    app::BuildMainWindow();

    std::string folder = (std::filesystem::temp_directory_path() / "format-bench").string();
    std::filesystem::create_directories(folder);
    std::string image = folder + "/disk.img", error;
    std::filesystem::remove(image);
    std::string device;
    if (platform::CreateImageFile(image, kImageBytes, error))
        device = platform::AttachImage(image, error);
    if (device.empty()) {
        std::fprintf(stderr, "cannot make the virtual disk: %s\n", error.c_str());
        return 1;
    }

    std::vector<double> workflow, mkfs;
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        if (!(ok = SelectDevice(device))) break;
        auto start = std::chrono::steady_clock::now();
        ok = PressFormat(consoleRef);
        workflow.push_back(Seconds(start));
        // The same file system by hand on the partition the workflow made.
        std::string command = "umount -q " + device +
                              "p1 2>/dev/null; mkfs.fat -F 32 -h 4096 -n CLOVER " + device +
                              "p1 >/dev/null";
        start = std::chrono::steady_clock::now();
        ok = ok && std::system(command.c_str()) == 0;
        mkfs.push_back(Seconds(start));
    }
    platform::DetachImage(device, error);
    std::filesystem::remove_all(folder);
    if (!ok) {
        std::fprintf(stderr, "a format run failed\n");
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double ratio = Median(workflow) / Median(mkfs);
    std::printf(
        "4 GiB virtual disk, Clover FAT32-LBA quick, %d rounds: workflow median %.3f s, "
        "bare mkfs.fat median %.3f s, ratio %.2f; peak memory %ld KiB\n",
        rounds, Median(workflow), Median(mkfs), ratio, usage.ru_maxrss);
    return 0;
}
