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

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// QEMU's blkdebug driver between the disk and its image: each listed sector fails with
// EIO the first time a read covers it.
std::string FailingDrive(const std::filesystem::path& disk, const std::vector<uint64_t>& sectors) {
    auto config = disk;
    config += ".blkdebug";
    std::ofstream rules(config, std::ios::trunc);
    for (uint64_t sector : sectors)
        rules << "[inject-error]\nevent = \"read_aio\"\nerrno = \"5\"\nsector = \"" << sector
              << "\"\nonce = \"on\"\n\n";
    return "driver=raw,file.driver=blkdebug,file.config=" + config.string() +
           ",file.image.filename=" + disk.string() + ",snapshot=on";
}

}  // namespace

QemuResult BootInQemu(const std::filesystem::path& disk, const QemuBoot& boot) {
    auto serial = disk;
    serial += ".serial";
    auto sercon = disk;
    sercon += ".sercon";
    std::filesystem::remove(serial);
    std::ofstream(sercon, std::ios::binary) << "\xF8\x03";  // COM1 at 0x3F8

    std::string drive = boot.failing_reads.empty()
                            ? "file=" + disk.string() + ",format=raw,snapshot=on"
                            : FailingDrive(disk, boot.failing_reads);
    std::vector<std::string> args = {FindProgram("timeout"), "--kill-after=2",
                                     std::to_string(boot.seconds)};
    args.insert(args.end(), {FindProgram("qemu-system-x86_64"), "-machine", "pc", "-accel", "tcg",
                             "-m", "64", "-display", "none", "-no-reboot", "-net", "none"});
    args.insert(args.end(), {"-serial", "file:" + serial.string(), "-fw_cfg",
                             "name=etc/sercon-port,file=" + sercon.string()});
    args.insert(args.end(), {"-monitor", boot.key.empty() ? "none" : "stdio"});
    args.insert(args.end(), {"-device", "isa-debug-exit,iobase=0xf4,iosize=0x04"});
    if (boot.usb) {
        args.insert(args.end(),
                    {"-drive", "if=none,id=stick," + drive, "-device", "usb-ehci,id=ehci",
                     "-device", "usb-storage,bus=ehci.0,drive=stick,bootindex=0"});
    } else {
        args.insert(args.end(), {"-drive", "if=ide," + drive});
    }

    auto log = disk;
    log += ".qemu.log";
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
