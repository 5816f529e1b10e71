#include "tests/test_support.h"

#include <fstream>
#include <random>
#include <sstream>

#include "app/workers.h"
#include "core/progress.h"
#include "core/state.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "tests/instant_clock.h"

namespace test {

ScratchFolder::ScratchFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("stickforge-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

AppTest::AppTest() {
    out_ = std::tmpfile();
    auto toolkit = std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{false, out_, nullptr});
    toolkit_ = toolkit.get();
    ui::SetToolkit(std::move(toolkit));
    platform::SetClock(std::make_unique<InstantClock>());
    platform::SetRegistryStoreFile(scratch.file("registry"));
    core::InitialiseGlobals();
    core::KeepReadingPauses(true);
    core::SetProgramLocation(scratch.file("stickforge"));
}

AppTest::~AppTest() {
    app::SetWorkerLauncher(nullptr);
    ui::SetToolkit(nullptr);
    platform::SetClock(nullptr);
    if (out_) std::fclose(out_);
}

std::string AppTest::output() {
    std::fflush(out_);
    std::rewind(out_);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, out_)) > 0) text.append(buffer, n);
    std::fseek(out_, 0, SEEK_END);
    return text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace test
