#include "resources/temp_folder.h"

#include <random>

#include "core/state.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace resources {
namespace {

int RandomNumber() {
    thread_local std::mt19937 engine{std::random_device{}()};
    return std::uniform_int_distribution<int>(1000, 9999)(engine);
}

}  // namespace

bool CreateTempFolder() {
    core::TempFolder.clear();
    std::string temporary = platform::TemporaryPath();
    if (temporary.empty()) return false;
    temporary = platform::JoinPath(temporary, "");
    for (const platform::FolderEntry& entry : platform::ListFolder(temporary))
        if (entry.folder && entry.name.starts_with("SFKTemp"))
            platform::RemoveTree(temporary + entry.name);
    do
        core::TempFolder =
            temporary + "SFKTemp" + std::to_string(RandomNumber()) + platform::PathSeparator();
    while (platform::FolderExists(core::TempFolder));
    if (!platform::CreateFolder(core::TempFolder)) return false;
    platform::SetHidden(core::TempFolder);  // a plain Linux folder has no such attribute
    return true;
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
    if (!core::TempFolder.empty()) platform::RemoveTree(core::TempFolder);
    core::TempFolder.clear();
}

}  // namespace resources
