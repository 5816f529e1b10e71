#include "tests/recovery/package_fixture.h"

#include <cstdlib>
#include <filesystem>

#include "tests/test_support.h"

namespace test {

namespace fs = std::filesystem;

const std::string& PackageFolder() {
    static ScratchFolder scratch;
    static const std::string folder = [] {
        std::string path = scratch.file("fixture");
        std::string command = std::string("sh ") + STICKFORGE_PACKAGE_SCRIPT + " " +
                              STICKFORGE_ARCHIVE_FIXTURE + " '" + path + "' >/dev/null";
        return std::system(command.c_str()) == 0 ? path : "";
    }();
    return folder;
}

PrivateTemporaryPath::PrivateTemporaryPath(const std::string& path) : path_(path) {
    fs::create_directories(path);
    setenv("TMPDIR", path.c_str(), 1);
}

PrivateTemporaryPath::~PrivateTemporaryPath() { unsetenv("TMPDIR"); }

bool PrivateTemporaryPath::HoldsProgramFolders() const {
    for (const auto& entry : fs::recursive_directory_iterator(path_))
        if (entry.path().filename().string().starts_with("SFK")) return true;
    return false;
}

}  // namespace test
