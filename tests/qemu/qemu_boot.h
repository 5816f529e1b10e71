// Boots a disk image in QEMU (TCG) and collects what the boot printed. Legacy: SeaBIOS
// copies INT 10h text to the serial console, and the self-test boot file ends QEMU
// through the isa-debug-exit port. UEFI: OVMF on the q35 machine starts the stick's
// EFI/BOOT/BOOTX64.efi, whose self-test prints on COM1 and leaves through the same port.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test {

// How the disk is attached. SeaBIOS: the first IDE disk, or a USB stick on EHCI. OVMF:
// the first SATA disk (AHCI; QEMU gives IDE and SATA disks 512-byte sectors only), a USB
// stick on xHCI (bulk-only transport, the one USB storage device of QEMU that takes a
// sector size), or an NVMe disk.
enum class Attach { FirstDisk, UsbStick, Nvme };

struct QemuBoot {
    Attach attach = Attach::FirstDisk;
    bool uefi = false;            // OVMF instead of SeaBIOS
    uint32_t sector_bytes = 512;  // the logical sector size the disk reports
    int seconds = 180;            // bound of the run; a boot that works ends it early
    std::string key;              // sent with the monitor's sendkey once `key_after` is printed
    std::string key_after;
    std::vector<std::string> stop_at;     // texts that end the run early
    std::vector<uint64_t> failing_reads;  // sectors whose first read fails, as on a flaky stick

    QemuBoot& AsUsbStick() {
        attach = Attach::UsbStick;
        return *this;
    }
    QemuBoot& As(Attach how) {
        attach = how;
        return *this;
    }
    QemuBoot& InUefi() {
        uefi = true;
        return *this;
    }
    QemuBoot& WithSectorsOf(uint32_t bytes) {
        sector_bytes = bytes;
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

// Why the UEFI boots cannot run here, "" when they can: they need Debian's ovmf and the
// self-test loader selftest_bootx64.efi in the build's boot folder (Debian's
// grub-efi-amd64-bin).
std::string UefiBootMissing(const std::filesystem::path& bootFolder);

}  // namespace test
