// Extracting a ZIP file: whatever the archive holds, nothing is written outside the
// destination folder and no link is made.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/state.h"
#include "resources/unpack_archive.h"
#include "tests/fuzz/fuzz_check.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::QuietProgram();
    fuzz::QuietToolkit toolkit;
    const fs::path scratch = fuzz::Scratch() / "zip";
    fs::path archive = scratch / "archive.zip", destination = scratch / "out" / "";
    fs::create_directories(destination);
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    resources::UnpackArchive({}, destination.string(), false, archive.string(), false, false);
    for (const auto& entry : fs::recursive_directory_iterator(scratch)) {
        FUZZ_CHECK(!entry.is_symlink());
        fs::path relative = entry.path().lexically_relative(scratch);
        bool inside = relative == "archive.zip" || *relative.begin() == "out";
        if (!inside) std::fprintf(stderr, "written outside: %s\n", entry.path().c_str());
        FUZZ_CHECK(inside);
    }
    fs::remove_all(scratch);
    return 0;
}
