// The Linux stand-in of the registry: keys, typed values and whole-tree deletion.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/registry.h"
#include "tests/test_support.h"

namespace {

constexpr char kKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\AppleHFS";

class RegistryStoreTest : public ::testing::Test {
protected:
    RegistryStoreTest() { platform::SetRegistryStoreFile(scratch.file("state/registry")); }
    test::ScratchFolder scratch;
};

TEST_F(RegistryStoreTest, KeysExistWithoutValuesAndNamesIgnoreCase) {
    EXPECT_FALSE(platform::RegistryKeyExists(kKey));
    ASSERT_TRUE(platform::CreateRegistryKey(kKey));
    EXPECT_TRUE(platform::CreateRegistryKey(kKey));
    EXPECT_TRUE(platform::RegistryKeyExists(
        "hkey_local_machine\\system\\currentcontrolset\\services\\applehfs"));
    EXPECT_TRUE(platform::RegistryKeyExists("HKEY_LOCAL_MACHINE\\SYSTEM"));
    EXPECT_FALSE(platform::RegistryKeyExists(std::string(kKey) + "X"));
}

TEST_F(RegistryStoreTest, TextValuesAreNoNumbers) {
    ASSERT_TRUE(platform::WriteRegistryText(kKey, "Group", "File System"));
    ASSERT_TRUE(platform::WriteRegistryDword(kKey, "Start", 0));
    EXPECT_FALSE(platform::ReadRegistryDword(kKey, "Group"));
    EXPECT_EQ(platform::ReadRegistryDword(kKey, "start"), 0u);
    EXPECT_FALSE(platform::WriteRegistryText(kKey, "Bad", "two\nlines"));
}

TEST_F(RegistryStoreTest, DeletingAKeyTakesItsSubkeysAndOnlyThem) {
    std::string sibling = std::string(kKey) + "Extra";
    ASSERT_TRUE(platform::WriteRegistryDword(std::string(kKey) + "\\Enum", "Count", 1));
    ASSERT_TRUE(platform::WriteRegistryDword(sibling, "Start", 0));
    EXPECT_TRUE(platform::DeleteRegistryKey(kKey));
    EXPECT_FALSE(platform::RegistryKeyExists(kKey));
    EXPECT_FALSE(platform::ReadRegistryDword(std::string(kKey) + "\\Enum", "Count"));
    EXPECT_EQ(platform::ReadRegistryDword(sibling, "Start"), 0u);
    EXPECT_FALSE(platform::DeleteRegistryKey(kKey));
}

TEST_F(RegistryStoreTest, ReadsTheStoreOfEarlierVersions) {
    std::filesystem::create_directories(scratch.path() / "state");
    test::WriteFile(scratch.file("state/registry"),
                    "hkey_local_machine\\software\\policies\\explorer\tnodrivetypeautorun\t145\n");
    EXPECT_EQ(platform::ReadRegistryDword("HKEY_LOCAL_MACHINE\\Software\\Policies\\Explorer",
                                          "NoDriveTypeAutoRun"),
              145u);
}

}  // namespace
