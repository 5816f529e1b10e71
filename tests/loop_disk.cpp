#include "tests/loop_disk.h"

#include <fcntl.h>
#include <sys/mount.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/disks.h"
#include "platform/linux/child_process.h"

namespace test {
namespace {

// Exit status of the program; its output (and error output) in *output.
int RunTool(const std::vector<std::string>& argv, std::string* output = nullptr) {
    using namespace platform::linuxos;
    if (!output) return RunProgram(argv);
    ChildProcess child(argv, true);
    if (!child.started()) return -1;
    output->clear();
    while (child.Poll(1000, *output)) {
    }
    return child.Wait();
}

struct MountEntry {
    std::string point, source;
};

std::vector<MountEntry> Mounts() {
    std::vector<MountEntry> mounts;
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string field, point;
        for (int i = 0; i < 5 && fields >> field; ++i) point = field;
        while (fields >> field && field != "-") {
        }
        std::string type, source;
        fields >> type >> source;
        // Mount points with blanks come as \040.
        for (size_t at; (at = point.find("\\040")) != std::string::npos;) point.replace(at, 4, " ");
        mounts.push_back({point, source});
    }
    return mounts;
}

bool OfDisk(const std::string& source, const std::string& device) {
    return source.size() > device.size() + 1 && source.starts_with(device + "p");
}

}  // namespace

LoopDisk::LoopDisk(std::filesystem::path image, int64_t bytes, uint32_t sectorSize)
    : image_(std::move(image)), bytes_(bytes), sectorSize_(sectorSize) {
    if (platform::CreateImageFile(image_.string(), bytes, error_)) Attach();
}

LoopDisk::LoopDisk(Existing existing)
    : image_(std::move(existing.image)), sectorSize_(existing.sectorSize) {
    std::error_code error;
    bytes_ = int64_t(std::filesystem::file_size(image_, error));
    if (!error) Attach();
}

void LoopDisk::Attach() {
    if (sectorSize_ == 512) {
        device_ = platform::AttachImage(image_.string(), error_);
        return;
    }
    std::string output;
    if (RunTool({"losetup", "--find", "--show", "--partscan", "--sector-size",
                 std::to_string(sectorSize_), image_.string()},
                &output) == 0)
        device_ = output.substr(0, output.find('\n'));
    else
        error_ = output;
}

LoopDisk::~LoopDisk() { Detach(); }

bool LoopDisk::WriteTable(const std::string& sfdiskScript) {
    std::filesystem::path script = image_;
    script += ".table";
    std::ofstream(script) << sfdiskScript;
    std::string output;
    bool written =
        RunTool({"sh", "-c", "sfdisk -q " + device_ + " < " + script.string()}, &output) == 0;
    EXPECT_TRUE(written) << output;
    // Kernels without MBR partition support take partitions only from BLKPG.
    EXPECT_EQ(RunTool({"partx", "-u", device_}, &output), 0) << output;
    for (int i = 0; i < 100 && !std::filesystem::exists(Partition(1)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return written;
}

bool LoopDisk::Detach() {
    if (device_.empty()) return true;
    if (!std::filesystem::exists("/sys/block/" + name() + "/loop/backing_file")) {
        device_.clear();
        return true;
    }
    Unmount();
    std::string error;
    bool detached = platform::DetachImage(device_, error);
    if (!detached) detached = RunTool({"losetup", "-d", device_}) == 0;
    EXPECT_TRUE(detached) << device_ << ": " << error;
    if (detached) device_.clear();
    return detached;
}

std::vector<uint8_t> LoopDisk::Read(int64_t lba, int64_t count) const {
    std::vector<uint8_t> bytes(size_t(count * sectorSize_));
    int fd = open(device_.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << device_;
    if (fd >= 0) {
        EXPECT_EQ(pread(fd, bytes.data(), bytes.size(), off_t(lba * sectorSize_)),
                  ssize_t(bytes.size()));
        close(fd);
    }
    return bytes;
}

void LoopDisk::Write(int64_t lba, std::span<const uint8_t> bytes) const {
    int fd = open(device_.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << device_;
    EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), off_t(lba * sectorSize_)),
              ssize_t(bytes.size()));
    fsync(fd);
    close(fd);
}

uint64_t LoopDisk::Hash() const {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    int fd = open(device_.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << device_;
    if (fd < 0) return 0;
    std::vector<uint8_t> chunk(1 << 20);
    int64_t total = 0;
    for (ssize_t got; (got = read(fd, chunk.data(), chunk.size())) > 0; total += got)
        for (ssize_t i = 0; i < got; ++i) hash = (hash ^ chunk[size_t(i)]) * 1099511628211ull;
    close(fd);
    EXPECT_EQ(total, bytes_);
    return hash;
}

std::string LoopDisk::MountPoint(int number) const {
    for (const MountEntry& mount : Mounts())
        if (mount.source == Partition(number)) return mount.point;
    return "";
}

void LoopDisk::Unmount() const {
    for (int attempt = 0; attempt < 50; ++attempt) {
        bool left = false;
        for (const MountEntry& mount : Mounts())
            if (OfDisk(mount.source, device_)) {
                left = true;
                umount2(mount.point.c_str(), 0);
            }
        if (!left) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ADD_FAILURE() << "partitions of " << device_ << " stay mounted";
}

}  // namespace test
