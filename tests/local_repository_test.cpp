#include "download/local_repository.h"

#include "core/settings.h"
#include "core/state.h"
#include "tests/test_support.h"
#include "tests/zip_fixture.h"

namespace {

class LocalRepositoryTest : public test::AppTest {
protected:
    LocalRepositoryTest() { core::CloverLocalRepository = scratch.path().string() + "/"; }
    void Archive(const std::string& name, const std::string& bootText) {
        ASSERT_TRUE(test::WriteZip(scratch.file(name), {{"EFI/", "", true},
                                                        {"EFI/CLOVER/config.plist", "<plist/>"},
                                                        {"usr/standalone/boot", bootText}}));
    }
};

TEST_F(LocalRepositoryTest, HighestRevisionIsChosenWhateverTheFolderOrder) {
    Archive("a-3577.zip",
            "\x7f"
            "ELF junk\nClover revision: 3577 (master)\n");
    Archive("b-3500.ZIP", "Clover revision: 3500");
    Archive("c-none.zip", "no revision line here\n");
    test::WriteFile(scratch.file("d-broken.zip"), "not a zip at all");
    ASSERT_TRUE(test::WriteZip(scratch.file("e-noboot.zip"), {{"boot.efi", "Clover revision: 9"}}));

    EXPECT_EQ(download::ScanLocalRepository(), 1);
    ASSERT_EQ(core::LocalArchives.size(), 2u);
    EXPECT_EQ(core::LocalArchives[0].Name, "a-3577.zip");
    EXPECT_EQ(core::LocalArchives[1].Revision, 3500);
    EXPECT_EQ(core::LocalArchivePath, core::CloverLocalRepository + "a-3577.zip");
    EXPECT_EQ(core::LocalArchiveRevision, "3577");

    core::CancelFlag = 1;  // a cancelled format stops the reading
    EXPECT_EQ(download::ReadArchiveRevision(core::LocalArchivePath), 0);
}

TEST_F(LocalRepositoryTest, NothingFoundKeepsTheEarlierChoice) {
    core::LocalArchivePath = "/elsewhere/old.zip";
    core::CloverLocalRepository = scratch.file("empty") + "/";
    EXPECT_EQ(download::ScanLocalRepository(), 0);
    EXPECT_TRUE(core::LocalArchives.empty());
    EXPECT_EQ(core::LocalArchivePath, "/elsewhere/old.zip");
    EXPECT_EQ(download::ReadArchiveRevision(""), 0);
}

// An archive whose boot entry declares a size it does not hold is no Clover data set, and
// its declared size is never allocated: a crafted one must not end every start.
TEST_F(LocalRepositoryTest, ABootEntryDeclaringAnotherSizeIsPassedOver) {
    const std::string boot = "Clover revision: 5151\n";
    const std::pair<uint64_t, int32_t> cases[] = {
        {boot.size(), 5151},     // what it holds: read
        {boot.size() - 3, 0},    // less
        {uint64_t(1) << 40, 0},  // more than memory
        {uint64_t(1) << 62, 0},  // more than a string can hold
    };
    for (auto [declared, revision] : cases) {
        SCOPED_TRACE(declared);
        test::WriteFile(scratch.file("CloverISO-5151.zip"),
                        test::ZipDeclaring("usr/standalone/boot", boot, declared));
        EXPECT_EQ(download::ScanLocalRepository(), revision != 0);
        EXPECT_EQ(download::ReadArchiveRevision(scratch.file("CloverISO-5151.zip")), revision);
    }
}

}  // namespace
