// "Format Disk" with its default settings, so with the "DL" data set, against stand-ins
// of the Clover project's SourceForge folder and GitHub releases on the loopback test
// server (root): the latest revision is looked up in both, its archive, in each form
// Clover's build publishes, downloaded over https (from GitHub checked against its
// SHA-256 digest) and turned into the data set on partition 1; the archive's GRUB loader
// as EFI/BOOT/BOOTX64.efi and its boot file make the stick start in OVMF from USB and
// SATA and in SeaBIOS.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>

#include "core/settings.h"
#include "download/local_repository.h"
#include "tests/download/test_server.h"
#include "tests/format/format_disk.h"
#include "tests/qemu/qemu_boot.h"

namespace format_test {
namespace {

using test::Attach;
using test::QemuBoot;
using test::QemuResult;

constexpr int kBootedStatus = 33;  // the self-test files' exit through port 0xF4

std::string BootFile(const char* name) { return std::string(STICKFORGE_BOOT_DIR) + "/" + name; }

// Where the stand-ins put the latest archive: which source, in which form.
struct ArchiveCase {
    const char* name;
    const char* sourceForgeForm;               // clover_mirror.sh's form of 5151
    std::vector<std::string> githubArguments;  // github_mirror.sh's options and revisions
    const char* revision;                      // the one installed
    const char* status;                        // shown on the way
};

const ArchiveCase kCases[] = {
    {"GithubIsoIn7z",
     "lzma",
     {"5172", "5160"},
     "5172",
     "Clover r5172 matches the SHA-256 digest GitHub publishes"},
    {"SourceForgeLzmaAlone", "lzma", {"5150", "5140"}, "5151", "Found Latest Clover r5151"},
    {"SourceForgeXzWhileGithubRefuses",
     "xz",
     {"--refuse", "403", "0"},
     "5151",
     "GitHub's API limit is reached (HTTP 403): revisions from SourceForge only"},
};

void PrintTo(const ArchiveCase& c, std::ostream* out) { *out << c.name; }

class CloverFormat : public FormatFixture {
protected:
    void SetUp() override {
        FormatFixture::SetUp();
        if (IsSkipped()) return;
        for (const char* tool : {"qemu-system-x86_64", "python3", "openssl", "genisoimage", "mdir"})
            if (!HasProgram(tool)) GTEST_SKIP() << tool << " is not installed";
        std::string missing = test::UefiBootMissing(STICKFORGE_BOOT_DIR);
        if (!missing.empty()) GTEST_SKIP() << missing;
    }
    void TearDown() override {
        for (const char* variable :
             {"STICKFORGE_CLOVER_HOST", "STICKFORGE_GITHUB_API", "STICKFORGE_CA_FILE"})
            unsetenv(variable);
        server_.reset();
        FormatFixture::TearDown();
    }

    // Both stand-ins on one server over https: SourceForge lists 5151 and 3330, GitHub
    // what the arguments say.
    void ServeMirrors(const char* sourceForgeForm, const std::vector<std::string>& github) {
        std::string root = scratch.file("mirror"), output;
        ASSERT_EQ(RunTool({"sh", STICKFORGE_CLOVER_MIRROR, "--form", sourceForgeForm, "--efi",
                           BootFile("selftest_bootx64.efi"), BootFile("selftest_boot"), root,
                           "5151", "3330"},
                          &output),
                  0)
            << output;
        server_ = std::make_unique<test::TestServer>(root, true);
        ASSERT_TRUE(server_->running()) << "the test server did not start";
        std::vector<std::string> args = {"sh", STICKFORGE_GITHUB_MIRROR, "--efi",
                                         BootFile("selftest_bootx64.efi")};
        size_t options = github.front() == "--refuse" ? 2 : 0;
        args.insert(args.end(), github.begin(), github.begin() + options);
        args.insert(args.end(), {BootFile("selftest_boot"), root, server_->Url("")});
        args.insert(args.end(), github.begin() + options, github.end());
        ASSERT_EQ(RunTool(args, &output), 0) << output;
        setenv("STICKFORGE_CLOVER_HOST", server_->Url("").c_str(), 1);
        setenv("STICKFORGE_GITHUB_API", server_->Url("").c_str(), 1);
        setenv("STICKFORGE_CA_FILE", server_->caFile().c_str(), 1);
    }

    // The default settings but for the fixed disk the loop device is.
    RunResult FormatWithDefaults(LoopDisk& disk, Settings more = {}) {
        more.insert(more.begin(), {"InstallDataSet", "DL"});
        return Format(disk.device(), more);
    }

    std::unique_ptr<test::TestServer> server_;
};

class CloverFormatForms : public CloverFormat, public ::testing::WithParamInterface<ArchiveCase> {};

TEST_P(CloverFormatForms, TheLatestDataSetIsInstalledAndBootsBothWays) {
    const ArchiveCase& c = GetParam();
    ServeMirrors(c.sourceForgeForm, c.githubArguments);
    if (HasFatalFailure()) return;
    LoopDisk& disk = NewDisk(320);
    ASSERT_TRUE(disk.attached()) << disk.error();
    RunResult run = FormatWithDefaults(disk);
    ASSERT_EQ(run.status, 0) << run.Log();
    const std::string revision = c.revision;
    for (const std::string& status :
         {std::string(c.status), "Found Latest Clover r" + revision,
          "Clover r" + revision + " Downloaded", std::string("Data set files of Clover Installed"),
          std::string("All done")})
        EXPECT_TRUE(run.Showed(status)) << status << "\n" << run.Log();
    disk.Unmount();
    std::string listing, output;
    EXPECT_EQ(RunTool({"mdir", "-i", disk.Partition(1), "-/", "-a", "-b", "::/"}, &listing), 0);
    for (const char* path :
         {"::/boot", "::/EFI/BOOT/BOOTX64.efi", "::/EFI/CLOVER/CLOVERX64.efi",
          "::/EFI/CLOVER/drivers/UEFI/", "::/EFI/CLOVER/OEM/SystemProductName/config.plist",
          "::/EFI/CLOVER/kexts/", "::/.metadata_never_index", "::/.fseventsd/no_log"})
        EXPECT_NE(listing.find(path), std::string::npos) << path << "\n" << listing;
    EXPECT_EQ(listing.find("[BOOT]"), std::string::npos) << listing;
    EXPECT_EQ(RunTool({"fsck.fat", "-n", disk.Partition(1)}, &output), 0) << output;
    ASSERT_TRUE(disk.Detach());

    struct Boot {
        const char* what;
        QemuBoot machine;
        std::string said;
    };
    const Boot boots[] = {
        {"SeaBIOS", QemuBoot().Within(60), "Stickforge boot chain OK"},
        {"OVMF, USB", QemuBoot().InUefi().AsUsbStick().Within(90), "Stickforge UEFI boot OK"},
        {"OVMF, SATA", QemuBoot().InUefi().Within(90), "Stickforge UEFI boot OK"},
    };
    std::vector<std::future<QemuResult>> runs;
    for (const Boot& boot : boots)
        runs.push_back(std::async(std::launch::async,
                                  [&] { return test::BootInQemu(disk.image(), boot.machine); }));
    for (size_t i = 0; i < runs.size(); ++i) {
        QemuResult result = runs[i].get();
        SCOPED_TRACE(boots[i].what);
        EXPECT_EQ(result.status, kBootedStatus) << result.serial;
        EXPECT_NE(result.serial.find(boots[i].said), std::string::npos) << result.serial;
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, CloverFormatForms, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CloverFormat, TheDataSetIsKeptInTheLocalRepository) {
    ServeMirrors("lzma", {"--refuse", "403", "0"});
    if (HasFatalFailure()) return;
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
