#include "core/setting_choices.h"

#include <utility>

#include "core/settings.h"

namespace core {
namespace {

template <class Kind, size_t N>
using Names = std::pair<const char*, Kind>[N];

constexpr Names<DataSetSource, 3> kSources = {
    {"Local", DataSetSource::Local},
    {"DL", DataSetSource::Download},
    {"Not_Install", DataSetSource::NotInstall},
};

constexpr Names<BootRecordsKind, 4> kBootRecords = {
    {"Windows", BootRecordsKind::Windows},
    {"Clover", BootRecordsKind::Clover},
    {"XPC", BootRecordsKind::Xpc},
    {"Not_Format", BootRecordsKind::NotFormat},
};

constexpr Names<FileSystemKind, 5> kFileSystems = {
    {"FAT32", FileSystemKind::Fat32}, {"FAT32-LBA", FileSystemKind::Fat32Lba},
    {"NTFS", FileSystemKind::Ntfs},   {"exFAT", FileSystemKind::ExFat},
    {"UDF", FileSystemKind::Udf},
};

template <class Kind, size_t N>
Kind KindOf(const std::string& text, const Names<Kind, N>& names, Kind fallback) {
    for (const auto& [name, kind] : names)
        if (text == name) return kind;
    return fallback;
}

template <class Kind, size_t N>
const char* NameOf(Kind kind, const Names<Kind, N>& names) {
    for (const auto& [name, each] : names)
        if (each == kind) return name;
    return "";
}

}  // namespace

DataSetSource InstallDataSetChoice() {
    return KindOf(InstallDataSet, kSources, DataSetSource::Download);
}

BootRecordsKind BootRecordsChoice() {
    return KindOf(Boot_records, kBootRecords, BootRecordsKind::Clover);
}

FileSystemKind FileSystemChoice() {
    return KindOf(FileSystem, kFileSystems, FileSystemKind::Fat32Lba);
}

void SetInstallDataSetChoice(DataSetSource source) { InstallDataSet = NameOf(source, kSources); }

void SetBootRecordsChoice(BootRecordsKind kind) { Boot_records = NameOf(kind, kBootRecords); }

void SetFileSystemChoice(FileSystemKind kind) { FileSystem = NameOf(kind, kFileSystems); }

bool IsFat32(FileSystemKind kind) {
    return kind == FileSystemKind::Fat32 || kind == FileSystemKind::Fat32Lba;
}

std::string FormatServiceName(FileSystemKind kind) {
    return IsFat32(kind) ? "FAT32" : NameOf(kind, kFileSystems);
}

}  // namespace core
