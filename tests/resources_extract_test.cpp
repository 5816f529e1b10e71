// Extracting ZIP archives into folders: entries, folders, refused names, cancelling,
// progress, and the packed archiver run from the temporary folder.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/main_window.h"
#include "buildtools/packer/resource_packer.h"
#include "core/ids.h"
#include "core/state.h"
#include "platform/clock.h"
#include "resources/packed_resources.h"
#include "resources/temp_folder.h"
#include "resources/tool_run.h"
#include "resources/unpack_archive.h"
#include "resources/zip_entry_path.h"
#include "tests/loop_disk.h"
#include "tests/test_support.h"
#include "tests/zip_fixture.h"

namespace fs = std::filesystem;

namespace {

// Raises CancelFlag when a status line holding the trigger is drawn.
class CancellingToolkit : public ui::ConsoleToolkit {
public:
    CancellingToolkit(FILE* out, std::string trigger)
        : ConsoleToolkit(ui::ConsoleOptions{false, out, nullptr}), trigger_(std::move(trigger)) {}
    void PaintStatus(int id, const ui::StatusPaint& paint) override {
        ConsoleToolkit::PaintStatus(id, paint);
        if (paint.text.find(trigger_) != std::string::npos) core::CancelFlag = 1;
    }

private:
    std::string trigger_;
};

class UnpackArchiveTest : public test::AppTest {
protected:
    UnpackArchiveTest() {
        app::BuildMainWindow();
        if (const char* previous = std::getenv("TMPDIR")) savedTmp_ = previous;
        fs::create_directories(scratch.path() / "tmp");
        setenv("TMPDIR", (scratch.path() / "tmp").c_str(), 1);
    }
    ~UnpackArchiveTest() override {
        if (savedTmp_)
            setenv("TMPDIR", savedTmp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
        if (!cancelOut_) return;
        ui::SetToolkit(nullptr);  // it writes to cancelOut_
        std::fclose(cancelOut_);
    }

    // A data set archive with folders (one empty), nested files and names that must
    // never be written.
    std::string DataSet() {
        std::string path = scratch.file("CloverISO-3577.zip");
        EXPECT_TRUE(test::WriteZip(path, {{"boot", "boot file"},
                                          {"EFI/", "", true},
                                          {"EFI/CLOVER/config.plist", "<plist/>"},
                                          {"EFI/CLOVER/ACPI/patched/", "", true},
                                          {"EFI/BOOT/BOOTX64.efi", std::string(100000, 'e')},
                                          {"../evil", "escaped"},
                                          {"EFI/../../evil2", "escaped"},
                                          {"/absolute", "escaped"},
                                          {"C:/drive", "escaped"},
                                          {"EFI\\..\\..\\evil3", "escaped"}}));
        return path;
    }
    std::string Destination() const { return (scratch.path() / "volume").string(); }
    std::vector<std::string> Statuses() { return statusToolkit().StatusLines(); }

    ui::ConsoleToolkit& statusToolkit() { return cancelling_ ? *cancelling_ : toolkit(); }
    void CancelWhenShown(const std::string& trigger) {
        cancelOut_ = std::tmpfile();
        auto toolkit = std::make_unique<CancellingToolkit>(cancelOut_, trigger);
        cancelling_ = toolkit.get();
        ui::SetToolkit(std::move(toolkit));
        app::BuildMainWindow();
    }

private:
    std::optional<std::string> savedTmp_;
    FILE* cancelOut_ = nullptr;
    CancellingToolkit* cancelling_ = nullptr;
};

TEST_F(UnpackArchiveTest, ExtractsFilesAndFoldersAndRefusesEscapes) {
    fs::create_directories(Destination());
    std::string archive = DataSet();
    EXPECT_TRUE(resources::UnpackArchive({}, Destination(), false, archive, false, false));
    fs::path root = Destination();
    EXPECT_EQ(test::ReadFile((root / "boot").string()), "boot file");
    EXPECT_EQ(test::ReadFile((root / "EFI/CLOVER/config.plist").string()), "<plist/>");
    EXPECT_EQ(fs::file_size(root / "EFI/BOOT/BOOTX64.efi"), 100000u);
    EXPECT_TRUE(fs::is_directory(root / "EFI/CLOVER/ACPI/patched"));
    EXPECT_TRUE(fs::is_empty(root / "EFI/CLOVER/ACPI/patched"));
    for (const char* escaped : {"evil", "evil2", "evil3", "absolute", "drive"})
        EXPECT_FALSE(fs::exists(scratch.path() / escaped)) << escaped;
    EXPECT_FALSE(fs::exists("/absolute"));
    size_t entries = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it)
        ++entries;
    EXPECT_EQ(entries, 8u);  // boot, EFI, CLOVER, config.plist, ACPI, patched, BOOT, BOOTX64.efi
    EXPECT_TRUE(fs::exists(archive));  // kept when not asked to delete
}

// Names are also checked where they reach the system as C strings: a NUL would cut
// "..\0x" down to "..". Windows opens a device for CON, NUL, COM1 ... whatever extension
// follows, and drops a closing dot or space, so "x." would land on "x".
TEST(ZipEntryPath, KeepsNamesBelowTheDestination) {
    EXPECT_EQ(resources::EntryPath("EFI\\CLOVER/./config.plist"), "EFI/CLOVER/config.plist");
    EXPECT_EQ(resources::EntryPath("EFI//BOOT/"), "EFI/BOOT");
    for (const char* name : {"CONSOLE", "COM10", "LPT", "nul_", "con-1.txt", "a.b", ".hidden"})
        EXPECT_EQ(resources::EntryPath(std::string("EFI/") + name), std::string("EFI/") + name);
    for (const std::string& name : std::vector<std::string>{"..",
                                                            "a/../..",
                                                            "/etc",
                                                            "\\x",
                                                            "C:x",
                                                            "./",
                                                            std::string("..\0x", 4),
                                                            std::string("a/.\0/b", 6),
                                                            "CON",
                                                            "con.txt",
                                                            "EFI/aux",
                                                            "a/NUL.tar.gz",
                                                            "COM1",
                                                            "lpt9.log",
                                                            "Com0",
                                                            "COM\xC2\xB9",
                                                            "CON .txt",
                                                            "conin$",
                                                            "PRN/x",
                                                            "x.",
                                                            "dir./f",
                                                            "y ",
                                                            "EFI/BOOT /f",
                                                            "a..."})
        EXPECT_EQ(resources::EntryPath(name), std::nullopt) << name;
    EXPECT_TRUE(resources::IsPortableFileName("RecoveryHDUpdate.pkg"));
    for (const char* name : {"", ".", "..", "CON", "Update.pkg.", "a:b.pkg", "a/b", "a\\b"})
        EXPECT_FALSE(resources::IsPortableFileName(name)) << name;
}

TEST_F(UnpackArchiveTest, ProgressNamesTheDestinationWithItsSeparator) {
    std::string archive = scratch.file("three.zip");
    ASSERT_TRUE(test::WriteZip(archive, {{"a", "1"}, {"b", "2"}, {"c/d", "3"}}));
    uint64_t before = platform::SystemClock().TickMs();
    EXPECT_TRUE(resources::UnpackArchive({}, Destination(), false, archive, true, true));
    EXPECT_GE(platform::SystemClock().TickMs() - before, 1000u);  // the settling wait
    std::string shown = Destination() + "/";
    EXPECT_EQ(Statuses(),
              (std::vector<std::string>{"", "Extracted (1/3) files to " + shown + " [33%]",
                                        "Extracted (2/3) files to " + shown + " [67%]",
                                        "Extracted (3/3) files to " + shown + " [100%]", ""}));
    EXPECT_TRUE(fs::exists(Destination() + "/c/d"));
    EXPECT_FALSE(fs::exists(archive));  // deleted as asked
}

TEST_F(UnpackArchiveTest, CancelBeforeExtractsNothing) {
    std::string archive = DataSet();
    core::CancelFlag = 1;
    EXPECT_FALSE(resources::UnpackArchive({}, Destination(), false, archive, true, false));
    EXPECT_FALSE(fs::exists(Destination()));
    EXPECT_FALSE(resources::UnpackArchive(resources::CloverScriptPack, Destination(), true, "",
                                          false, true));
    EXPECT_TRUE(core::TempFolder.empty());  // the resource was not even decoded
}

TEST_F(UnpackArchiveTest, CancelDuringStopsAfterTheCurrentEntry) {
    std::string archive = scratch.file("three.zip");
    ASSERT_TRUE(test::WriteZip(archive, {{"a", "1"}, {"b", "2"}, {"c", "3"}}));
    CancelWhenShown("(1/3)");
    EXPECT_FALSE(resources::UnpackArchive({}, Destination(), false, archive, true, false));
    EXPECT_TRUE(fs::exists(Destination() + "/a"));
    EXPECT_FALSE(fs::exists(Destination() + "/b"));
    EXPECT_FALSE(fs::exists(Destination() + "/c"));
}

// A volume that takes no more: a full one and a read-only one (small tmpfs mounts of our
// own) fail the extraction instead of reporting the data set installed.
TEST_F(UnpackArchiveTest, FullAndReadOnlyVolumesFail) {
    REQUIRE_ROOT("mounts");
    std::string archive = DataSet();  // holds a 100,000-byte file
    for (unsigned long flags : {0ul, static_cast<unsigned long>(MS_RDONLY)}) {
        SCOPED_TRACE(flags ? "read-only" : "full");
        fs::create_directories(Destination());
        ASSERT_EQ(mount("tmpfs", Destination().c_str(), "tmpfs", flags, "size=16k"), 0);
        EXPECT_FALSE(resources::UnpackArchive({}, Destination(), false, archive, false, false));
        EXPECT_FALSE(fs::exists(Destination() + "/EFI/BOOT/BOOTX64.efi"));
        EXPECT_EQ(umount2(Destination().c_str(), MNT_DETACH), 0);
        fs::remove_all(Destination());
    }
}

TEST_F(UnpackArchiveTest, UnusableArchivesFail) {
    EXPECT_FALSE(
        resources::UnpackArchive({}, Destination(), false, scratch.file("none.zip"), false, true));
    test::WriteFile(scratch.file("not.zip"), "not a zip archive");
    EXPECT_FALSE(
        resources::UnpackArchive({}, Destination(), false, scratch.file("not.zip"), true, true));
    EXPECT_FALSE(fs::exists(scratch.file("not.zip")));  // deleted all the same
    EXPECT_FALSE(resources::UnpackArchive({}, "", false, DataSet(), false, false));
    EXPECT_FALSE(resources::UnpackArchive({}, Destination(), true, DataSet(), false, true));
    EXPECT_TRUE(fs::exists(scratch.file("CloverISO-3577.zip")));  // ignored with fromResource
}

// The archiver unpacked from the program and run from the temporary folder: its TEMP
// file is gone, it kept its execute right, and it works.
TEST_F(UnpackArchiveTest, PackedArchiverRunsFromTheTempFolder) {
    ASSERT_TRUE(resources::CreateTempFolder());
    ASSERT_TRUE(
        resources::UnpackArchive(resources::SevenZipPack, core::TempFolder, true, "", false, true));
    ASSERT_TRUE(resources::UnpackArchive(resources::CloverScriptPack, core::TempFolder, true, "",
                                         false, true));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(core::TempFolder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"7zz", "unpack_clover_iso.sh"}));
    struct stat st {};
    ASSERT_EQ(stat((core::TempFolder + "7zz").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);

    std::string archive = scratch.file("made by 7zz.zip");
    test::WriteFile(scratch.file("input.txt"), "archived");
    EXPECT_EQ(resources::RunUnpackedTool(core::TempFolder + resources::ArchiverFileName,
                                         {"a", "-tzip", archive, "input.txt"},
                                         scratch.path().string(), true),
              0);
    EXPECT_TRUE(resources::UnpackArchive({}, Destination(), false, archive, false, false));
    EXPECT_EQ(test::ReadFile(Destination() + "/input.txt"), "archived");
}

TEST_F(UnpackArchiveTest, CreatePathMakesEveryMissingParent) {
    std::string deep = scratch.file("one/two//three/");
    resources::CreatePath(deep);
    EXPECT_TRUE(fs::is_directory(scratch.path() / "one/two/three"));
    resources::CreatePath(deep);  // already there
    resources::CreatePath("");
    test::WriteFile(scratch.file("file"), "");
    resources::CreatePath(scratch.file("file/below"));  // a file in the way: nothing happens
    EXPECT_FALSE(fs::exists(scratch.path() / "file/below"));
}

}  // namespace
