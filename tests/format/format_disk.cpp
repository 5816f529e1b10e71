#include "tests/format/format_disk.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

#include "app/dispatch.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "cli/disk_verbs.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
#include "platform/byte_order.h"
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

// What the program is to overwrite.
std::vector<uint8_t> Mark(uint32_t sectorSize) {
    std::vector<uint8_t> mark(sectorSize);
    for (size_t i = 0; i < mark.size(); ++i) mark[i] = uint8_t(0xA5 ^ i);
    return mark;
}

}  // namespace

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
    return platform::ReadLe32(bytes.subspan(at, 4).data());
}

uint64_t Le64(std::span<const uint8_t> bytes, size_t at) {
    return platform::ReadLe64(bytes.subspan(at, 8).data());
}

void FormatFixture::SetUp() {
    REQUIRE_ROOT("loop devices");
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
    disk.WriteTable("start=2048, size=20480, type=c, bootable\n");
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
        app::BuildMainWindow();
        disk::RefreshDriveList();
        int line = cli::FindTargetLine(device);
        EXPECT_GE(line, 0) << device;
        if (line >= 0) PressInMainLoop(line, core::FormatButton);
        result.status = app::LastOutcome() == core::Outcome::Done ? 0 : 1;
    }
    result.statuses = toolkit.StatusLines();
    result.boxes = toolkit.Boxes();
    return result;
}

void PressInMainLoop(int line, int button) {
    auto& toolkit = static_cast<ui::ConsoleToolkit&>(ui::UI());
    std::thread worker;
    std::atomic<bool> done = false;
    app::SetWorkerLauncher([&](app::WorkerProc proc, int32_t argument) {
        worker = std::thread([&done, proc, argument] {
            proc(argument);
            done = true;
        });
    });
    toolkit.SelectItem(core::DriveTree, line);
    app::DispatchEvent(ui::Event{ui::EventKind::Control, core::MainWindow, button});
    while (!done && worker.joinable())
        if (auto event = toolkit.WaitEvent(20)) app::DispatchEvent(*event);
    if (worker.joinable()) worker.join();
    app::SetWorkerLauncher(nullptr);
}

}  // namespace format_test
