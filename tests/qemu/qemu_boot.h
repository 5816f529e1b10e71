// Boots a disk image in QEMU (SeaBIOS, TCG) and collects what the boot printed: SeaBIOS
// copies INT 10h text to the serial console, and the self-test boot file ends QEMU
// through the isa-debug-exit port.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test {

struct QemuBoot {
    bool usb = false;  // the disk as a USB stick on EHCI, else as the first IDE disk
    int seconds = 20;  // bound of the run
    std::string key;   // sent with the monitor's sendkey once `key_after` is printed
    std::string key_after;
    std::vector<std::string> stop_at;     // texts that end the run early
    std::vector<uint64_t> failing_reads;  // sectors whose first read fails, as on a flaky stick

    QemuBoot& AsUsbStick() {
        usb = true;
        return *this;
    }
    QemuBoot& Within(int bound_seconds) {
        seconds = bound_seconds;
        return *this;
    }
    QemuBoot& PressKeyAfter(std::string text, std::string pressed) {
        key_after = std::move(text);
        key = std::move(pressed);
        return *this;
    }
    QemuBoot& StopAt(std::string text) {
        stop_at.push_back(std::move(text));
        return *this;
    }
    QemuBoot& FailFirstReadOf(uint64_t sector) {
        failing_reads.push_back(sector);
        return *this;
    }
};

struct QemuResult {
    std::string serial;  // the console text
    int status = -1;     // QEMU's exit status; -1 when stopped early or out of time
};

QemuResult BootInQemu(const std::filesystem::path& disk, const QemuBoot& boot);

}  // namespace test
