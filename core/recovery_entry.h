// One Recovery HD package known to the program, the list of them, and the lines of the
// settings file that keep an entry.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace core {

struct RecoveryEntry {
    std::string Title;
    std::string SourceName;
    std::string SmdUrl;
    std::string MetadataURL;
    std::string URL;
    std::string Size;    // the catalog's byte count of the package, decimal text
    std::string Digest;  // the catalog's SHA-1 of the package, hexadecimal text
    std::string Revision;
    std::string PostDate;
    std::string ScriptName;
};

// Replaced whole by the list update on its worker and read by the interface thread (the
// Download Tool, every settings save): both hold RecoveryListLock while they touch it, and
// nobody holds it across a toolkit call.
extern std::vector<RecoveryEntry> RecoveryList;
extern std::mutex RecoveryListLock;

std::vector<RecoveryEntry> RecoveryListCopy();
void ReplaceRecoveryList(std::vector<RecoveryEntry> entries);

// The settings lines that keep one entry, without line ends: "Title = URL", and before it,
// when the entry has them, a comment with the catalog's size and digest for the download
// check ("; Package size 474525688, SHA-1 a94a8fe5..."). Titles and addresses that the
// line could not keep whole are quoted (settings_text.h).
std::vector<std::string> RecoveryEntryLines(const RecoveryEntry& entry);

// The entry that a value line of the recovery group keeps (key and value as the reader
// split them), with the comment line just above it ("" when there is none).
RecoveryEntry RecoveryEntryFromLine(std::string_view key, std::string_view value,
                                    std::string_view comment);

}  // namespace core
