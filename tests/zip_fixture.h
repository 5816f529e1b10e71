// ZIP archives made by the tests at run time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test {

struct ZipItem {
    std::string name;  // written as given, also names no extractor should accept
    std::string bytes;
    bool folder = false;  // a folder entry: the name ends with "/"
};

// Writes the items in order with libzip, files deflated; false when it failed.
bool WriteZip(const std::string& path, const std::vector<ZipItem>& items);

// One stored entry whose headers declare declaredSize bytes (in ZIP64 fields) whatever it
// holds, as a crafted or corrupt archive would.
std::string ZipDeclaring(const std::string& name, const std::string& bytes, uint64_t declaredSize);

// The entry names and compression methods of a ZIP archive in memory, in order.
struct ZipListing {
    std::vector<std::string> names;
    std::vector<int> methods;
};
ZipListing ListZip(const std::string& bytes);

}  // namespace test
