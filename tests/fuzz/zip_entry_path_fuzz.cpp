// ZIP entry names: a name that may be written lands below the destination, always.
#include <cstdint>
#include <filesystem>
#include <string>

#include "resources/zip_entry_path.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string name(reinterpret_cast<const char*>(data), size);
    auto path = resources::EntryPath(name);
    if (!path) return 0;
    FUZZ_CHECK(!path->empty() && path->front() != '/' && path->back() != '/');
    FUZZ_CHECK(path->find_first_of(std::string("\\:\0", 3)) == std::string::npos);
    size_t start = 0;
    for (size_t end; start <= path->size(); start = end + 1) {
        end = path->find('/', start);
        if (end == std::string::npos) end = path->size();
        std::string part = path->substr(start, end - start);
        FUZZ_CHECK(!part.empty() && part != "." && part != "..");
        FUZZ_CHECK(part.back() != '.' && part.back() != ' ');  // Windows would drop it
    }
    std::filesystem::path destination = "/destination";
    std::filesystem::path landing = (destination / *path).lexically_normal();
    FUZZ_CHECK(landing.string().rfind("/destination/", 0) == 0);
    return 0;
}
