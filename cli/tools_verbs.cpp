#include "cli/tools_verbs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "cli/failure.h"
#include "core/settings.h"
#include "platform/drivers.h"
#include "tools/fixdsdt_mask.h"
#include "tools/hfs_driver.h"

namespace cli {
namespace {

constexpr int kFailed = 1;
int Complain(int status, const std::string& message) {
    std::fprintf(stderr, "stickforge-cli: %s\n", message.c_str());
    return status;
}

void PrintMask(uint32_t mask) {
    std::printf("0x%s\n%s\n", tools::MaskText(mask).c_str(), tools::BinaryText(mask).c_str());
    for (int bit = 0; bit < tools::kMaskBits; ++bit)
        if (mask >> bit & 1) std::printf("%s\n", tools::DsdtFixBits()[bit].boxName);
}

std::optional<uint32_t> Preset(const std::string& word) {
    if (word == "full") return tools::kFullMask;
    if (word == "clear") return tools::kClearMask;
    if (word == "default") return tools::kDefaultMask;
    if (word.rfind("0x", 0) == 0 || word.rfind("0X", 0) == 0) return tools::ParseMask(word);
    return std::nullopt;
}

// Ticks (+) or unticks (-) boxes one after the other, as clicks in the calculator would;
// a box the calculator shows disabled cannot be clicked.
int ClickBoxes(const std::vector<std::string>& words, uint32_t& mask) {
    for (const std::string& word : words) {
        if (word.size() < 2 || (word[0] != '+' && word[0] != '-'))
            return Complain(kUsageError, "expected +NAME or -NAME, got \"" + word + "\"");
        std::string name = word.substr(1);
        std::optional<int> bit = tools::FindFixBit(name);
        if (!bit) return Complain(kUsageError, "no check box is called \"" + name + "\"");
        bool newWay = mask >> tools::kNewWayBit & 1;
        if (tools::IsNewWayDependent(*bit) && !newWay)
            return Complain(kFailed, "\"" + name + "\" is disabled while NewWay is clear");
        uint32_t boxes = word[0] == '+' ? mask | 1u << *bit : mask & ~(1u << *bit);
        mask = tools::MaskAfterClick(boxes, *bit);
    }
    return 0;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file must hold what the program meant to write.
int SaveMask(uint32_t mask) {
    core::FixDsdtMask = tools::MaskText(mask);
    core::SaveSettings();
    if (FileBytes(core::SettingsFilePath()) != core::RenderSettings())
        return Complain(kFailed, "cannot write " + core::SettingsFilePath());
    return 0;
}

}  // namespace

int RunFixDsdt(const std::vector<std::string>& arguments) {
    uint32_t mask = tools::ParseMask(core::FixDsdtMask).value_or(tools::kDefaultMask);
    if (!arguments.empty()) {
        if (arguments.size() == 1 && arguments[0][0] != '+' && arguments[0][0] != '-') {
            std::optional<uint32_t> preset = Preset(arguments[0]);
            if (!preset) return Complain(kUsageError, "unknown mask \"" + arguments[0] + "\"");
            mask = *preset;
        } else if (int status = ClickBoxes(arguments, mask)) {
            return status;
        }
        if (int status = SaveMask(mask)) return status;
    }
    PrintMask(mask);
    return 0;
}

int RunHfsDrivers(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1)
        return Complain(kUsageError, "hfs-drivers needs status, install or remove");
    const std::string& action = arguments[0];
    if (action == "status") {
        const char* state = platform::SystemReadsHfs()  ? "built in"
                            : tools::UpdateDriverMenu() ? "installed"
                                                        : "not installed";
        std::printf("%s\n", state);
        return 0;
    }
    // Nothing installed or removed is no success, also where nothing needs to be.
    if (action == "install") {
        core::Outcome outcome = tools::RunHfsDriverInstall();
        if (outcome == core::Outcome::Cancelled) return Complain(kFailed, "install declined");
        return outcome == core::Outcome::Done ? 0 : kFailed;
    }
    if (action == "remove")
        return tools::RunHfsDriverRemoval() == core::Outcome::Done ? 0 : kFailed;
    return Complain(kUsageError, "unknown hfs-drivers action \"" + action + "\"");
}

}  // namespace cli
