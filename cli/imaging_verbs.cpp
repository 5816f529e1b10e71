#include "cli/imaging_verbs.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "app/main_window.h"
#include "cli/failure.h"
#include "core/ids.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "imaging/partition_imaging.h"
#include "ui/console/console_toolkit.h"
#include "ui/toolkit.h"

namespace cli {
namespace {

std::string Folded(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsIndex(const std::string& text) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// "/dev/sdb" + 2 is "/dev/sdb2", "/dev/loop0" + 2 is "/dev/loop0p2".
bool NamesPartition(const std::string& target, const std::string& disk, int number) {
    std::string suffix = std::to_string(number);
    std::string folded = Folded(target), device = Folded(disk);
    return folded == device + suffix || folded == device + "p" + suffix;
}

int RowOf(const disk::DiskRecord& disk, int slot, const std::string& target) {
    if (slot < 0 || slot >= disk::kListedSlots || !disk.Partitions[size_t(slot)].InUse()) {
        Fail(target + " has no partition " + std::to_string(slot + 1));
        return -1;
    }
    if (disk.ListRow < 0) {
        Fail(target +
             " is not in the drive list; fixed disks are listed with "
             "--set EnableFixedDisks=1");
        return -1;
    }
    return disk.Partitions[size_t(slot)].ListRow;
}

struct Request {
    std::string target, file;
    int partition = 0;
    bool verify = false;
};

bool ParseRequest(const std::string& verb, const std::vector<std::string>& arguments,
                  Request& request, std::string& error) {
    std::vector<std::string> positional;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--verify") {
            request.verify = true;
        } else if (arguments[i] == "--partition") {
            if (i + 1 >= arguments.size() || !IsIndex(arguments[i + 1]))
                return error = "--partition needs a number 1-4", false;
            request.partition = std::stoi(arguments[++i]);
        } else {
            positional.push_back(arguments[i]);
        }
    }
    if (positional.size() != 2)
        return error = verb + " needs TARGET FILE [--partition N] [--verify]", false;
    request.target = positional[0];
    std::error_code ignored;
    request.file = std::filesystem::absolute(positional[1], ignored).string();
    return true;
}

const char* WhatHappened(core::Outcome outcome) {
    switch (outcome) {
        case core::Outcome::Done:
            return "done";
        case core::Outcome::Refused:
            return "refused";
        case core::Outcome::Cancelled:
            return "cancelled";
        case core::Outcome::Failed:
            break;
    }
    return "failed";
}

int RunImaging(const std::string& verb, const std::vector<std::string>& arguments,
               core::Outcome (*workflow)(const imaging::ImagingOptions&)) {
    Request request;
    std::string error;
    if (!ParseRequest(verb, arguments, request, error)) return Fail(error, kUsageError);
    app::BuildMainWindow();
    disk::RefreshDriveList();
    int line = FindPartitionLine(request.target, request.partition);
    if (line < 0) return 1;
    auto& console = static_cast<ui::ConsoleToolkit&>(ui::UI());
    console.SelectItem(core::DriveTree, line);
    console.SetFileAnswer(request.file);
    core::Outcome outcome = workflow({.verify = request.verify});
    if (outcome == core::Outcome::Done) return 0;
    return Fail(verb + " " + WhatHappened(outcome) + " (see the status lines above)");
}

}  // namespace

int FindPartitionLine(const std::string& target, int partition) {
    if (IsIndex(target) && partition == 0) {
        int index = std::stoi(target);
        if (index < ui::UI().ItemCount(core::DriveTree)) return index;
        Fail("the drive list has no line " + target + " (see \"stickforge-cli list\")");
        return -1;
    }
    for (const disk::DiskRecord& disk : disk::DiskList) {
        std::string device = disk::Disks().DevicePath(disk.DiskNumber);
        if (Folded(device) == Folded(target)) {
            if (partition == 0) {
                Fail(target + " is a disk: name its partition with --partition N");
                return -1;
            }
            return RowOf(disk, partition - 1, target);
        }
        if (partition != 0) continue;
        for (int slot = 0; slot < disk::kListedSlots; ++slot)
            if (NamesPartition(target, device, slot + 1)) return RowOf(disk, slot, target);
    }
    Fail("no disk or partition " + target);
    return -1;
}

int RunBackup(const std::vector<std::string>& arguments) {
    return RunImaging("backup", arguments, imaging::Backup);
}

int RunRestore(const std::vector<std::string>& arguments) {
    return RunImaging("restore", arguments, imaging::Restore);
}

}  // namespace cli
