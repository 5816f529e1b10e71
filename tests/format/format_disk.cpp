#include "tests/format/format_disk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "app/dispatch.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "cli/disk_verbs.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
#include "platform/clock.h"
#include "platform/disks.h"
#include "platform/registry.h"
#include "tests/qemu/boot_disk.h"

namespace format_test {
namespace {

// The workflow's waits pass in a moment of real time, so that retries still give the
// system a chance, but the whole suite stays short.
class ShortClock : public platform::Clock {
public:
    uint64_t TickMs() override { return now_; }
    int64_t NowUnixSeconds() override { return 1700000000 + int64_t(now_ / 1000); }
    void SleepMs(int64_t ms) override {
        if (ms <= 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(ms, 20)));
        now_ += uint64_t(ms);
    }

private:
    std::atomic<uint64_t> now_{1000};
};

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

// What the program is to overwrite.
std::vector<uint8_t> Mark(uint32_t sectorSize) {
    std::vector<uint8_t> mark(sectorSize);
    for (size_t i = 0; i < mark.size(); ++i) mark[i] = uint8_t(0xA5 ^ i);
    return mark;
}

}  // namespace

LoopDisk::LoopDisk(std::filesystem::path image, int64_t bytes, uint32_t sectorSize)
    : image_(std::move(image)), bytes_(bytes), sectorSize_(sectorSize) {
    if (!platform::CreateImageFile(image_.string(), bytes, error_)) return;
    if (sectorSize == 512) {
        device_ = platform::AttachImage(image_.string(), error_);
        return;
    }
    std::string output;
    if (RunTool({"losetup", "--find", "--show", "--partscan", "--sector-size",
                 std::to_string(sectorSize), image_.string()},
                &output) == 0)
        device_ = output.substr(0, output.find('\n'));
    else
        error_ = output;
}

LoopDisk::~LoopDisk() { Detach(); }

bool LoopDisk::Detach() {
    if (device_.empty()) return true;
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

ScriptedToolkit::ScriptedToolkit()
    : ui::ConsoleToolkit(ui::ConsoleOptions{false, stdout, nullptr}) {}

void ScriptedToolkit::Answer(std::vector<ui::Answer> answers, ui::Answer rest) {
    std::lock_guard lock(mutex_);
    answers_ = std::move(answers);
    rest_ = rest;
}

void ScriptedToolkit::OnStatus(std::function<void(const std::string&)> hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

std::vector<ScriptedToolkit::Box> ScriptedToolkit::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

ui::Answer ScriptedToolkit::MessageBox(const std::string& title, const std::string& text, ui::Icon,
                                       ui::Buttons buttons) {
    std::lock_guard lock(mutex_);
    size_t asked = boxes_.size();
    boxes_.push_back({title, text});
    ui::Answer answer = asked < answers_.size() ? answers_[asked] : rest_;
    if (buttons == ui::Buttons::Ok) answer = ui::Answer::Ok;
    std::printf("[%s] %s\n  -> %s\n", title.c_str(), text.c_str(),
                answer == ui::Answer::Ok ? "OK" : "Cancel");
    return answer;
}

void ScriptedToolkit::PaintStatus(int id, const ui::StatusPaint& paint) {
    size_t before = StatusLines().size();
    ui::ConsoleToolkit::PaintStatus(id, paint);
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(mutex_);
        hook = hook_;
    }
    if (hook && StatusLines().size() > before) hook(paint.text);
}

bool RunResult::Showed(const std::string& status) const {
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
}

std::string RunResult::Log() const {
    std::string log = "exit " + std::to_string(status) + "\n";
    for (const auto& box : boxes) log += "[" + box.title + "] " + box.text + "\n";
    for (const auto& line : statuses) log += "  " + line + "\n";
    return log;
}

std::vector<SfdiskEntry> SfdiskPartitions(const std::string& device, int64_t* sectorSize) {
    std::string json;
    EXPECT_EQ(RunTool({"sfdisk", "--json", device}, &json), 0) << json;
    std::smatch match;
    if (sectorSize && std::regex_search(json, match, std::regex(R"("sectorsize":\s*(\d+))")))
        *sectorSize = std::stoll(match[1]);
    std::vector<SfdiskEntry> entries;
    size_t at = json.find("\"partitions\"");
    if (at == std::string::npos) return entries;
    for (size_t open; (open = json.find('{', at)) != std::string::npos;) {
        size_t close = json.find('}', open);
        std::string object = json.substr(open, close - open);
        SfdiskEntry entry;
        if (std::regex_search(object, match, std::regex(R"("start":\s*(\d+))")))
            entry.start = std::stoll(match[1]);
        if (std::regex_search(object, match, std::regex(R"("size":\s*(\d+))")))
            entry.size = std::stoll(match[1]);
        if (std::regex_search(object, match, std::regex(R"x("type":\s*"(\w+)")x")))
            entry.type = match[1];
        entry.bootable = std::regex_search(object, std::regex(R"("bootable":\s*true)"));
        entries.push_back(entry);
        at = close;
    }
    return entries;
}

std::string Blkid(const std::string& node, const std::string& tag) {
    std::string value;
    if (RunTool({"blkid", "-p", "-o", "value", "-s", tag, node}, &value) != 0) return "";
    return value.substr(0, value.find('\n'));
}

int RunTool(const std::vector<std::string>& args, std::string* output) {
    return test::RunProgram(args, output);
}

bool HasProgram(const std::string& name) { return !test::FindProgram(name).empty(); }

uint32_t Le32(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

uint64_t Le64(std::span<const uint8_t> bytes, size_t at) {
    return Le32(bytes, at) | uint64_t(Le32(bytes, at + 4)) << 32;
}

void FormatFixture::SetUp() {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for loop devices";
    for (const char* tool : {"losetup", "sfdisk", "blkid", "mkfs.fat", "fsck.fat", "mkfs.exfat",
                             "fsck.exfat", "mcopy"})
        if (!HasProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    platform::SetClock(std::make_unique<ShortClock>());
    platform::SetRegistryStoreFile(scratch.file("registry"));
}

void FormatFixture::TearDown() {
    disks_.clear();
    app::SetWorkerLauncher(nullptr);
    if (ui::HasToolkit()) ui::SetToolkit(nullptr);
    platform::SetClock(nullptr);
}

LoopDisk& FormatFixture::NewDisk(int64_t mib, uint32_t sectorSize,
                                 const std::vector<int64_t>& marks) {
    auto name = "disk" + std::to_string(disks_.size()) + ".img";
    disks_.push_back(std::make_unique<LoopDisk>(scratch.path() / name, mib << 20, sectorSize));
    LoopDisk& disk = *disks_.back();
    EXPECT_TRUE(disk.attached()) << disk.error();
    if (!disk.attached()) return disk;
    std::vector<uint8_t> mark = Mark(sectorSize);
    std::vector<uint8_t> ends;
    for (int i = 0; i < 128; ++i) ends.insert(ends.end(), mark.begin(), mark.end());
    disk.Write(0, ends);
    disk.Write(disk.sectors() - 128, ends);
    for (int64_t lba : marks) disk.Write(lba, mark);
    // An old table: one partition of type 0x0C without a file system, so without letter.
    std::string table = "start=2048, size=20480, type=c, bootable\n";
    std::string output;
    std::string script = scratch.file("table");
    test::WriteFile(script, table);
    EXPECT_EQ(RunTool({"sh", "-c", "sfdisk -q " + disk.device() + " < " + script}, &output), 0)
        << output;
    // Kernels without MBR partition support take partitions only from BLKPG.
    EXPECT_EQ(RunTool({"partx", "-u", disk.device()}, &output), 0) << output;
    for (int i = 0; i < 100 && !std::filesystem::exists(disk.Partition(1)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return disk;
}

RunResult FormatFixture::Format(const std::string& device, const Settings& settings,
                                const std::function<void(ScriptedToolkit&)>& prepare,
                                bool workerThread) {
    auto owned = std::make_unique<ScriptedToolkit>();
    ScriptedToolkit& toolkit = *owned;
    ui::SetToolkit(std::move(owned));
    core::InitialiseGlobals();
    core::SetProgramLocation(scratch.file("stickforge"));
    core::LoadSettings();
    Settings all = {{"EnableFixedDisks", "1"}, {"InstallDataSet", "Not_Install"}};
    all.insert(all.end(), settings.begin(), settings.end());
    for (const auto& [key, value] : all) EXPECT_TRUE(core::OverrideSetting(key, value)) << key;
    if (prepare) prepare(toolkit);

    RunResult result;
    if (!workerThread) {
        result.status = cli::RunFormat({device});
    } else {
        // The main loop as the program runs it; the worker on a thread of its own.
        app::BuildMainWindow();
        disk::RefreshDriveList();
        int line = cli::FindTargetLine(device);
        EXPECT_GE(line, 0) << device;
        if (line >= 0) {
            std::thread worker;
            std::atomic<bool> done = false;
            app::SetWorkerLauncher([&](app::WorkerProc proc, int32_t argument) {
                worker = std::thread([&done, proc, argument] {
                    proc(argument);
                    done = true;
                });
            });
            toolkit.SelectItem(core::DriveTree, line);
            app::DispatchEvent(
                ui::Event{ui::EventKind::Control, core::MainWindow, core::FormatButton});
            while (!done)
                if (auto event = toolkit.WaitEvent(20)) app::DispatchEvent(*event);
            if (worker.joinable()) worker.join();
            app::SetWorkerLauncher(nullptr);
        }
    }
    result.statuses = toolkit.StatusLines();
    result.boxes = toolkit.Boxes();
    if (workerThread) result.status = app::LastOutcome() == core::Outcome::Done ? 0 : 1;
    return result;
}

}  // namespace format_test
