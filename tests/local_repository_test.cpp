#include "app/local_repository.h"

#include "app/settings.h"
#include "app/state.h"
#include "tests/test_support.h"
#include "tests/zip_fixture.h"

namespace {

class LocalRepositoryTest : public test::AppTest {
protected:
    LocalRepositoryTest() { app::CloverLocalRepository = scratch.path().string() + "/"; }
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

    EXPECT_EQ(app::ScanLocalRepository(), 1);
    ASSERT_EQ(app::LocalArchives.size(), 2u);
    EXPECT_EQ(app::LocalArchives[0].Name, "a-3577.zip");
    EXPECT_EQ(app::LocalArchives[1].Revision, 3500);
    EXPECT_EQ(app::LocalArchivePath, app::CloverLocalRepository + "a-3577.zip");
    EXPECT_EQ(app::LocalArchiveRevision, "3577");

    app::CancelFlag = 1;  // a cancelled format stops the reading
    EXPECT_EQ(app::ReadArchiveRevision(app::LocalArchivePath), 0);
}

TEST_F(LocalRepositoryTest, NothingFoundKeepsTheEarlierChoice) {
    app::LocalArchivePath = "/elsewhere/old.zip";
    app::CloverLocalRepository = scratch.file("empty") + "/";
    EXPECT_EQ(app::ScanLocalRepository(), 0);
    EXPECT_TRUE(app::LocalArchives.empty());
    EXPECT_EQ(app::LocalArchivePath, "/elsewhere/old.zip");
    EXPECT_EQ(app::ReadArchiveRevision(""), 0);
}

}  // namespace
