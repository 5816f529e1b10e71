// "Format Disk" on loop devices as root, through the path stickforge-cli format takes:
// the drive list, the selected line and the button's worker. The disks, the recorded
// questions and status lines, and what the tests read back from the disks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tests/loop_disk.h"
#include "tests/test_support.h"
#include "ui/console/console_toolkit.h"

namespace format_test {

using Settings = std::vector<std::pair<std::string, std::string>>;

using test::LoopDisk;

// The console toolkit with every question recorded and answered from a script, and a
// hook called after each new status line (on the thread that drew it).
class ScriptedToolkit : public ui::ConsoleToolkit {
public:
    struct Box {
        std::string title, text;
    };
    ScriptedToolkit();

    // Answers in order; every later question gets `rest`.
    void Answer(std::vector<ui::Answer> answers, ui::Answer rest);
    void OnStatus(std::function<void(const std::string&)> hook);
    std::vector<Box> Boxes() const;

    ui::Answer MessageBox(const std::string& title, const std::string& text, ui::Icon icon,
                          ui::Buttons buttons) override;
    void PaintStatus(int id, const ui::StatusPaint& paint) override;

private:
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
    std::vector<ui::Answer> answers_;
    ui::Answer rest_ = ui::Answer::Ok;
    std::function<void(const std::string&)> hook_;
};

struct RunResult {
    int status = 1;  // what stickforge-cli format would exit with: 0 when the run was done
    std::vector<std::string> statuses;
    std::vector<ScriptedToolkit::Box> boxes;

    bool Showed(const std::string& status) const;
    std::string Log() const;  // for failure messages
};

// One MBR entry as sfdisk --json lists it.
struct SfdiskEntry {
    int64_t start = 0, size = 0;
    std::string type;  // "c", "6"
    bool bootable = false;
};
std::vector<SfdiskEntry> SfdiskPartitions(const std::string& device, int64_t* sectorSize);

// A value `blkid -p` finds on the node ("" when none).
std::string Blkid(const std::string& node, const std::string& tag);
// Exit status of the program; its output in *output.
int RunTool(const std::vector<std::string>& args, std::string* output = nullptr);
bool HasProgram(const std::string& name);

uint32_t Le32(std::span<const uint8_t> bytes, size_t at);
uint64_t Le64(std::span<const uint8_t> bytes, size_t at);

// Presses a button of the main window on a line of the drive list as a user of the window
// does: the main loop dispatches the press and the events that follow until the button's
// worker, on a thread of its own, has ended.
void PressInMainLoop(int line, int button);

// Root, the loop devices and the program's state for one test; skipped visibly when
// not root or when a tool is missing.
class FormatFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A disk that shows what the program overwrites: an old table with a partition
    // without file system, and marked sectors at both ends and at `marks`.
    LoopDisk& NewDisk(int64_t mib, uint32_t sectorSize = 512,
                      const std::vector<int64_t>& marks = {});

    // Presses "Format Disk" on the disk's line as stickforge-cli format does, with the
    // settings over the defaults and InstallDataSet Not_Install; `prepare` may script the
    // toolkit. The worker runs here to its end, or with `workerThread` on a thread of its
    // own while this thread runs the main loop.
    RunResult Format(const std::string& device, const Settings& settings,
                     const std::function<void(ScriptedToolkit&)>& prepare = nullptr,
                     bool workerThread = false);

    test::ScratchFolder scratch;

private:
    std::vector<std::unique_ptr<LoopDisk>> disks_;
};

}  // namespace format_test
