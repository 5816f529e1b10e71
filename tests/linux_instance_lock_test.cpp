// Where the single-instance lock lives, and who may touch it (root: the tests change
// owners and run a child as another user).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/instance_lock.h"
#include "platform/linux/instance_lock_folder.h"
#include "tests/loop_disk.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using platform::linuxos::InstanceLockFolder;

constexpr uid_t kUser = 4242;

struct stat Stat(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
}

class InstanceLockPlace : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_ROOT("acting as another user");
        chmod(scratch.path().c_str(), 0755);  // the user must reach the folders below
        // A temporary folder like /tmp: everyone may create, nobody may remove others' files.
        temporary = scratch.file("tmp");
        fs::create_directory(temporary);
        chmod(temporary.c_str(), 01777);
    }

    // A folder of the user with the mode.
    std::string Folder(const std::string& name, uid_t owner, mode_t mode) {
        std::string folder = scratch.file(name);
        fs::create_directory(folder);
        EXPECT_EQ(chown(folder.c_str(), owner, owner), 0);
        EXPECT_EQ(chmod(folder.c_str(), mode), 0);
        return folder;
    }

    // Takes the lock as kUser in a child with that environment; its exit status.
    int AsUser(const char* runtimeFolder, const std::function<bool()>& check = nullptr) {
        pid_t child = fork();
        if (child == 0) {
            if (setgid(kUser) != 0 || setuid(kUser) != 0) _exit(2);
            setenv("TMPDIR", temporary.c_str(), 1);
            if (runtimeFolder)
                setenv("XDG_RUNTIME_DIR", runtimeFolder, 1);
            else
                unsetenv("XDG_RUNTIME_DIR");
            bool running = false;
            auto lock = platform::AcquireInstanceLock("stickforge-lock-test", running);
            _exit(running ? 3 : check && !check() ? 4 : 0);
        }
        int status = -1;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    test::ScratchFolder scratch;
    std::string temporary;
};

TEST_F(InstanceLockPlace, RootUsesRunAndUsersTheirOwnRuntimeFolder) {
    std::string runtime = Folder("runtime", kUser, 0700);
    EXPECT_EQ(InstanceLockFolder(0, runtime.c_str(), temporary), "/run");
    EXPECT_EQ(InstanceLockFolder(kUser, runtime.c_str(), temporary), runtime);

    // Without a runtime folder, or with one that is not theirs alone: a folder of their own.
    std::string own = temporary + "/stickforge-" + std::to_string(kUser);
    std::string shared = Folder("shared", kUser, 0777);
    std::string foreign = Folder("foreign", kUser + 1, 0700);
    for (const char* given :
         {static_cast<const char*>(nullptr), "", "relative", shared.c_str(), foreign.c_str()}) {
        SCOPED_TRACE(given ? given : "(unset)");
        fs::remove(own);
        // Made by root here, so not the user's: refused, as a folder someone else made.
        EXPECT_EQ(InstanceLockFolder(kUser, given, temporary), "");
        ASSERT_EQ(chown(own.c_str(), kUser, kUser), 0);
        EXPECT_EQ(InstanceLockFolder(kUser, given, temporary), own);
    }
}

TEST_F(InstanceLockPlace, WithoutRuntimeFolderTheLockIsPrivateToTheUser) {
    std::string own = temporary + "/stickforge-" + std::to_string(kUser);
    std::string lock = own + "/stickforge-lock-test.lock";
    ASSERT_EQ(AsUser(nullptr), 0);
    struct stat folder = Stat(own), file = Stat(lock);
    EXPECT_TRUE(S_ISDIR(folder.st_mode));
    EXPECT_EQ(folder.st_uid, kUser);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(file.st_uid, kUser);
    EXPECT_EQ(file.st_mode & 0777, 0600u);

    // Held by the user: a second start of theirs is refused.
    ASSERT_EQ(AsUser(nullptr,
                     [] {
                         bool running = false;
                         auto second =
                             platform::AcquireInstanceLock("stickforge-lock-test", running);
                         return running;
                     }),
              0);
}

TEST_F(InstanceLockPlace, AFolderPlantedByAnotherUserIsNotUsed) {
    std::string planted = Folder("tmp/stickforge-" + std::to_string(kUser), 0, 0777);
    EXPECT_EQ(AsUser(nullptr), 0);  // starts, without a guard
    EXPECT_TRUE(fs::is_empty(planted));

    std::string runtime = Folder("runtime", kUser, 0700);
    EXPECT_EQ(AsUser(runtime.c_str()), 0);
    EXPECT_EQ(Stat(runtime + "/stickforge-lock-test.lock").st_mode & 0777, 0600u);
}

}  // namespace
