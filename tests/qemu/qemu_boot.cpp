#include "tests/qemu/qemu_boot.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/qemu/boot_disk.h"

namespace test {
namespace {

const char kOvmfCode[] = "/usr/share/OVMF/OVMF_CODE_4M.fd";
const char kOvmfVars[] = "/usr/share/OVMF/OVMF_VARS_4M.fd";
const std::vector<std::string> kCommonArgs = {
    "-accel", "tcg",        "-display",
    "none",   "-no-reboot", "-net",
    "none",   "-device",    "isa-debug-exit,iobase=0xf4,iosize=0x04"};

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file beside the image for one run; runs of other machines may share the image.
std::filesystem::path RunFile(const std::filesystem::path& disk, const QemuBoot& boot,
                              const char* what) {
    static const char* const kAttached[] = {"disk", "usb", "nvme"};
    auto file = disk;
    file += std::string(boot.uefi ? ".uefi-" : ".bios-") + kAttached[int(boot.attach)] + "-" +
            std::to_string(boot.sector_bytes) + what;
    return file;
}

// QEMU's blkdebug driver between the disk and its image: each listed sector fails with
// EIO the first time a read covers it.
std::string FailingDrive(const std::filesystem::path& disk, const QemuBoot& boot) {
    auto config = RunFile(disk, boot, ".blkdebug");
    std::ofstream rules(config, std::ios::trunc);
    for (uint64_t sector : boot.failing_reads)
        rules << "[inject-error]\nevent = \"read_aio\"\nerrno = \"5\"\nsector = \"" << sector
              << "\"\nonce = \"on\"\n\n";
    return "driver=raw,file.driver=blkdebug,file.config=" + config.string() +
           ",file.image.filename=" + disk.string() + ",snapshot=on";
}

// The machine and its firmware. SeaBIOS copies its text output to COM1 when told the
// port; OVMF writes its console there itself and needs room and a variable store.
std::vector<std::string> MachineArgs(const std::filesystem::path& disk, const QemuBoot& boot) {
    if (!boot.uefi) {
        auto sercon = RunFile(disk, boot, ".sercon");
        std::ofstream(sercon, std::ios::binary) << "\xF8\x03";  // COM1 at 0x3F8
        std::string port = "name=etc/sercon-port,file=" + sercon.string();
        return {"-machine", "pc", "-m", "64", "-fw_cfg", port};
    }
    auto vars = RunFile(disk, boot, ".vars");
    std::filesystem::copy_file(kOvmfVars, vars, std::filesystem::copy_options::overwrite_existing);
    std::string code = std::string("if=pflash,format=raw,readonly=on,file=") + kOvmfCode;
    std::string store = "if=pflash,format=raw,file=" + vars.string();
    return {"-machine", "q35", "-m", "128", "-drive", code, "-drive", store};
}

// The controllers and the device that present the disk (the drive "stick").
std::vector<std::string> DiskDevices(const QemuBoot& boot) {
    std::string sectors;
    if (boot.sector_bytes != 512)
        sectors = ",logical_block_size=" + std::to_string(boot.sector_bytes) +
                  ",physical_block_size=" + std::to_string(boot.sector_bytes);
    const std::string drive = "drive=stick,bootindex=0" + sectors;
    switch (boot.attach) {
        case Attach::UsbStick:
            if (!boot.uefi)
                return {"-device", "usb-ehci,id=ehci", "-device",
                        "usb-storage,bus=ehci.0," + drive};
            // usb-storage keeps 512-byte sectors whatever it is told; usb-bot passes on
            // those of its SCSI disk.
            return {"-device", "qemu-xhci,id=xhci",
                    "-device", "usb-bot,id=bot,bus=xhci.0",
                    "-device", "scsi-hd,bus=bot.0,scsi-id=0,lun=0," + drive};
        case Attach::Nvme:
            return {"-device", "nvme,serial=stick," + drive};
        case Attach::FirstDisk:
            break;
    }
    return {"-device", "ide-hd,bus=ide.0," + drive};
}

}  // namespace

std::string UefiBootMissing(const std::filesystem::path& bootFolder) {
    if (!std::filesystem::exists(kOvmfCode) || !std::filesystem::exists(kOvmfVars))
        return "OVMF is not installed (Debian ovmf)";
    if (!std::filesystem::exists(bootFolder / "selftest_bootx64.efi"))
        return "no UEFI self-test loader (Debian grub-efi-amd64-bin)";
    return "";
}

QemuResult BootInQemu(const std::filesystem::path& disk, const QemuBoot& boot) {
    auto serial = RunFile(disk, boot, ".serial");
    std::filesystem::remove(serial);

    std::string drive = boot.failing_reads.empty()
                            ? "file=" + disk.string() + ",format=raw,snapshot=on"
                            : FailingDrive(disk, boot);
    std::vector<std::string> args = {FindProgram("timeout"), "--kill-after=2",
                                     std::to_string(boot.seconds),
                                     FindProgram("qemu-system-x86_64")};
    for (const auto& more : {kCommonArgs, MachineArgs(disk, boot), DiskDevices(boot)})
        args.insert(args.end(), more.begin(), more.end());
    args.insert(args.end(), {"-drive", "if=none,id=stick," + drive});
    args.insert(args.end(), {"-serial", "file:" + serial.string()});
    args.insert(args.end(), {"-monitor", boot.key.empty() ? "none" : "stdio"});

    auto log = RunFile(disk, boot, ".log");
    signal(SIGPIPE, SIG_IGN);  // QEMU may be gone when a key is sent
    int monitor[2];
    if (pipe(monitor) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(monitor[0], STDIN_FILENO);
        close(monitor[0]);
        close(monitor[1]);
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(monitor[0]);

    QemuResult result;
    bool key_sent = boot.key.empty();
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            // timeout(1) reports 124 when it had to end QEMU.
            if (WIFEXITED(status) && WEXITSTATUS(status) != 124)
                result.status = WEXITSTATUS(status);
            break;
        }
        std::string text = ReadText(serial);
        if (!key_sent && text.find(boot.key_after) != std::string::npos) {
            std::string command = "sendkey " + boot.key + "\n";
            key_sent = write(monitor[1], command.data(), command.size()) > 0;
        }
        bool stop = false;
        for (const auto& stop_text : boot.stop_at)
            stop |= text.find(stop_text) != std::string::npos;
        if (stop) {
            kill(pid, SIGTERM);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    close(monitor[1]);
    result.serial = ReadText(serial);
    return result;
}

}  // namespace test
