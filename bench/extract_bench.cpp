// Extracting a Clover-like data set (2,000 files, about 30 MB) onto partition 1 of a
// virtual disk, FAT32 and unmounted as on a kernel without vfat, against the same archive
// put there by hand: `7zz x` into a folder, then one `mcopy -s`. The prescribed waits
// take no time. Needs root. Usage: extract_bench [rounds]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/state.h"
#include "platform/clock.h"
#include "platform/disks.h"
#include "platform/linux/child_process.h"
#include "platform/linux/program_volumes.h"
#include "resources/unpack_archive.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kImageBytes = int64_t(1) << 30;
constexpr int kFolders = 100, kFilesPerFolder = 20;

class NoWaitClock : public platform::Clock {
public:
    uint64_t TickMs() override { return uint64_t(platform::QueryCounter() / 1000000); }
    int64_t NowUnixSeconds() override { return int64_t(time(nullptr)); }
    void SleepMs(int64_t) override {}
};

int Run(const std::vector<std::string>& argv) {
    using namespace platform::linuxos;
    return RunProgram(argv, ChildOptions{ChildOutput::Discard, "", true, {"MTOOLS_SKIP_CHECK=1"}});
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// 2,000 files of 1-29 KB, half text and half noise, in a Clover-like tree; zipped the way
// the Clover script does (Deflate, level 9).
bool MakeDataSet(const fs::path& folder, const std::string& archive, int64_t& total) {
    std::mt19937 random(2016);
    for (int f = 0; f < kFolders; ++f) {
        fs::path sub = folder / "EFI" / "CLOVER" / ("group" + std::to_string(f % 10)) /
                       ("set" + std::to_string(f));
        fs::create_directories(sub);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            std::string bytes(1000 + random() % 28000, '\0');
            total += int64_t(bytes.size());
            for (size_t at = 0; at < bytes.size(); ++at)
                bytes[at] = i % 2 ? char(random()) : char('a' + (at * 7 + random() % 3) % 26);
            FILE* out = std::fopen((sub / ("file" + std::to_string(i) + ".efi")).c_str(), "wb");
            if (!out) return false;
            std::fwrite(bytes.data(), 1, bytes.size(), out);
            std::fclose(out);
        }
    }
    fs::create_directories(folder / "EFI" / "CLOVER" / "ACPI" / "patched");
    return Run({"sh", "-c",
                "cd '" + folder.string() + "' && 7zz a -r -mx9 -tzip '" + archive + "' '*'"}) == 0;
}

// The same steps by hand: 7zz into a folder, then every top entry in one mcopy.
bool ByHand(const std::string& archive, const std::string& node, const fs::path& staging) {
    fs::remove_all(staging);
    if (Run({"7zz", "x", "-y", "-o" + staging.string(), archive}) != 0) return false;
    std::vector<std::string> argv{"mcopy", "-s", "-o", "-i", node};
    for (const auto& entry : fs::directory_iterator(staging)) argv.push_back(entry.path().string());
    argv.push_back("::/");
    return Run(argv) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (geteuid() != 0) {
        std::fprintf(stderr, "extract_bench needs root for loop devices\n");
        return 1;
    }
    platform::SetClock(std::make_unique<NoWaitClock>());
    core::InitialiseGlobals();

    fs::path folder = fs::temp_directory_path() / "extract-bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::string archive = (folder / "CloverISO-9999.zip").string();
    std::string image = (folder / "disk.img").string(), error;
    int64_t dataBytes = 0;
    if (!MakeDataSet(folder / "set", archive, dataBytes)) {
        std::fprintf(stderr, "cannot make the data set (is 7zz installed?)\n");
        return 1;
    }
    std::string device;
    if (platform::CreateImageFile(image, kImageBytes, error) &&
        Run({"sh", "-c", "echo 'start=2048, type=c' | sfdisk -q '" + image + "'"}) == 0)
        device = platform::AttachImage(image, error);
    std::string node = device + "p1";
    std::string letter =
        device.empty()
            ? ""
            : platform::linuxos::AssignProgramVolume(fs::path(device).filename().string());
    auto volume = platform::linuxos::VolumeAtLetter(letter);
    bool ok = !letter.empty() && volume;
    if (ok && volume->mounted)
        std::fprintf(stderr,
                     "note: the kernel mounted the volume; the file system path is timed\n");

    std::vector<double> program, byHand;
    for (int round = 0; round < rounds && ok; ++round) {
        ok = Run({"mkfs.fat", "-F", "32", node}) == 0 &&
             platform::linuxos::RemountProgramVolume(letter);
        auto start = std::chrono::steady_clock::now();
        ok = ok && resources::UnpackArchive({}, letter, false, archive, false, false);
        program.push_back(Seconds(start));
        ok = ok && Run({"mkfs.fat", "-F", "32", node}) == 0;
        start = std::chrono::steady_clock::now();
        ok = ok && ByHand(archive, node, folder / "by-hand");
        byHand.push_back(Seconds(start));
    }
    int64_t archiveBytes = ok ? int64_t(fs::file_size(archive)) : 0;
    if (!device.empty()) platform::DetachImage(device, error);
    fs::remove_all(folder);
    if (!ok) {
        std::fprintf(stderr, "a run failed %s\n", error.c_str());
        return 1;
    }
    std::printf(
        "%d files in %.1f MB (archive %.1f MB) onto FAT32, %d rounds: UnpackArchive median "
        "%.3f s, 7zz x + mcopy -s median %.3f s, ratio %.2f\n",
        kFolders * kFilesPerFolder, double(dataBytes) / 1e6, double(archiveBytes) / 1e6, rounds,
        Median(program), Median(byHand), Median(program) / Median(byHand));
    return 0;
}
