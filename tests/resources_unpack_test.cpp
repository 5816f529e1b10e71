// The temporary folder, TEMP file names and the decoding of a packed resource into a
// TEMP file.
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>

#include "app/startup.h"
#include "buildtools/packer/resource_packer.h"
#include "core/state.h"
#include "platform/files.h"
#include "resources/resource_format.h"
#include "resources/resource_unpack.h"
#include "resources/temp_folder.h"
#include "tests/loop_disk.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

const char kCrcBox[] = "[Error] Error UnpackInternalMemoryToTempFile: CRC32 Error";
const char kWriteBox[] = "[Error] Error UnpackInternalMemoryToTempFile: WriteData Error";

// TMPDIR points at a scratch folder, so the SFKTemp folders of other runs stay alone.
class TempFolderTest : public test::AppTest {
protected:
    TempFolderTest() {
        if (const char* previous = std::getenv("TMPDIR")) saved_ = previous;
        fs::create_directories(temporary());
        setenv("TMPDIR", temporary().c_str(), 1);
    }
    ~TempFolderTest() override {
        resources::RemoveTempFolder();
        if (saved_)
            setenv("TMPDIR", saved_->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    fs::path temporary() const { return scratch.path() / "tmp"; }
    // The user's own folder in it, which holds the SFKTemp folders.
    fs::path base() const { return temporary() / ("stickforge-" + std::to_string(geteuid())); }

    std::vector<std::string> SfkFolders() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(base()))
            if (entry.path().filename().string().starts_with("SFKTemp"))
                names.push_back(entry.path().filename().string());
        return names;
    }

    Bytes Zip() const {
        return buildtools::StoredZip({{"7z.exe", Bytes(5000, 'x'), 1451606400, false},
                                      {"7z.dll", Bytes(20000, 'y'), 1451606400, false}});
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(TempFolderTest, CreatesOneHiddenNumberedFolderEachTime) {
    ASSERT_TRUE(resources::CreateTempFolder());
    std::string first = core::TempFolder;
    EXPECT_TRUE(std::regex_match(first, std::regex(base().string() + "/SFKTemp[1-9][0-9]{3}/")))
        << first;
    EXPECT_EQ(fs::status(base()).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(fs::is_directory(first));
    test::WriteFile(first + "file", "x");

    ASSERT_TRUE(resources::CreateTempFolder());
    EXPECT_EQ(SfkFolders().size(), 1u);
    EXPECT_TRUE(fs::is_directory(core::TempFolder));
    EXPECT_TRUE(core::TempFolder == first || !fs::exists(first));
}

// Links named like leftovers, or inside one, are removed without being followed or having
// rights added through them; a folder that keeps its entries from its owner goes too.
TEST_F(TempFolderTest, ClearsLeftoversButNothingElse) {
    fs::create_directories(base() / "SFKTemp1234" / "deep");
    fs::permissions(base(), fs::perms::owner_all);
    test::WriteFile((base() / "SFKTemp1234" / "deep" / "f").string(), "x");
    fs::permissions(base() / "SFKTemp1234" / "deep", fs::perms::owner_exec);
    fs::create_directories(base() / "sfktemp9");             // the comparison is case-sensitive
    test::WriteFile((base() / "SFKTempFile").string(), "");  // a file, not a folder
    fs::create_directories(scratch.path() / "outside");
    test::WriteFile((scratch.path() / "outside" / "keep").string(), "precious");
    fs::permissions(scratch.path() / "outside" / "keep", fs::perms::owner_read);
    fs::create_directory_symlink(scratch.path() / "outside", base() / "SFKTemp5555");
    fs::create_directory_symlink(scratch.path() / "outside", base() / "SFKTemp1234" / "link");

    ASSERT_TRUE(resources::CreateTempFolder());
    EXPECT_FALSE(fs::exists(base() / "SFKTemp1234"));
    EXPECT_TRUE(fs::exists(base() / "sfktemp9"));
    EXPECT_TRUE(fs::exists(base() / "SFKTempFile"));
    EXPECT_EQ(test::ReadFile((scratch.path() / "outside" / "keep").string()), "precious");

    // The exit's removal is the same one.
    fs::create_directory_symlink(scratch.path() / "outside", core::TempFolder + "link");
    fs::create_symlink(scratch.path() / "outside" / "keep", core::TempFolder + "file link");
    std::string folder = core::TempFolder;
    app::ExitSequence();
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(fs::status(scratch.path() / "outside" / "keep").permissions(), fs::perms::owner_read);
    EXPECT_EQ(test::ReadFile((scratch.path() / "outside" / "keep").string()), "precious");
}

// A temporary path that is missing, that others may change, or whose own folder is a
// link, is passed over for the next place (only asked for here: the next place is shared
// with other runs).
TEST_F(TempFolderTest, PassesOverTemporaryPathsThatAreNotPrivate) {
    fs::create_directories(scratch.path() / "outside");
    fs::create_directory_symlink(scratch.path() / "outside", base());
    fs::path open = scratch.path() / "open";
    fs::create_directories(open);
    fs::permissions(open, fs::perms::all);
    for (const fs::path& given : {temporary(), open, scratch.path() / "missing"}) {
        SCOPED_TRACE(given);
        setenv("TMPDIR", given.c_str(), 1);
        std::string path = platform::TemporaryPath();
        EXPECT_FALSE(path.empty() || path.starts_with(given.string())) << path;
    }
    EXPECT_TRUE(fs::is_empty(scratch.path() / "outside"));
    EXPECT_TRUE(fs::is_empty(open));
}

// As root, against what another user planted in a shared temporary path like /tmp: a
// folder of theirs named like a leftover, a link or a folder of theirs in place of root's
// own folder.
TEST_F(TempFolderTest, RootLeavesWhatOtherUsersPlantedAlone) {
    REQUIRE_ROOT("acting for another user");
    constexpr uid_t kNobody = 65534;
    fs::permissions(temporary(), fs::perms::all | fs::perms::sticky_bit);
    fs::create_directories(temporary() / "SFKTemp1234");
    test::WriteFile((temporary() / "SFKTemp1234" / "theirs").string(), "theirs");
    for (const char* planted : {"SFKTemp1234", "SFKTemp1234/theirs"})
        ASSERT_EQ(lchown((temporary() / planted).c_str(), kNobody, kNobody), 0);
    ASSERT_TRUE(resources::CreateTempFolder());
    EXPECT_TRUE(core::TempFolder.starts_with(base().string())) << core::TempFolder;
    // Even in root's own folder, the sweep takes only root's folders.
    fs::create_directories(base() / "SFKTemp4321");
    ASSERT_EQ(chown((base() / "SFKTemp4321").c_str(), kNobody, kNobody), 0);
    ASSERT_TRUE(resources::CreateTempFolder());
    EXPECT_EQ(test::ReadFile((temporary() / "SFKTemp1234" / "theirs").string()), "theirs");
    EXPECT_TRUE(fs::exists(base() / "SFKTemp4321"));
    resources::RemoveTempFolder();

    fs::path victim = scratch.path() / "victim";
    fs::create_directories(victim);
    for (bool link : {true, false}) {
        SCOPED_TRACE(link ? "a link in place of root's folder" : "a folder of theirs");
        fs::remove_all(base());
        if (link)
            fs::create_directory_symlink(victim, base());
        else
            fs::create_directories(base());
        ASSERT_EQ(lchown(base().c_str(), kNobody, kNobody), 0);
        std::string path = platform::TemporaryPath();
        EXPECT_FALSE(path.empty() || path.starts_with(temporary().string())) << path;
        EXPECT_TRUE(fs::is_empty(victim));
    }
}

// No folder can be made in the private place (a file system out of inodes: room for its
// root and the user's folder only): a bounded number of tries, then a status line that
// says where.
TEST_F(TempFolderTest, GivesUpAfterABoundedNumberOfTries) {
    REQUIRE_ROOT("mounts");
    ASSERT_EQ(mount("tmpfs", temporary().c_str(), "tmpfs", 0, "size=64k,nr_inodes=2,mode=0755"), 0);
    EXPECT_FALSE(resources::CreateTempFolder());
    EXPECT_NE(output().find("No new SFKTemp folder can be made in " + base().string()),
              std::string::npos)
        << output();
    EXPECT_EQ(umount2(temporary().c_str(), MNT_DETACH), 0);
}

TEST_F(TempFolderTest, NewTempFileNameClearsTempFilesOnly) {
    std::string folder = scratch.file("work");
    fs::create_directories(folder + "/TEMPdir");
    test::WriteFile(folder + "/TEMP1111", "old");
    test::WriteFile(folder + "/TEMP", "old");
    test::WriteFile(folder + "/temp2222", "other");
    fs::permissions(folder + "/TEMP1111", fs::perms::owner_read);

    std::string name = resources::NewTempFileName(folder);  // no closing separator given
    EXPECT_TRUE(std::regex_match(name, std::regex(folder + "/TEMP[1-9][0-9]{3}"))) << name;
    EXPECT_FALSE(fs::exists(name));
    EXPECT_FALSE(fs::exists(folder + "/TEMP1111"));
    EXPECT_FALSE(fs::exists(folder + "/TEMP"));
    EXPECT_TRUE(fs::exists(folder + "/TEMPdir"));
    EXPECT_TRUE(fs::exists(folder + "/temp2222"));
    EXPECT_EQ(resources::NewTempFileName(""), "");
}

TEST_F(TempFolderTest, UnpacksIntoATempFileMadeOnDemand) {
    Bytes zip = Zip();
    Bytes resource = buildtools::PackResource(zip);
    ASSERT_TRUE(core::TempFolder.empty());
    std::string path = resources::UnpackInternalMemoryToTempFile(resource);
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(path.starts_with(core::TempFolder + "TEMP")) << path;
    EXPECT_EQ(test::ReadFile(path), std::string(zip.begin(), zip.end()));
    EXPECT_EQ(output(), "");
}

TEST_F(TempFolderTest, DamageShowsTheCrcBoxAndLeavesNoFile) {
    Bytes resource = buildtools::PackResource(Zip());
    ASSERT_TRUE(resources::CreateTempFolder());
    Bytes badCrc = resource;
    badCrc[8] ^= 0x01;
    EXPECT_EQ(resources::UnpackInternalMemoryToTempFile(badCrc), "");
    EXPECT_NE(output().find(kCrcBox), std::string::npos) << output();
    EXPECT_TRUE(fs::is_empty(core::TempFolder));

    // Damage inside the stream: the decoder either stops short (silent) or produces
    // wrong bytes (the box); a file is never left.
    Bytes badStream = resource;
    badStream[badStream.size() / 2] ^= 0x40;
    EXPECT_EQ(resources::UnpackInternalMemoryToTempFile(badStream), "");
    EXPECT_TRUE(fs::is_empty(core::TempFolder));
}

TEST_F(TempFolderTest, ShortOrMislabelledStreamsFailSilently) {
    Bytes resource = buildtools::PackResource(Zip());
    ASSERT_TRUE(resources::CreateTempFolder());
    Bytes truncated(resource.begin(), resource.begin() + long(resource.size() / 2));
    EXPECT_EQ(resources::UnpackInternalMemoryToTempFile(truncated), "");
    Bytes larger = resource;
    larger[0] += 1;  // one byte more than the stream holds
    EXPECT_EQ(resources::UnpackInternalMemoryToTempFile(larger), "");
    Bytes zeroSize = resource;
    std::fill(zeroSize.begin(), zeroSize.begin() + 4, 0);
    EXPECT_EQ(resources::UnpackInternalMemoryToTempFile(zeroSize), "");
    EXPECT_EQ(resources::UnpackInternalMemoryToTempFile({}), "");
    EXPECT_EQ(resources::UnpackInternalMemoryToTempFile(std::span(resource).first(11)), "");
    EXPECT_EQ(output(), "");
    EXPECT_TRUE(fs::is_empty(core::TempFolder));
}

// The most compressible contents stay within the bound the size claim is checked
// against, and a claim past it is refused before its buffer is taken.
TEST_F(TempFolderTest, SizeClaimsAreBoundByTheStream) {
    Bytes zeros(16 << 20, 0);
    Bytes resource = buildtools::PackResource(zeros);
    size_t stream = resource.size() - resources::kResourceHeaderBytes;
    EXPECT_LE(zeros.size(), resources::MostUnpackedBytes(stream));
    std::string path = resources::UnpackInternalMemoryToTempFile(resource);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(fs::file_size(path), zeros.size());
    fs::remove(path);

    Bytes claim = buildtools::PackResource(Zip());
    std::fill(claim.begin(), claim.begin() + 4, 0xFF);
    EXPECT_EQ(resources::UnpackInternalMemoryToTempFile(claim), "");
    EXPECT_EQ(output(), "");
    EXPECT_TRUE(fs::is_empty(core::TempFolder));
}

// A file size limit below the archive's size makes the write come up short.
TEST_F(TempFolderTest, ShortWriteShowsTheWriteBoxAndRemovesThePart) {
    Bytes resource = buildtools::PackResource(Zip());
    ASSERT_TRUE(resources::CreateTempFolder());
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string path = resources::UnpackInternalMemoryToTempFile(resource);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(path, "");
    EXPECT_NE(output().find(kWriteBox), std::string::npos) << output();
    EXPECT_TRUE(fs::is_empty(core::TempFolder));
}

}  // namespace
