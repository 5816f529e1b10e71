// Installing and removing the HFS+ drivers on the registry stand-in and a scratch
// drivers folder.
#include "tools/hfs_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "buildtools/packer/resource_packer.h"
#include "core/ids.h"
#include "core/state.h"
#include "platform/drivers.h"
#include "platform/registry.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using core::Outcome;

std::vector<uint8_t> DriverPack(const std::vector<std::string>& names) {
    std::vector<buildtools::PackEntry> entries;
    for (const std::string& name : names)
        entries.push_back({name, std::vector<uint8_t>(name.begin(), name.end())});
    return buildtools::PackResource(buildtools::StoredZip(entries));
}

class HfsDriverTest : public test::AppTest {
protected:
    HfsDriverTest() {
        // The unpack decodes through TEMP: keep it in the scratch folder.
        fs::create_directories(scratch.path() / "tmp");
        setenv("TMPDIR", scratch.file("tmp").c_str(), 1);
        folder = platform::DriversFolder();
        toolkit().SetAssumeYes(true);
    }
    ~HfsDriverTest() override { unsetenv("TMPDIR"); }

    bool Key(const char* path) { return platform::RegistryKeyExists(path); }
    bool File(const char* name) { return fs::exists(folder + name); }
    bool InstallEnabled() { return toolkit().MenuItemEnabled(core::InstallHfsItem); }
    bool UninstallEnabled() { return toolkit().MenuItemEnabled(core::UninstallHfsItem); }
    void ExpectNothingInstalled() {
        EXPECT_FALSE(Key(core::AppleHfsKeyPath));
        EXPECT_FALSE(Key(core::AppleMntKeyPath));
        EXPECT_FALSE(File("AppleHFS.sys"));
        EXPECT_FALSE(File("AppleMNT.sys"));
        EXPECT_TRUE(InstallEnabled());
        EXPECT_FALSE(UninstallEnabled());
    }

    std::string folder;
};

TEST_F(HfsDriverTest, DriversFolderLivesBesideTheRegistryStandIn) {
    EXPECT_EQ(folder, scratch.file("drivers/"));
}

TEST_F(HfsDriverTest, InstallWritesTheServicesAndFilesThenRemoveTakesThemAway) {
    EXPECT_EQ(tools::InstallHfsDriversFrom(DriverPack({"AppleHFS.sys", "AppleMNT.sys"})),
              Outcome::Done);
    EXPECT_EQ(platform::ReadRegistryDword(core::AppleHfsKeyPath, "Type"), 2u);
    EXPECT_EQ(platform::ReadRegistryDword(core::AppleHfsKeyPath, "ErrorControl"), 1u);
    EXPECT_EQ(platform::ReadRegistryDword(core::AppleHfsKeyPath, "Start"), 0u);
    EXPECT_EQ(platform::ReadRegistryDword(core::AppleMntKeyPath, "Type"), 1u);
    EXPECT_EQ(platform::ReadRegistryDword(core::AppleMntKeyPath, "ErrorControl"), 1u);
    EXPECT_EQ(platform::ReadRegistryDword(core::AppleMntKeyPath, "Start"), 0u);
    std::string store = test::ReadFile(scratch.file("registry"));
    EXPECT_NE(store.find("\\applehfs\tgroup\tsz\tFile System\n"), std::string::npos) << store;
    EXPECT_NE(store.find("\\applemnt\tgroup\tsz\tSystem Bus Extender\n"), std::string::npos);
    EXPECT_EQ(test::ReadFile(folder + "AppleMNT.sys"), "AppleMNT.sys");
    EXPECT_FALSE(InstallEnabled());
    EXPECT_TRUE(UninstallEnabled());
    EXPECT_NE(output().find("[WARNING] To complete the install HFS+ drivers, you need to "
                            "restart the computer."),
              std::string::npos);

    EXPECT_EQ(tools::RemoveHfsDrivers(), 1);
    ExpectNothingInstalled();
    EXPECT_NE(output().find("[WARNING] To complete the remove HFS drivers"), std::string::npos);

    // Nothing left to remove is a failure.
    EXPECT_EQ(tools::RemoveHfsDrivers(), 0);
    EXPECT_NE(output().find("[Error] Error: Failed to remove HFS+ drivers."), std::string::npos);
}

TEST_F(HfsDriverTest, AFailedInstallLeavesNoServiceBehind) {
    // The build's packs are empty unless it was given the drivers.
    EXPECT_EQ(tools::InstallHfsDriversFrom({}), Outcome::Failed);
    EXPECT_EQ(tools::InstallHfsDrivers(), tools::HfsDriverPack().empty() ? 0 : 1);
    EXPECT_NE(output().find("[Error] Error: Failed to install HFS+ drivers."), std::string::npos);
    if (tools::HfsDriverPack().empty()) ExpectNothingInstalled();
}

TEST_F(HfsDriverTest, APackMissingADriverIsTakenBackWhole) {
    EXPECT_EQ(tools::InstallHfsDriversFrom(DriverPack({"AppleHFS.sys"})), Outcome::Failed);
    ExpectNothingInstalled();
}

TEST_F(HfsDriverTest, ATakenBackInstallKeepsWhatWasThereBefore) {
    ASSERT_TRUE(platform::WriteRegistryDword(core::AppleHfsKeyPath, "Start", 3));
    EXPECT_EQ(tools::InstallHfsDriversFrom({}), Outcome::Failed);
    EXPECT_TRUE(Key(core::AppleHfsKeyPath));
    EXPECT_FALSE(Key(core::AppleMntKeyPath));
}

TEST_F(HfsDriverTest, DecliningChangesNothingAndShowsNoFurtherBox) {
    toolkit().SetAssumeYes(false);
    EXPECT_EQ(tools::InstallHfsDriversFrom(DriverPack({"AppleHFS.sys", "AppleMNT.sys"})),
              Outcome::Cancelled);
    EXPECT_EQ(output().find("[Error]"), std::string::npos);
    EXPECT_EQ(output().find("[WARNING]"), std::string::npos);
    ExpectNothingInstalled();
}

TEST_F(HfsDriverTest, OneDriverWithFileAndKeyCountsAsInstalled) {
    fs::create_directories(folder);
    test::WriteFile(folder + "AppleMNT.sys", "x");
    EXPECT_EQ(tools::UpdateDriverMenu(), 0);  // a file without its service is not enough
    ASSERT_TRUE(platform::CreateRegistryKey(core::AppleMntKeyPath));
    EXPECT_EQ(tools::UpdateDriverMenu(), 1);
    EXPECT_FALSE(InstallEnabled());
    EXPECT_TRUE(UninstallEnabled());
    // Removal needs both keys, but still deletes what there is.
    EXPECT_EQ(tools::RemoveHfsDrivers(), 0);
    EXPECT_FALSE(File("AppleMNT.sys"));
    EXPECT_FALSE(Key(core::AppleMntKeyPath));
}

}  // namespace
