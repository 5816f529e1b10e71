#include "resources/unpack_archive.h"

#include <zip.h>

#include <cmath>
#include <memory>

#include "core/ids.h"
#include "core/progress.h"
#include "core/state.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "resources/resource_unpack.h"
#include "resources/zip_entry_path.h"
#include "resources/zip_handles.h"
#include "ui/toolkit.h"

namespace resources {
namespace {

constexpr int64_t kLastLineMs = 1000;  // the last progress line stays to be read

bool ProgressBarShown() { return ui::HasToolkit() && ui::UI().WindowExists(core::MainWindow); }

void ShowProgress(int32_t percent, const std::string& text) {
    if (ProgressBarShown()) core::DrawStatus(text, percent);
}

// Rights kept by a Unix packer: an executable entry stays runnable.
bool IsExecutable(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    return zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
           system == ZIP_OPSYS_UNIX && ((attributes >> 16) & 0111) != 0;
}

// Folders of the archive are made even when they hold no file. False when the entry
// could not be read or written; one that would land outside the destination is passed over.
bool ExtractEntry(zip_t* archive, zip_uint64_t index, platform::FileTree& tree) {
    const char* name = zip_get_name(archive, index, ZIP_FL_ENC_GUESS);
    auto path = EntryPath(name ? name : "");
    if (!path) return true;
    bool folder = IsFolderEntry(name);
    size_t cut = path->find_last_of('/');
    std::string parent = folder ? *path : cut == std::string::npos ? "" : path->substr(0, cut);
    if (!tree.CreateFolder(parent)) return false;  // "" makes the destination itself
    if (folder) return true;
    OwnedEntry entry(zip_fopen_index(archive, index, 0));
    if (!entry) return false;
    auto read = [&](uint8_t* buffer, size_t capacity) {
        return int64_t(zip_fread(entry.get(), buffer, capacity));
    };
    return tree.WriteFile(*path, read, IsExecutable(archive, index));
}

bool ExtractAll(const std::string& archivePath, const std::string& destination, bool showProgress) {
    OwnedArchive archive(zip_open(archivePath.c_str(), ZIP_RDONLY, nullptr));
    zip_int64_t count = archive ? zip_get_num_entries(archive.get(), 0) : -1;
    if (count < 0) return false;
    if (showProgress) ShowProgress(0, "");
    std::unique_ptr<platform::FileTree> tree = platform::OpenFileTree(destination);
    bool written = true;
    for (zip_int64_t i = 1; i <= count && !core::CancelFlag; ++i) {
        written = ExtractEntry(archive.get(), zip_uint64_t(i - 1), *tree) && written;
        if (showProgress)
            ShowProgress(int32_t(std::lround(double(i) * 100 / double(count))),
                         "Extracted (" + std::to_string(i) + "/" + std::to_string(count) +
                             ") files to " + destination);
    }
    written = tree->Finish() && written;
    archive.reset();
    core::ReadingPause(kLastLineMs);
    return written && !core::CancelFlag;
}

}  // namespace

bool UnpackArchive(std::span<const uint8_t> resource, const std::string& destination,
                   bool fromResource, const std::string& archivePath, bool showProgress,
                   bool deleteArchive) {
    bool result = false;
    std::string archive = fromResource ? "" : archivePath;
    if (!core::CancelFlag && !destination.empty()) {
        if (fromResource && !resource.empty()) archive = UnpackInternalMemoryToTempFile(resource);
        if (!archive.empty())
            result = ExtractAll(archive, platform::JoinPath(destination, ""), showProgress);
    }
    if (deleteArchive && platform::FileSize(archive) > 0) platform::RemoveFile(archive);
    if (showProgress && ProgressBarShown()) core::DrawStatus("", 0);
    return result;
}

void CreatePath(const std::string& path) {
    if (path.empty()) return;
    const char separator = platform::PathSeparator()[0];
    std::string folder = path;
    for (char& c : folder)
        if (c == '/') c = separator;
    if (platform::FolderExists(folder)) return;
    while (folder.size() > 1 && folder.back() == separator) folder.pop_back();
    size_t cut = folder.find_last_of(separator);
    std::string parent = cut == std::string::npos ? "" : folder.substr(0, cut);
    if (parent.size() > 1) CreatePath(parent);
    platform::CreateFolder(folder);
}

}  // namespace resources
