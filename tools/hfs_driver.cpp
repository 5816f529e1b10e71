#include "tools/hfs_driver.h"

#include <array>
#include <string>

#include "core/ids.h"
#include "core/state.h"
#include "platform/drivers.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "resources/packed_resources.h"
#include "resources/unpack_archive.h"
#include "ui/toolkit.h"

namespace tools {
namespace {

constexpr char kQuestionTitle[] = "Boot Camp HFS+ ReadOnly drivers";
constexpr char kQuestion[] =
    "Do you want to Install the Boot Camp HFS+ ReadOnly drivers?\r\n"
    "To Continue with this operation, click OK.\r\nTo Quit click CANCEL.";

struct Driver {
    const char* fileName;
    const char* const* keyPath;
};
const std::array<Driver, 2> kDrivers = {{
    {"AppleHFS.sys", &core::AppleHfsKeyPath},
    {"AppleMNT.sys", &core::AppleMntKeyPath},
}};

// The ten registry calls, in this order; the first failure stops them.
bool WriteServiceKeys() {
    const char* hfs = core::AppleHfsKeyPath;
    const char* mnt = core::AppleMntKeyPath;
    return platform::CreateRegistryKey(hfs) && platform::WriteRegistryDword(hfs, "Type", 2) &&
           platform::WriteRegistryDword(hfs, "ErrorControl", 1) &&
           platform::WriteRegistryDword(hfs, "Start", 0) &&
           platform::WriteRegistryText(hfs, "Group", "File System") &&
           platform::CreateRegistryKey(mnt) &&
           platform::WriteRegistryText(mnt, "Group", "System Bus Extender") &&
           platform::WriteRegistryDword(mnt, "Type", 1) &&
           platform::WriteRegistryDword(mnt, "ErrorControl", 1) &&
           platform::WriteRegistryDword(mnt, "Start", 0);
}

// What existed before an install, so that a failed one takes back only its own work: a
// boot-start service without its driver file must not stay behind.
struct Snapshot {
    std::array<bool, 2> key{};
    std::array<bool, 2> file{};
};

Snapshot TakeSnapshot(const std::string& folder) {
    Snapshot before;
    for (size_t i = 0; i < kDrivers.size(); ++i) {
        before.key[i] = platform::RegistryKeyExists(*kDrivers[i].keyPath);
        before.file[i] = platform::FileExists(folder + kDrivers[i].fileName);
    }
    return before;
}

void TakeBack(const std::string& folder, const Snapshot& before) {
    for (size_t i = 0; i < kDrivers.size(); ++i) {
        if (!before.key[i]) platform::DeleteRegistryKey(*kDrivers[i].keyPath);
        std::string file = folder + kDrivers[i].fileName;
        if (!before.file[i] && platform::FileExists(file)) platform::RemoveFile(file);
    }
}

// The unpack passes over entries it cannot write, so the files themselves decide.
bool UnpackDrivers(std::span<const uint8_t> pack, const std::string& folder) {
    resources::CreatePath(folder);
    if (!resources::UnpackArchive(pack, folder, true, "", true, true)) return false;
    for (const Driver& driver : kDrivers)
        if (!platform::FileExists(folder + driver.fileName)) return false;
    return true;
}

void ReportInstallFailure() {
    ui::UI().MessageBox("Error", "Failed to install HFS+ drivers.", ui::Icon::Error,
                        ui::Buttons::Ok);
}

core::Outcome Install(std::span<const uint8_t> pack) {
    std::string folder = platform::DriversFolder();
    if (folder.empty()) return ReportInstallFailure(), core::Outcome::Failed;
    if (ui::UI().MessageBox(kQuestionTitle, kQuestion, ui::Icon::Warning, ui::Buttons::OkCancel) !=
        ui::Answer::Ok)
        return core::Outcome::Cancelled;
    Snapshot before = TakeSnapshot(folder);
    if (!WriteServiceKeys() || !UnpackDrivers(pack, folder)) {
        TakeBack(folder, before);
        return ReportInstallFailure(), core::Outcome::Failed;
    }
    ui::UI().MessageBox("WARNING",
                        "To complete the install HFS+ drivers, you need to restart the computer.",
                        ui::Icon::Information, ui::Buttons::Ok);
    return core::Outcome::Done;
}

bool DeleteServiceKeys() {
    bool deleted = true;
    for (const Driver& driver : kDrivers)
        deleted = platform::RegistryKeyExists(*driver.keyPath) &&
                  platform::DeleteRegistryKey(*driver.keyPath) && deleted;
    return deleted;
}

core::Outcome Remove() {
    std::string folder = platform::DriversFolder();
    bool removed = false;
    if (!folder.empty()) {
        for (const Driver& driver : kDrivers) platform::RemoveFile(folder + driver.fileName);
        removed = DeleteServiceKeys();
    }
    if (removed)
        ui::UI().MessageBox("WARNING",
                            "To complete the remove HFS drivers, you need to restart the computer.",
                            ui::Icon::Information, ui::Buttons::Ok);
    else
        ui::UI().MessageBox("Error", "Failed to remove HFS+ drivers.", ui::Icon::Error,
                            ui::Buttons::Ok);
    return removed ? core::Outcome::Done : core::Outcome::Failed;
}

// The Boot Camp drivers are for Windows: elsewhere nothing is installed, nor pretended.
bool NothingToInstall() {
    if (!platform::SystemReadsHfs()) return false;
    ui::UI().MessageBox("Info",
                        "This system reads HFS+ partitions by itself: no driver is needed, "
                        "nothing was changed.",
                        ui::Icon::Information, ui::Buttons::Ok);
    return true;
}

}  // namespace

core::Outcome RunHfsDriverInstall() {
    return NothingToInstall() ? core::Outcome::Refused : InstallHfsDriversFrom(HfsDriverPack());
}

core::Outcome RunHfsDriverRemoval() {
    return NothingToInstall() ? core::Outcome::Refused : RemoveHfsDriversOutcome();
}

std::span<const uint8_t> HfsDriverPack() {
    return platform::Is64BitSystem() ? resources::HfsDrivers64Pack : resources::HfsDrivers32Pack;
}

core::Outcome InstallHfsDriversFrom(std::span<const uint8_t> pack) {
    core::Outcome outcome = Install(pack);
    UpdateDriverMenu();
    return outcome;
}

core::Outcome RemoveHfsDriversOutcome() {
    core::Outcome outcome = Remove();
    UpdateDriverMenu();
    return outcome;
}

int32_t InstallHfsDrivers() {
    return InstallHfsDriversFrom(HfsDriverPack()) == core::Outcome::Failed ? 0 : 1;
}

int32_t RemoveHfsDrivers() { return RemoveHfsDriversOutcome() == core::Outcome::Done ? 1 : 0; }

int32_t UpdateDriverMenu() {
    std::string folder = platform::DriversFolder();
    bool installed = false;
    if (!folder.empty())
        for (const Driver& driver : kDrivers)
            installed = installed || (platform::FileExists(folder + driver.fileName) &&
                                      platform::RegistryKeyExists(*driver.keyPath));
    ui::UI().EnableMenuItem(core::InstallHfsItem, !installed);
    ui::UI().EnableMenuItem(core::UninstallHfsItem, installed);
    return installed ? 1 : 0;
}

}  // namespace tools
