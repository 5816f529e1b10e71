#include "prepare/format_volume.h"

#include <cstring>

#include "core/progress.h"
#include "core/state.h"
#include "disk/disk_system.h"

namespace prepare {
namespace {

struct Report {
    uint32_t command;
    const char* text;  // nullptr: nothing shown
    bool fatal;
};

constexpr Report kReports[] = {
    {platform::kFormatStructureDone, nullptr, false},
    {platform::kFormatIncompatible, "Incompatible File System", true},
    {platform::kFormatAccessDenied, "Access denied", true},
    {platform::kFormatWriteProtected, "Media is write protected", true},
    {platform::kFormatVolumeInUse, "Volume is in use", true},
    {platform::kFormatNoQuickFormat, "Cannot quick format this volume", true},
    {platform::kFormatBadLabel, "Bad label", true},
    {platform::kFormatOutput, nullptr, false},
    {platform::kFormatCreating, "Creating file system", false},
    {platform::kFormatBadClusterSize, "Unsupported cluster size", true},
    {platform::kFormatClusterTooBig, nullptr, false},
    {platform::kFormatTooSmall, "Volume is too small", false},
    {platform::kFormatTooBig, "Volume is too big", true},
    {platform::kFormatNoMedia, "No media in drive", true},
};

template <class T>
T InfoValue(const void* info) {
    T value{};
    if (info) std::memcpy(&value, info, sizeof value);
    return value;
}

void HandleReport(uint32_t command, const void* info) {
    if (command == platform::kFormatProgress) {
        core::DrawStatus("Formatting: " + std::to_string(InfoValue<uint32_t>(info)) + " %");
        return;
    }
    if (command == platform::kFormatDone) {
        bool success = InfoValue<uint8_t>(info) != 0;
        core::DrawStatus(success ? "Creating file system completed" : "Error while formatting");
        if (!success) core::CancelFlag = 1;
        return;
    }
    for (const Report& report : kReports) {
        if (report.command != command) continue;
        if (report.text) core::DrawStatus(report.text);
        if (report.fatal) core::CancelFlag = 1;
        return;
    }
    core::CancelFlag = 1;  // a report the program does not know stops the format
}

}  // namespace

bool FormatCallback(uint32_t command, uint32_t, const void* info) {
    if (core::CancelFlag != 0) return false;
    HandleReport(command, info);
    return core::CancelFlag == 0;
}

int FormatVolume(const std::string& letter, const std::string& fileSystem, const std::string& label,
                 int32_t quick, uint32_t clusterSize) {
    platform::FormatRequest request{letter, fileSystem, label, quick != 0, clusterSize};
    if (disk::Disks().RunFormatService(request, FormatCallback) ==
        platform::FormatServiceStatus::ServiceMissing) {
        core::ShowStatus("Error OpenLibrary fmifs.dll", 2000);
        return 0;
    }
    return core::CancelFlag == 0 ? 1 : 0;
}

}  // namespace prepare
