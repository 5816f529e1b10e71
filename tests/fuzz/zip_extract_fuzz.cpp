// Extracting a ZIP file: whatever the archive holds, nothing is written outside the
// destination folder and no link is made.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/state.h"
#include "resources/unpack_archive.h"
#include "tests/fuzz/fuzz_check.h"
#include "ui/console/console_toolkit.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* quiet = std::fopen("/dev/null", "w");
    static const bool ready = [] {
        ui::SetToolkit(
            std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{false, quiet, nullptr}));
        core::InitialiseGlobals();
        return true;
    }();
    (void)ready;
    const fs::path& scratch = fuzz::Scratch();
    fs::path archive = scratch / "archive.zip", destination = scratch / "out" / "";
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    fs::create_directories(destination);
    resources::UnpackArchive({}, destination.string(), false, archive.string(), false, false);
    for (const auto& entry : fs::recursive_directory_iterator(scratch)) {
        FUZZ_CHECK(!entry.is_symlink());
        fs::path relative = entry.path().lexically_relative(scratch);
        bool inside = relative == "archive.zip" || *relative.begin() == "out";
        if (!inside) std::fprintf(stderr, "written outside: %s\n", entry.path().c_str());
        FUZZ_CHECK(inside);
    }
    fs::remove_all(scratch / "out");
    return 0;
}
