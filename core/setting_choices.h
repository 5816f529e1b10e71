// The settings that steer the workflows, read as what they mean. The text globals stay
// the store: the file, the configuration dialog and the summary show them as text.
#pragma once

#include <string>

namespace core {

enum class DataSetSource { Local, Download, NotInstall };         // InstallDataSet
enum class BootRecordsKind { Windows, Clover, Xpc, NotFormat };   // Boot_records
enum class FileSystemKind { Fat32, Fat32Lba, Ntfs, ExFat, Udf };  // FileSystem

// A text the settings checks would refuse reads as the key's default.
DataSetSource InstallDataSetChoice();
BootRecordsKind BootRecordsChoice();
FileSystemKind FileSystemChoice();

void SetInstallDataSetChoice(DataSetSource source);
void SetBootRecordsChoice(BootRecordsKind kind);
void SetFileSystemChoice(FileSystemKind kind);

// Both FAT32 entries are one file system; "FAT32-LBA" differs only in its partition type.
bool IsFat32(FileSystemKind kind);
// The file system as the format service names it.
std::string FormatServiceName(FileSystemKind kind);

}  // namespace core
