// One Recovery HD package known to the program.
#pragma once

#include <string>
#include <vector>

namespace core {

struct RecoveryEntry {
    std::string Title;
    std::string SourceName;
    std::string SmdUrl;
    std::string MetadataURL;
    std::string URL;
    std::string Size;
    std::string Digest;
    std::string Revision;
    std::string PostDate;
    std::string ScriptName;
};

extern std::vector<RecoveryEntry> RecoveryList;

}  // namespace core
