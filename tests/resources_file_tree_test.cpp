// Writing file trees: plain folders, and FAT volumes through mtools on loop devices
// (root; skipped otherwise).
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/state.h"
#include "platform/disks.h"
#include "platform/file_tree.h"
#include "platform/linux/child_process.h"
#include "platform/linux/mtools_tree.h"
#include "platform/linux/program_volumes.h"
#include "resources/unpack_archive.h"
#include "tests/loop_disk.h"
#include "tests/test_support.h"
#include "tests/zip_fixture.h"

namespace fs = std::filesystem;

namespace {

using platform::linuxos::ChildOptions;
using platform::linuxos::ChildOutput;
using platform::linuxos::ChildProcess;

platform::ByteSource From(const std::string& text) {
    auto offset = std::make_shared<size_t>(0);
    return [text, offset](uint8_t* buffer, size_t capacity) {
        size_t count = std::min(capacity, text.size() - *offset);
        std::copy_n(text.data() + *offset, count, buffer);
        *offset += count;
        return int64_t(count);
    };
}

platform::ByteSource Failing() {
    return [](uint8_t*, size_t) { return int64_t(-1); };
}

TEST(FolderTree, MakesFoldersAndFilesBelowItsFolder) {
    test::ScratchFolder scratch;
    std::string root = scratch.file("dest/ination/");  // made with its parents
    auto tree = platform::OpenFileTree(root);
    EXPECT_FALSE(tree->Exists("a"));
    EXPECT_TRUE(tree->CreateFolder("a/b/c"));
    EXPECT_TRUE(tree->CreateFolder("a/b/c"));
    EXPECT_TRUE(tree->WriteFile("a/b/file", From("first"), false));
    EXPECT_TRUE(tree->WriteFile("a/b/file", From("again"), false));
    EXPECT_TRUE(tree->WriteFile("tool", From("#!/bin/sh\n"), true));
    EXPECT_TRUE(tree->Finish());
    EXPECT_TRUE(fs::is_directory(root + "a/b/c"));
    EXPECT_EQ(test::ReadFile(root + "a/b/file"), "again");
    struct stat st {};
    ASSERT_EQ(stat((root + "tool").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    ASSERT_EQ(stat((root + "a/b/file").c_str(), &st), 0);
    EXPECT_FALSE(st.st_mode & S_IXUSR);
    EXPECT_TRUE(tree->Exists("a/b"));
    EXPECT_FALSE(tree->SetHidden("a"));  // no such attribute on this file system
}

TEST(FolderTree, FailedFilesGoAndLinksAreNotFollowed) {
    test::ScratchFolder scratch;
    std::string root = scratch.file("dest");
    auto tree = platform::OpenFileTree(root);
    ASSERT_TRUE(tree->CreateFolder(""));
    EXPECT_FALSE(tree->WriteFile("broken", Failing(), false));
    EXPECT_FALSE(fs::exists(root + "/broken"));
    EXPECT_FALSE(tree->WriteFile("missing/folder/file", From("x"), false));

    fs::create_directories(scratch.path() / "outside");
    fs::create_directory_symlink(scratch.path() / "outside", root + "/link");
    fs::create_symlink(scratch.path() / "outside" / "target", root + "/filelink");
    EXPECT_FALSE(tree->CreateFolder("link/below"));
    EXPECT_FALSE(tree->WriteFile("filelink", From("x"), false));
    EXPECT_TRUE(fs::is_empty(scratch.path() / "outside"));
}

// What mtools says about the volume: a command's output without its warnings, "" when
// it failed.
std::string Mtools(const std::vector<std::string>& argv) {
    std::vector<std::string> quiet{"sh", "-c", "\"$@\" 2>/dev/null", "sh"};
    quiet.insert(quiet.end(), argv.begin(), argv.end());
    ChildProcess child(quiet,
                       ChildOptions{ChildOutput::Capture, "", true, {"MTOOLS_SKIP_CHECK=1"}});
    std::string output, piece;
    while (child.Poll(1000, piece)) output += std::exchange(piece, {});
    output += piece;
    return child.exitCode() == 0 ? output : "";
}

int RunQuietly(const std::vector<std::string>& argv) {
    return platform::linuxos::RunProgram(argv, ChildOptions{ChildOutput::Discard, "", true, {}});
}

// A sparse image attached as a loop device; FAT32 on the whole device, or on partition 1
// of an MBR.
class LoopVolume {
public:
    LoopVolume(const test::ScratchFolder& scratch, bool partitioned)
        : disk_(scratch.file("disk.img"), int64_t(256) << 20) {
        if (!disk_.attached() || (partitioned && !disk_.WriteTable("start=2048, type=c\n"))) return;
        node_ = partitioned ? disk_.Partition(1) : disk_.device();
        if (RunQuietly({"mkfs.fat", "-F", "32", node_}) != 0) node_.clear();
    }
    const std::string& device() const { return disk_.device(); }
    const std::string& node() const { return node_; }  // "" when it could not be made

private:
    test::LoopDisk disk_;
    std::string node_;
};

class MtoolsTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_ROOT("loop devices");
        for (const char* tool : {"mkfs.fat", "mcopy", "fsck.fat", "sfdisk"})
            if (platform::linuxos::FindProgram(tool).empty())
                GTEST_SKIP() << tool << " is not installed";
    }
    test::ScratchFolder scratch;
};

TEST_F(MtoolsTreeTest, WritesBatchesFoldersAndHiddenEntries) {
    LoopVolume volume(scratch, false);
    ASSERT_FALSE(volume.node().empty());
    const std::string& node = volume.node();
    auto tree = platform::linuxos::OpenMtoolsTree(node, "");
    EXPECT_FALSE(tree->Exists(".fseventsd"));
    // More entries and bytes than one batch holds, so copies overlap the staging.
    // The folders go over with the first batch; later files still find theirs.
    EXPECT_TRUE(tree->CreateFolder("EFI/CLOVER/ACPI/patched"));
    for (int i = 0; i < 9; ++i) EXPECT_TRUE(tree->CreateFolder("EFI/data/" + std::to_string(i)));
    for (int i = 0; i < 900; ++i) {
        std::string name = "EFI/data/" + std::to_string(i / 100) + "/File " + std::to_string(i);
        EXPECT_TRUE(tree->WriteFile(name, From("content " + std::to_string(i)), false));
    }
    EXPECT_TRUE(tree->WriteFile("big.bin", From(std::string(12 << 20, 'b')), false));
    EXPECT_TRUE(tree->CreateFolder(".fseventsd"));
    EXPECT_TRUE(tree->WriteFile(".fseventsd/no_log", From(""), false));
    EXPECT_TRUE(tree->SetHidden(".fseventsd"));
    EXPECT_TRUE(tree->SetHidden(".fseventsd/no_log"));
    EXPECT_TRUE(tree->Finish());

    EXPECT_EQ(Mtools({"mtype", "-i", node, "::/EFI/data/8/File 899"}), "content 899");
    EXPECT_NE(Mtools({"mdir", "-i", node, "::/EFI/CLOVER/ACPI/patched"}), "");
    EXPECT_NE(Mtools({"mattrib", "-i", node, "::/.fseventsd"}).find(" H "), std::string::npos);
    EXPECT_NE(Mtools({"mattrib", "-i", node, "::/.fseventsd/no_log"}).find(" H "),
              std::string::npos);
    EXPECT_TRUE(tree->Exists(".fseventsd"));
    EXPECT_TRUE(tree->Exists("EFI/data/0/File 1"));
    EXPECT_FALSE(tree->Exists("EFI/data/0/File 100"));

    EXPECT_TRUE(tree->WriteFile("EFI/data/0/File 1", From("replaced"), false));
    EXPECT_TRUE(tree->Finish());
    EXPECT_EQ(Mtools({"mtype", "-i", node, "::/EFI/data/0/File 1"}), "replaced");
    EXPECT_EQ(RunQuietly({"fsck.fat", "-n", node}), 0);
}

TEST_F(MtoolsTreeTest, StartsBelowItsFolderAndReportsFailedCopies) {
    LoopVolume volume(scratch, false);
    ASSERT_FALSE(volume.node().empty());
    auto below = platform::linuxos::OpenMtoolsTree(volume.node(), "/sub/deeper");
    EXPECT_TRUE(below->WriteFile("x", From("below"), false));
    EXPECT_TRUE(below->Finish());
    EXPECT_EQ(Mtools({"mtype", "-i", volume.node(), "::/sub/deeper/x"}), "below");

    auto nowhere = platform::linuxos::OpenMtoolsTree(scratch.file("no-such-node"), "");
    EXPECT_TRUE(nowhere->WriteFile("x", From("lost"), false));  // staged only
    EXPECT_FALSE(nowhere->Finish());
}

// The data set extracted onto partition 1 of a disk the kernel cannot mount FAT from:
// the program volume's folder stands for it, and mtools writes it.
TEST_F(MtoolsTreeTest, UnpackArchiveWritesAnUnmountedProgramVolume) {
    LoopVolume volume(scratch, true);
    ASSERT_FALSE(volume.node().empty());
    std::string disk = fs::path(volume.device()).filename().string();
    std::string letter = platform::linuxos::AssignProgramVolume(disk);
    ASSERT_FALSE(letter.empty());
    auto found = platform::linuxos::VolumeAtLetter(letter);
    ASSERT_TRUE(found);
    if (found->mounted) GTEST_SKIP() << "this kernel mounts FAT itself; no mtools needed";

    std::string archive = scratch.file("CloverISO-3577.zip");
    ASSERT_TRUE(test::WriteZip(archive, {{"boot", "boot file"},
                                         {"EFI/CLOVER/config.plist", "<plist/>"},
                                         {"EFI/CLOVER/kexts/Other/", "", true},
                                         {"../evil", "escaped"}}));
    core::CancelFlag = 0;
    EXPECT_TRUE(resources::UnpackArchive({}, letter, false, archive, false, false));
    EXPECT_EQ(Mtools({"mtype", "-i", volume.node(), "::/boot"}), "boot file");
    EXPECT_EQ(Mtools({"mtype", "-i", volume.node(), "::/EFI/CLOVER/config.plist"}), "<plist/>");
    EXPECT_NE(Mtools({"mdir", "-i", volume.node(), "::/EFI/CLOVER/kexts/Other"}), "");
    EXPECT_EQ(Mtools({"mdir", "-i", volume.node(), "::/evil"}), "");
    EXPECT_TRUE(fs::is_empty(letter));  // nothing landed in the folder itself
    EXPECT_EQ(RunQuietly({"fsck.fat", "-n", volume.node()}), 0);
}

}  // namespace
