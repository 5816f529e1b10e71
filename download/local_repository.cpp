#include "download/local_repository.h"

#include <algorithm>
#include <cctype>
#include <memory>
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
constexpr size_t kBlockBytes = 64 * 1024;

bool IsZipName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string suffix = name.substr(name.size() - 4);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return suffix == ".zip";
}

// Finds the first "Clover revision: " in bytes that arrive in blocks and reads the digits
// after it.
class RevisionScan {
public:
    void Feed(const char* bytes, size_t count) {
        for (size_t i = 0; i < count && !ended_; ++i) Take(bytes[i]);
    }
    int32_t Revision() const { return revision_; }

private:
    static constexpr size_t kMarkLength = sizeof kRevisionMark - 1;

    // The mark begins with the only 'C' in it: a broken match starts again at 0 or 1.
    void Take(char c) {
        if (matched_ < kMarkLength) {
            matched_ = c == kRevisionMark[matched_] ? matched_ + 1 : size_t(c == kRevisionMark[0]);
            return;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) && revision_ < INT32_MAX / 10)
            revision_ = revision_ * 10 + (c - '0');
        else
            ended_ = true;
    }

    size_t matched_ = 0;
    int32_t revision_ = 0;
    bool ended_ = false;
};

// The revision in the entry, 0 when it holds more or fewer bytes than it declares. Read
// in blocks: what the entry declares, true or crafted, never decides what is allocated.
int32_t RevisionInEntry(zip_t* archive, zip_int64_t index) {
    zip_stat_t stat;
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_SIZE))
        return 0;
    resources::OwnedEntry file(zip_fopen_index(archive, zip_uint64_t(index), 0));
    if (!file) return 0;
    RevisionScan scan;
    std::vector<char> block(kBlockBytes);
    zip_uint64_t total = 0;
    for (zip_int64_t read; (read = zip_fread(file.get(), block.data(), block.size())) > 0;) {
        total += zip_uint64_t(read);
        if (total > stat.size) return 0;
        scan.Feed(block.data(), size_t(read));
    }
    return total == stat.size ? scan.Revision() : 0;
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
        return RevisionInEntry(archive.get(), i);
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
