#include "cli/disk_verbs.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "app/dispatch.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "cli/failure.h"
#include "core/ids.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "disk/eject.h"
#include "download/local_repository.h"
#include "ui/toolkit.h"

namespace cli {
namespace {

bool IsNumber(const std::string& text) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool SameDevice(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "4G", "512M", "64K" or plain bytes; binary units. -1 when it is no size.
int64_t ParseSize(const std::string& text) {
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
    if (digits == 0 || digits > 15 || text.size() - digits > 1) return -1;
    int64_t value = std::stoll(text.substr(0, digits));
    if (digits == text.size()) return value;
    switch (std::toupper(static_cast<unsigned char>(text[digits]))) {
        case 'K':
            return value << 10;
        case 'M':
            return value << 20;
        case 'G':
            return value << 30;
        case 'T':
            return value << 40;
    }
    return -1;
}

// The main window and a fresh drive list, as the program shows them after start-up.
void ShowDriveList() {
    app::BuildMainWindow();
    disk::RefreshDriveList();
}

}  // namespace

int FindTargetLine(const std::string& target) {
    int lines = ui::UI().ItemCount(core::DriveTree);
    if (IsNumber(target)) {
        int index = std::stoi(target);
        if (index < lines) return index;
        Fail("the drive list has no line " + target + " (see \"stickforge-cli list\")");
        return -1;
    }
    for (const disk::DiskRecord& disk : disk::DiskList)
        if (SameDevice(disk::Disks().DevicePath(disk.DiskNumber), target)) {
            if (disk.ListRow >= 0) return disk.ListRow;
            Fail(target +
                 " is not in the drive list; fixed disks are listed with "
                 "--set EnableFixedDisks=1");
            return -1;
        }
    Fail("no disk " + target);
    return -1;
}

int RunList(const std::vector<std::string>& arguments) {
    if (!arguments.empty()) return Fail("list takes no arguments", kUsageError);
    ShowDriveList();
    ui::Toolkit& ui = ui::UI();
    for (int i = 0; i < ui.ItemCount(core::DriveTree); ++i) {
        std::string line = std::to_string(i) + "\t" +
                           std::string(size_t(ui.ItemLevel(core::DriveTree, i)) * 2, ' ') +
                           ui.ItemText(core::DriveTree, i) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}

int RunEject(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) return Fail("eject needs TARGET", kUsageError);
    ShowDriveList();
    int line = FindTargetLine(arguments[0]);
    if (line < 0) return 1;
    ui::UI().SelectItem(core::DriveTree, line);
    bool ejected = disk::EjectSelectedDrive();
    disk::RefreshDriveList();
    return ejected ? 0 : Fail("the disk was not ejected (no mounted volume, or still in use)");
}

int RunFormat(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) return Fail("format needs TARGET", kUsageError);
    download::ScanLocalRepository();  // as the program does at start-up, for the Local data set
    ShowDriveList();
    int line = FindTargetLine(arguments[0]);
    if (line < 0) return 1;
    ui::UI().SelectItem(core::DriveTree, line);
    // The button's worker runs here, to its end, as the only thread.
    app::SetWorkerLauncher([](app::WorkerProc proc, int32_t argument) { proc(argument); });
    app::DispatchEvent(ui::Event{ui::EventKind::Control, core::MainWindow, core::FormatButton});
    return app::LastOutcome() == core::Outcome::Done ? 0 : 1;
}

int RunImage(const std::vector<std::string>& arguments) {
    std::string action = arguments.empty() ? "" : arguments[0];
    std::string error;
    if (action == "create" && arguments.size() == 3) {
        int64_t bytes = ParseSize(arguments[2]);
        if (bytes <= 0) return Fail("not a size: \"" + arguments[2] + "\"", kUsageError);
        return platform::CreateImageFile(arguments[1], bytes, error) ? 0 : Fail(error);
    }
    if (action == "attach" && arguments.size() == 2) {
        std::string device = platform::AttachImage(arguments[1], error);
        if (device.empty()) return Fail(error);
        std::printf("%s\n", device.c_str());
        return 0;
    }
    if (action == "detach" && arguments.size() == 2)
        return platform::DetachImage(arguments[1], error) ? 0 : Fail(error);
    return Fail("image needs create FILE SIZE, attach FILE or detach DEVICE", kUsageError);
}

}  // namespace cli
