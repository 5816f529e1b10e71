// Backup and restore of a 1 GiB partition of a virtual disk against dd bs=16M conv=fsync
// between the same partition and an image file, both directions, every cache of the
// disk, the partition and the files dropped before each run; also the peak memory and the
// share of the copy time spent drawing the status line. Needs root.
// Usage: imaging_bench [rounds]
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/state.h"
#include "cli/imaging_verbs.h"
#include "platform/clock.h"
#include "platform/disks.h"
#include "ui/console/console_toolkit.h"

namespace {

constexpr int64_t kPartitionBytes = int64_t(1) << 30;
constexpr int64_t kStartSector = 2048;

using Clock = std::chrono::steady_clock;

// Waits take no time, so the figures compare the copies alone.
class NoWaitClock : public platform::Clock {
public:
    uint64_t TickMs() override { return uint64_t(platform::QueryCounter() / 1000000); }
    int64_t NowUnixSeconds() override { return int64_t(time(nullptr)); }
    void SleepMs(int64_t) override {}
};

// The console toolkit that adds up the time spent drawing the status line.
class TimedToolkit : public ui::ConsoleToolkit {
public:
    using ui::ConsoleToolkit::ConsoleToolkit;
    mutable std::atomic<int64_t> drawingNs{0};
    std::atomic<int> progressLines{0};

    template <class Call>
    auto Timed(Call call) const {
        auto start = Clock::now();
        auto result = call();
        drawingNs +=
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        return result;
    }

    ui::Size MeasureText(const std::string& text) const override {
        return Timed([&] { return ui::ConsoleToolkit::MeasureText(text); });
    }
    ui::Size ControlSize(int id) const override {
        return Timed([&] { return ui::ConsoleToolkit::ControlSize(id); });
    }
    void PaintStatus(int id, const ui::StatusPaint& paint) override {
        if (paint.text.find("% ") != std::string::npos) ++progressLines;
        Timed([&] {
            ui::ConsoleToolkit::PaintStatus(id, paint);
            return 0;
        });
    }
};

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

// Written pages on their way out, then gone from the cache: the next run reads the disk.
void DropFileCache(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

struct Bench {
    std::string folder, backing, device, partition, image;

    void DropCaches() const {
        Run("blockdev --flushbufs " + device + " " + partition);
        DropFileCache(backing);
        DropFileCache(image);
    }
    double TimeCommand(const std::string& command) const {
        DropCaches();
        auto start = Clock::now();
        bool ok = Run(command);
        double seconds = Seconds(start);
        return ok ? seconds : -1;
    }
    double TimeVerb(bool backup) const {
        DropCaches();
        auto start = Clock::now();
        int status =
            backup ? cli::RunBackup({partition, image}) : cli::RunRestore({partition, image});
        double seconds = Seconds(start);
        return status == 0 ? seconds : -1;
    }
};

bool MakeDisk(Bench& bench) {
    std::string error;
    bench.backing = bench.folder + "/disk.img";
    int64_t bytes = (kStartSector + 2048) * 512 + kPartitionBytes;
    if (!platform::CreateImageFile(bench.backing, bytes, error)) return false;
    std::string table = bench.folder + "/table";
    FILE* script = std::fopen(table.c_str(), "w");
    std::fprintf(script, "start=%lld, size=%lld, type=83\n", (long long)kStartSector,
                 (long long)(kPartitionBytes / 512));
    std::fclose(script);
    if (!Run("sfdisk -q " + bench.backing + " < " + table)) return false;
    bench.device = platform::AttachImage(bench.backing, error);
    if (bench.device.empty()) return false;
    Run("partx -u " + bench.device + " 2>/dev/null");
    bench.partition = bench.device + "p1";
    for (int i = 0; i < 100 && !std::filesystem::exists(bench.partition); ++i) usleep(10000);
    // Data that no layer can shortcut.
    return Run("dd if=/dev/urandom of=" + bench.partition +
               " bs=16M count=64 conv=fsync status=none");
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    if (geteuid() != 0) {
        std::fprintf(stderr, "imaging_bench needs root for loop devices\n");
        return 1;
    }
    FILE* quiet = std::fopen("/dev/null", "w");
    auto owned = std::make_unique<TimedToolkit>(ui::ConsoleOptions{true, quiet, stdin});
    TimedToolkit& toolkit = *owned;
    ui::SetToolkit(std::move(owned));
    platform::SetClock(std::make_unique<NoWaitClock>());
    core::InitialiseGlobals();
    core::LoadSettingsFromText("");
    core::EnableFixedDisks = 1;  // a virtual disk counts as fixed

    Bench bench;
    bench.folder = (std::filesystem::temp_directory_path() / "imaging-bench").string();
    std::filesystem::remove_all(bench.folder);
    std::filesystem::create_directories(bench.folder);
    bench.image = bench.folder + "/part.hfs";
    bool ok = MakeDisk(bench);

    std::vector<double> backup, restore, ddBackup, ddRestore;
    double copySeconds = 0;
    for (int round = 0; round < rounds && ok; ++round) {
        backup.push_back(bench.TimeVerb(true));
        restore.push_back(bench.TimeVerb(false));
        copySeconds += backup.back() + restore.back();
        ddBackup.push_back(bench.TimeCommand("dd if=" + bench.partition + " of=" + bench.image +
                                             " bs=16M conv=fsync status=none"));
        ddRestore.push_back(bench.TimeCommand("dd if=" + bench.image + " of=" + bench.partition +
                                              " bs=16M conv=fsync status=none"));
        for (double seconds : {backup.back(), restore.back(), ddBackup.back(), ddRestore.back()})
            ok = ok && seconds > 0;
    }
    double drawing = double(toolkit.drawingNs.load()) / 1e9;
    std::string error;
    if (!bench.device.empty()) platform::DetachImage(bench.device, error);
    std::filesystem::remove_all(bench.folder);
    if (!ok) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto mbps = [](double seconds) { return double(kPartitionBytes) / (1 << 20) / seconds; };
    std::printf("1 GiB partition, %d rounds, medians:\n", rounds);
    std::printf("  backup   %.3f s (%.0f MiB/s)   dd %.3f s (%.0f MiB/s)   ratio %.2f\n",
                Median(backup), mbps(Median(backup)), Median(ddBackup), mbps(Median(ddBackup)),
                Median(ddBackup) / Median(backup));
    std::printf("  restore  %.3f s (%.0f MiB/s)   dd %.3f s (%.0f MiB/s)   ratio %.2f\n",
                Median(restore), mbps(Median(restore)), Median(ddRestore), mbps(Median(ddRestore)),
                Median(ddRestore) / Median(restore));
    std::printf("  status line: %d progress lines, %.4f s of %.3f s copying (%.3f %%)\n",
                toolkit.progressLines.load(), drawing, copySeconds, 100 * drawing / copySeconds);
    std::printf("  peak memory %ld KiB\n", usage.ru_maxrss);
    return 0;
}
