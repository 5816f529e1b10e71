#include "resources/temp_folder.h"

#include <random>

#include "core/progress.h"
#include "core/state.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace resources {
namespace {

constexpr int kNameTries = 100;

// The folder this run made: the only one RemoveTempFolder takes away.
std::string madeFolder;

int RandomNumber() {
    thread_local std::mt19937 engine{std::random_device{}()};
    return std::uniform_int_distribution<int>(1000, 9999)(engine);
}

}  // namespace

bool CreateTempFolder() {
    core::TempFolder.clear();
    std::string refusal;
    std::string temporary = platform::TemporaryPath(&refusal);
    if (temporary.empty()) {
        core::DrawStatus("No private place for the TEMP folder: " + refusal);
        return false;
    }
    for (const platform::FolderEntry& entry : platform::ListFolder(temporary))
        if (entry.folder && entry.mine && entry.name.starts_with("SFKTemp"))
            platform::RemoveTree(temporary + entry.name);
    for (int i = 0; i < kNameTries; ++i) {
        core::TempFolder =
            temporary + "SFKTemp" + std::to_string(RandomNumber()) + platform::PathSeparator();
        if (platform::CreateFolder(core::TempFolder)) {
            madeFolder = core::TempFolder;
            platform::SetHidden(core::TempFolder);  // a plain Linux folder has no such attribute
            return true;
        }
    }
    core::DrawStatus("No new SFKTemp folder can be made in " + temporary);
    return false;
}

std::string NewTempFileName(const std::string& folder) {
    if (folder.empty()) return "";
    std::string base = platform::JoinPath(folder, "");  // with its separator
    for (const platform::FolderEntry& entry : platform::ListFolder(base))
        if (!entry.folder && entry.name.starts_with("TEMP"))
            platform::RemoveFile(base + entry.name);
    std::string candidate;
    do candidate = base + "TEMP" + std::to_string(RandomNumber());
    while (platform::FileExists(candidate) || platform::FolderExists(candidate));
    return candidate;
}

void HideTempFolderEntries() {
    if (core::TempFolder.empty()) return;
    for (const platform::FolderEntry& entry : platform::ListFolder(core::TempFolder))
        platform::SetHidden(platform::JoinPath(core::TempFolder, entry.name));
}

void RemoveTempFolder() {
    if (!core::TempFolder.empty() && core::TempFolder == madeFolder)
        platform::RemoveTree(core::TempFolder);
    madeFolder.clear();
    core::TempFolder.clear();
}

}  // namespace resources
