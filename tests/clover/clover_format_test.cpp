// "Format Disk" with its default data set source, "DL", against a mirror of the Clover
// project on the loopback test server (root): the latest revision is looked up, its
// archive downloaded over https and turned into the data set on partition 1, and the
// stick boots in QEMU through the installed boot file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/settings.h"
#include "download/local_repository.h"
#include "tests/download/test_server.h"
#include "tests/format/format_disk.h"
#include "tests/qemu/qemu_boot.h"

namespace format_test {
namespace {

constexpr int kBootedStatus = 33;  // the self-test boot file's exit through port 0xF4
constexpr char kRevision[] = "5151";

class CloverFormat : public FormatFixture {
protected:
    void SetUp() override {
        FormatFixture::SetUp();
        if (IsSkipped()) return;
        for (const char* tool : {"qemu-system-x86_64", "python3", "openssl", "genisoimage", "mdir"})
            if (!HasProgram(tool)) GTEST_SKIP() << tool << " is not installed";
        std::string output;
        std::string boot = std::string(STICKFORGE_BOOT_DIR) + "/selftest_boot";
        ASSERT_EQ(RunTool({"sh", STICKFORGE_CLOVER_MIRROR, boot, scratch.file("mirror"), kRevision,
                           "3330"},
                          &output),
                  0)
            << output;
        server_ = std::make_unique<test::TestServer>(scratch.file("mirror"), true);
        ASSERT_TRUE(server_->running()) << "the test server did not start";
        setenv("STICKFORGE_CLOVER_HOST", server_->Url("").c_str(), 1);
        setenv("STICKFORGE_CA_FILE", server_->caFile().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("STICKFORGE_CLOVER_HOST");
        unsetenv("STICKFORGE_CA_FILE");
        server_.reset();
        FormatFixture::TearDown();
    }

    // The default settings but for the fixed disk the loop device is.
    RunResult FormatWithDefaults(LoopDisk& disk, Settings more = {}) {
        more.insert(more.begin(), {"InstallDataSet", "DL"});
        return Format(disk.device(), more);
    }

    std::unique_ptr<test::TestServer> server_;
};

TEST_F(CloverFormat, TheLatestDownloadedDataSetIsInstalledAndBoots) {
    LoopDisk& disk = NewDisk(320);
    ASSERT_TRUE(disk.attached()) << disk.error();
    RunResult run = FormatWithDefaults(disk);
    ASSERT_EQ(run.status, 0) << run.Log();
    for (const char* status : {"Found Latest Clover r5151", "Clover r5151 Downloaded",
                               "Data set files of Clover Installed", "All done"})
        EXPECT_TRUE(run.Showed(status)) << status << "\n" << run.Log();
    disk.Unmount();
    std::string listing;
    EXPECT_EQ(RunTool({"mdir", "-i", disk.Partition(1), "-/", "-a", "-b", "::/"}, &listing), 0);
    for (const char* path :
         {"::/boot", "::/EFI/CLOVER/CLOVERX64.efi",
          "::/EFI/CLOVER/OEM/SystemProductName/config.plist", "::/EFI/CLOVER/kexts/",
          "::/.metadata_never_index", "::/.fseventsd/no_log"})
        EXPECT_NE(listing.find(path), std::string::npos) << path << "\n" << listing;
    EXPECT_EQ(listing.find("[BOOT]"), std::string::npos) << listing;
    ASSERT_TRUE(disk.Detach());
    test::QemuResult boot = test::BootInQemu(disk.image(), test::QemuBoot());
    EXPECT_EQ(boot.status, kBootedStatus) << boot.serial;
    EXPECT_NE(boot.serial.find("Stickforge boot chain OK"), std::string::npos) << boot.serial;
}

TEST_F(CloverFormat, TheDataSetIsKeptInTheLocalRepository) {
    std::filesystem::create_directories(scratch.file("repository"));
    std::string repository = scratch.file("repository") + "/";
    // A data set of that name from before is replaced.
    test::WriteFile(repository + "CloverISO-5151.zip", "stale");
    LoopDisk& disk = NewDisk(320);
    ASSERT_TRUE(disk.attached()) << disk.error();
    RunResult run = FormatWithDefaults(
        disk, {{"SaveLatestCloverAfterDL", "1"}, {"CloverLocalRepository", repository}});
    ASSERT_EQ(run.status, 0) << run.Log();
    EXPECT_TRUE(run.Showed("CloverISO-5151.zip Saved to Clover Local Repo")) << run.Log();
    EXPECT_EQ(download::ReadArchiveRevision(repository + "CloverISO-5151.zip"), 5151);
}

}  // namespace
}  // namespace format_test
