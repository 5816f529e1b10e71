// How long one refresh of the drive list takes with eight attached virtual disks, each
// with two MBR partitions. Needs root (loop devices). Usage: refresh_bench [rounds]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
#include "platform/disks.h"
#include "ui/console/console_toolkit.h"

namespace {

constexpr int kDisks = 8;
constexpr int64_t kImageBytes = 64 << 20;

void PutEntry(std::string& mbr, int slot, uint32_t start, uint32_t sectors, uint8_t type) {
    char* entry = mbr.data() + 446 + 16 * slot;
    entry[4] = char(type);
    std::memcpy(entry + 8, &start, 4);
    std::memcpy(entry + 12, &sectors, 4);
}

bool WriteTwoPartitionMbr(const std::string& path) {
    std::string mbr(512, '\0');
    PutEntry(mbr, 0, 2048, 40960, 0x0C);
    PutEntry(mbr, 1, 43008, 40960, 0x07);
    mbr[510] = char(0x55);
    mbr[511] = char(0xAA);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.write(mbr.data(), 512);
    return bool(file);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    if (geteuid() != 0) {
        std::fprintf(stderr, "refresh_bench needs root for loop devices\n");
        return 1;
    }
    FILE* quiet = std::fopen("/dev/null", "w");
    ui::SetToolkit(std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{true, quiet, stdin}));
    core::InitialiseGlobals();
    app::BuildMainWindow();
    core::EnableFixedDisks = 1;  // virtual disks count as fixed

    char folder[] = "/tmp/refresh-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    std::vector<std::string> devices;
    std::string error;
    for (int i = 0; i < kDisks; ++i) {
        std::string image = std::string(folder) + "/disk" + std::to_string(i) + ".img";
        std::string device;
        if (platform::CreateImageFile(image, kImageBytes, error) && WriteTwoPartitionMbr(image))
            device = platform::AttachImage(image, error);
        if (device.empty()) {
            std::fprintf(stderr, "cannot attach %s: %s\n", image.c_str(), error.c_str());
            break;
        }
        devices.push_back(device);
    }

    std::vector<double> times;
    for (int round = 0; round < rounds && int(devices.size()) == kDisks; ++round) {
        auto start = std::chrono::steady_clock::now();
        disk::RefreshDriveList();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    int lines = ui::UI().ItemCount(core::DriveTree);
    for (const std::string& device : devices) platform::DetachImage(device, error);
    std::filesystem::remove_all(folder);
    if (times.empty()) return 1;

    std::sort(times.begin(), times.end());
    std::printf(
        "drive list refresh, %d virtual disks, %d lines, %d rounds: "
        "min %.2f ms, median %.2f ms, max %.2f ms\n",
        kDisks, lines, rounds, times.front(), times[times.size() / 2], times.back());
    return 0;
}
