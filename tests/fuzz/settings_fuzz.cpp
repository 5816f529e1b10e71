// The settings file: every value loaded lies within its rule, and a saved file reads back
// to the very bytes it was saved as.
#include <cstdint>
#include <set>
#include <string>

#include "core/settings.h"
#include "core/state.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool OneOf(const std::string& value, std::set<std::string> choices) {
    return choices.count(value) != 0;
}

bool IsMask(const std::string& mask) {
    return mask.size() == 8 && mask.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

bool IsFlag(int32_t value) { return value == 0 || value == 1; }

void CheckRules() {
    using namespace core;
    FUZZ_CHECK(OneOf(InstallDataSet, {"Local", "DL", "Not_Install"}));
    FUZZ_CHECK(OneOf(Boot_records, {"Windows", "Clover", "XPC", "Not_Format"}));
    FUZZ_CHECK(OneOf(FileSystem, {"FAT32", "FAT32-LBA", "NTFS", "exFAT", "UDF"}));
    FUZZ_CHECK(ClusterSize == "0");
    FUZZ_CHECK(OneOf(StartLBASector, {"63", "2048", "4096", "8192"}));
    FUZZ_CHECK(IsFlag(QuickFormat) && IsFlag(MultiPartitions) && IsFlag(EnableFixedDisks));
    FUZZ_CHECK(IsFlag(CheckLatestCloverAtStartup) && IsFlag(SaveLatestCloverAfterDL));
    FUZZ_CHECK(BootPartitionSize >= 32 && BootPartitionSize <= 2000000);
    FUZZ_CHECK(ResumeMaxAttemptsNumber >= 0 && ResumeMaxAttemptsNumber <= 9999);
    FUZZ_CHECK(SUCatalogURL.rfind("http", 0) == 0);
    FUZZ_CHECK(IsMask(FixDsdtMask));
    if (CloverLastRev != "Not Checked") {
        int64_t revision = std::stoll(CloverLastRev);
        FUZZ_CHECK(revision >= 906 && revision <= 99999);
        FUZZ_CHECK(std::to_string(revision) == CloverLastRev);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::QuietProgram();
    core::LoadSettingsFromText(std::string(reinterpret_cast<const char*>(data), size));
    CheckRules();
    std::string saved = core::RenderSettings();
    FUZZ_CHECK(fuzz::IsUtf8(saved));
    core::LoadSettingsFromText(saved);
    CheckRules();
    FUZZ_CHECK(core::RenderSettings() == saved);
    return 0;
}
