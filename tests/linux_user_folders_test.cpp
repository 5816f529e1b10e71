// Where a copy of the program keeps its files: beside itself when portable, the starting
// user's folders when installed, that user's also under pkexec.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "loop_disk.h"
#include "platform/image_file.h"
#include "platform/output_file.h"
#include "platform/path_parts.h"
#include "platform/paths.h"
#include "resources/hfs_images.h"
#include "test_support.h"

namespace {

// Sets an environment variable for one test, or unsets it, and puts it back.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, hadOld_ = true;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvironmentValue() { hadOld_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

class UserFoldersTest : public ::testing::Test {
protected:
    test::ScratchFolder scratch;
    EnvironmentValue noPkexec{"PKEXEC_UID", nullptr};
    EnvironmentValue home{"HOME", "/home/someone"};
    EnvironmentValue noConfig{"XDG_CONFIG_HOME", nullptr};
    EnvironmentValue noData{"XDG_DATA_HOME", nullptr};
};

TEST_F(UserFoldersTest, PortableAndInstalledCopies) {
    std::string own = scratch.path().string() + "/";
    std::string withSettings = own + "kept/";
    std::filesystem::create_directory(withSettings);
    std::ofstream(withSettings + "stickforge.ini") << "\xEF\xBB\xBF\r\n";

    // A folder the user may write, or one holding the settings file: everything beside it.
    EXPECT_TRUE(platform::InstalledUserFolders(own, "stickforge.ini").config.empty());
    EXPECT_TRUE(platform::InstalledUserFolders(withSettings, "stickforge.ini").config.empty());
    // The system's program folder, even for root who may write it.
    platform::UserFolders installed = platform::InstalledUserFolders("/usr/bin/", "stickforge.ini");
    EXPECT_EQ(installed.config, "/home/someone/.config/stickforge/");
    EXPECT_EQ(installed.data, "/home/someone/.local/share/stickforge/");

    EnvironmentValue config("XDG_CONFIG_HOME", "/xdg/config");
    EnvironmentValue data("XDG_DATA_HOME", "/xdg/data");
    installed = platform::InstalledUserFolders("/usr/bin/", "stickforge.ini");
    EXPECT_EQ(installed.config, "/xdg/config/stickforge/");
    EXPECT_EQ(installed.data, "/xdg/data/stickforge/");
}

// Root running for another user: that user's home, and what is made there is that user's.
TEST_F(UserFoldersTest, UnderPkexecTheFoldersAreTheStartingUsers) {
    REQUIRE_ROOT("acting for another user");
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    EnvironmentValue pkexec("PKEXEC_UID", std::to_string(nobody->pw_uid).c_str());
    EnvironmentValue config("XDG_CONFIG_HOME", "/root/.config");  // root's, not the user's

    platform::UserFolders installed = platform::InstalledUserFolders("/usr/bin/", "stickforge.ini");
    EXPECT_EQ(installed.config, std::string(nobody->pw_dir) + "/.config/stickforge/");
    // Root may write the scratch folder, the user may not: an installed copy there.
    std::string rootOnly = scratch.path().string() + "/";
    chmod(rootOnly.c_str(), 0755);
    EXPECT_FALSE(platform::InstalledUserFolders(rootOnly, "stickforge.ini").config.empty());

    std::string made = rootOnly + "a/b/";
    ASSERT_TRUE(platform::MakeUserFolder(made));
    std::ofstream(made + "file") << "x";
    platform::GiveToStartingUser(made + "file");
    for (const std::string& path : {rootOnly + "a", made, made + "file"}) {
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_uid, nobody->pw_uid) << path;
    }
    struct stat st {};
    ASSERT_EQ(stat(rootOnly.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u) << "a folder that was there stays whose it was";

    // Downloads and backups: the user's in the user's folder, root's in root's.
    auto download = [](const std::string& path) {
        return platform::OutputFile::Create(path).IsOpen();
    };
    auto backup = [](const std::string& path) {
        return platform::CreateSequentialFile(path) != nullptr;
    };
    // What the archiver, run as root, extracts into the folder.
    auto extract = [](const std::string& path) {
        resources::HfsStaging staging(platform::FolderPart(path));
        std::ofstream(platform::JoinPath(staging.Folder(), platform::FileNamePart(path))) << "x";
        return staging.Publish().size() == 1;
    };
    for (auto [folder, owner] : {std::pair{made, nobody->pw_uid}, std::pair{rootOnly, 0u}}) {
        for (auto [name, create] :
             {std::pair{"download", +download}, {"backup", +backup}, {"0.hfs", +extract}}) {
            ASSERT_TRUE(create(folder + name)) << folder << name;
            ASSERT_EQ(stat((folder + name).c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, owner) << folder << name;
        }
    }
}

}  // namespace
