#include "download/local_repository.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <sstream>
#include <vector>

#include "core/settings.h"
#include "core/state.h"
#include "platform/files.h"
#include "platform/path_parts.h"
#include "resources/zip_handles.h"

namespace download {

std::mutex LocalArchivesLock;

namespace {

constexpr char kRevisionMark[] = "Clover revision: ";

bool IsZipName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string suffix = name.substr(name.size() - 4);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return suffix == ".zip";
}

// The whole entry, or nothing when fewer bytes than its size could be read. Read in
// memory rather than through a shared temporary file, so that scans may overlap.
bool ReadEntry(zip_t* archive, zip_int64_t index, std::string& bytes) {
    zip_stat_t stat;
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_SIZE))
        return false;
    resources::OwnedEntry file(zip_fopen_index(archive, zip_uint64_t(index), 0));
    if (!file) return false;
    bytes.assign(size_t(stat.size), '\0');
    return zip_fread(file.get(), bytes.data(), stat.size) == zip_int64_t(stat.size);
}

int32_t RevisionInText(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t mark = line.find(kRevisionMark);
        if (mark == std::string::npos) continue;
        int64_t revision = 0;
        for (size_t i = mark + sizeof kRevisionMark - 1;
             i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) &&
             revision < INT32_MAX / 10;
             ++i)
            revision = revision * 10 + (line[i] - '0');
        return int32_t(revision);
    }
    return 0;
}

}  // namespace

int32_t ReadArchiveRevision(const std::string& archivePath) {
    if (archivePath.empty() || core::CancelFlag == 1) return 0;
    int error = 0;
    resources::OwnedArchive archive(zip_open(archivePath.c_str(), ZIP_RDONLY, &error));
    if (!archive) return 0;
    zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < entries && core::CancelFlag != 1; ++i) {
        const char* name = zip_get_name(archive.get(), zip_uint64_t(i), 0);
        if (!name || platform::FileNamePart(name) != "boot") continue;
        std::string boot;
        return ReadEntry(archive.get(), i, boot) ? RevisionInText(boot) : 0;
    }
    return 0;
}

int32_t ScanLocalRepository() {
    std::string repository = core::CloverLocalRepository;
    std::vector<core::LocalArchive> found;
    for (const platform::FolderEntry& entry : platform::ListFolder(repository)) {
        if (entry.folder || !IsZipName(entry.name)) continue;
        int32_t revision = ReadArchiveRevision(repository + entry.name);
        if (revision != 0) found.push_back({entry.name, revision});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const core::LocalArchive& a, const core::LocalArchive& b) {
                         return a.Revision > b.Revision;
                     });
    std::lock_guard lock(LocalArchivesLock);
    core::LocalArchives = found;
    if (found.empty()) return 0;
    core::LocalArchivePath = repository + found[0].Name;
    core::LocalArchiveRevision = std::to_string(found[0].Revision);
    return 1;
}

}  // namespace download
