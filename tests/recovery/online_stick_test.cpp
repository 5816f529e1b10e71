// The Internet Recovery path end to end in one process, as a user runs it (root): a
// virtual stick formatted with the default layout, an Internet Recovery entry fetched
// from the loopback stand-in of Apple's server and checked, its HFS image restored onto
// partition 2, nothing unmounted by hand in between.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/imaging_verbs.h"
#include "core/settings.h"
#include "core/state.h"
#include "recovery/download_recovery.h"
#include "recovery/internet_recovery_table.h"
#include "tests/download/test_server.h"
#include "tests/format/format_disk.h"
#include "tests/recovery/package_fixture.h"

namespace format_test {
namespace {

namespace fs = std::filesystem;

class OnlineStick : public FormatFixture {
protected:
    ~OnlineStick() override { unsetenv("STICKFORGE_RECOVERY_HOST"); }
};

TEST_F(OnlineStick, AFetchedImageIsRestoredOntoPartitionTwoOfAFreshlyFormattedStick) {
    const std::string package = test::PackageFolder();
    ASSERT_FALSE(package.empty()) << "the package fixture could not be built";
    test::PrivateTemporaryPath temporary(scratch.file("tmp"));
    LoopDisk& disk = NewDisk(320);
    ASSERT_TRUE(disk.attached()) << disk.error();

    RunResult format = Format(disk.device(), {});
    ASSERT_EQ(format.status, 0) << format.Log();
    ASSERT_EQ(format.statuses.back(), "All done") << format.Log();
    std::vector<SfdiskEntry> table = SfdiskPartitions(disk.device(), nullptr);
    ASSERT_EQ(table.size(), 2u) << "the default layout has two partitions";

    test::TestServer server(
        {"python3", STICKFORGE_RECOVERY_SERVER, "--image", package + "/BaseSystem.dmg", "--key",
         STICKFORGE_CHUNKLIST_TEST_KEY, "--log", scratch.file("server.log")},
        scratch.file("server.log"));
    ASSERT_TRUE(server.running());
    setenv("STICKFORGE_RECOVERY_HOST", server.Url("").c_str(), 1);
    core::SFKImageLocalRepo = scratch.file("images");
    fs::create_directories(core::SFKImageLocalRepo);
    core::RecoveryList = recovery::InternetRecoveryEntries();
    std::vector<std::string> images;
    ASSERT_EQ(recovery::RunRecoveryDownload(1, images), core::Outcome::Done);
    ASSERT_EQ(images.size(), 1u);
    const std::string image = test::ReadFile(images[0]);
    ASSERT_EQ(image, test::ReadFile(package + "/base.hfs"));
    ASSERT_EQ(image.size() % 512, 0u);

    auto& toolkit = static_cast<ScriptedToolkit&>(ui::UI());
    toolkit.Answer({}, ui::Answer::Yes);
    ASSERT_EQ(cli::RunRestore({disk.Partition(2), images[0]}), 0)
        << RunResult{1, toolkit.StatusLines(), toolkit.Boxes()}.Log();

    const int64_t sectors = int64_t(image.size() / 512);
    EXPECT_TRUE(disk.Read(table[1].start, sectors) ==
                std::vector<uint8_t>(image.begin(), image.end()))
        << "partition 2 holds the HFS image byte for byte";
    table = SfdiskPartitions(disk.device(), nullptr);
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1].type, "af");
    EXPECT_EQ(table[1].size, sectors);
}

}  // namespace
}  // namespace format_test
