// Shared set-up for tests that run the program's code on the headless toolkit.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ui/console/console_toolkit.h"

namespace test {

// A scratch folder removed when the test ends.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Installs a fresh console toolkit (writing to a scratch stream), an instant clock and
// a registry store in a scratch folder; the program's globals start from scratch.
class AppTest : public ::testing::Test {
protected:
    AppTest();
    ~AppTest() override;
    ui::ConsoleToolkit& toolkit() { return *toolkit_; }
    std::string output();  // what the toolkit printed so far
    ScratchFolder scratch;

private:
    FILE* out_ = nullptr;
    ui::ConsoleToolkit* toolkit_ = nullptr;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace test
