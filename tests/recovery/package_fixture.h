// What the recovery workflow tests share: the package fixture of make_recovery_package.sh
// and a private temporary path for the program's temporary folders.
#pragma once

#include <string>

namespace test {

// The folder holding RecoveryHDUpdate.pkg, BaseSystem.dmg, base.hfs and Empty.dmg, built
// once for all tests; "" when it could not be built.
const std::string& PackageFolder();

// Points TMPDIR at a folder of its own for as long as it lives, so that the program's
// temporary folders are made (and old ones of their name removed) away from other runs.
class PrivateTemporaryPath {
public:
    explicit PrivateTemporaryPath(const std::string& path);
    ~PrivateTemporaryPath();
    PrivateTemporaryPath(const PrivateTemporaryPath&) = delete;
    PrivateTemporaryPath& operator=(const PrivateTemporaryPath&) = delete;
    bool HoldsProgramFolders() const;

private:
    std::string path_;
};

}  // namespace test
