// Running outside programs and scripts: exit codes, working folder, arguments.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/process.h"
#include "tests/test_support.h"

namespace {

// A script without the execute right: scripts run through /bin/sh all the same.
std::string Script(const test::ScratchFolder& scratch, const std::string& body) {
    std::string path = scratch.file("tool.sh");
    test::WriteFile(path, body);
    chmod(path.c_str(), 0644);
    return path;
}

TEST(RunTool, ReturnsTheExitCode) {
    test::ScratchFolder scratch;
    EXPECT_EQ(platform::RunTool(Script(scratch, "exit 3\n"), {}, "", true), 3);
    EXPECT_EQ(platform::RunTool("/bin/true", {}, "", true), 0);
    EXPECT_EQ(platform::RunTool("/bin/false", {}, "", true), 1);
    EXPECT_EQ(platform::RunTool(Script(scratch, "kill -9 $$\n"), {}, "", true), -1);
}

TEST(RunTool, ProgramsThatCannotStartGiveMinusOne) {
    test::ScratchFolder scratch;
    EXPECT_EQ(platform::RunTool(scratch.file("missing"), {}, "", true), -1);
    EXPECT_EQ(platform::RunTool("", {}, "", true), -1);
    test::WriteFile(scratch.file("plain"), "not a program");
    EXPECT_EQ(platform::RunTool(scratch.file("plain"), {}, "", true), -1);
}

TEST(RunTool, RunsInTheWorkingFolderWithTheArgumentsAsGiven) {
    test::ScratchFolder scratch;
    std::string work = scratch.file("work folder");
    std::filesystem::create_directories(work);
    std::string script = Script(scratch,
                                "pwd > seen\n"
                                "echo $# >> seen\n"
                                "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> seen; done\n");
    EXPECT_EQ(platform::RunTool(script, {"a b", "", "quo\"te", "$HOME", "-o/x y/"}, work, true), 0);
    EXPECT_EQ(test::ReadFile(work + "/seen"),
              work + "\n5\n[a b]\n[]\n[quo\"te]\n[$HOME]\n[-o/x y/]\n");
}

}  // namespace
