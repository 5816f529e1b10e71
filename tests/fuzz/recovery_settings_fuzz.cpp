// Recovery entries from the network in the settings file: whatever their titles,
// addresses, sizes and digests hold, the list saved is the list that loads back, and no
// other setting changes. The input is the entries' fields, each ended by a 0x1F byte.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/recovery_entry.h"
#include "core/settings.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::vector<core::RecoveryEntry> EntriesOf(std::string_view input) {
    std::vector<std::string> fields;
    for (size_t end; (end = input.find('\x1F')) != std::string_view::npos;
         input.remove_prefix(end + 1))
        fields.emplace_back(input.substr(0, end));
    fields.emplace_back(input);
    std::vector<core::RecoveryEntry> entries;
    for (size_t i = 0; i < fields.size(); i += 4) {
        core::RecoveryEntry entry;
        entry.Title = fields[i];
        if (i + 1 < fields.size()) entry.URL = fields[i + 1];
        if (i + 2 < fields.size()) entry.Size = fields[i + 2];
        if (i + 3 < fields.size()) entry.Digest = fields[i + 3];
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::QuietProgram();
    core::LoadSettingsFromText("");
    const std::string defaults = core::RenderSettings();
    const std::vector<core::RecoveryEntry> entries =
        EntriesOf({reinterpret_cast<const char*>(data), size});
    core::RecoveryList = entries;
    std::string saved = core::RenderSettings();

    core::LoadSettingsFromText(saved);
    FUZZ_CHECK(core::RecoveryList.size() == entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const core::RecoveryEntry& loaded = core::RecoveryList[i];
        FUZZ_CHECK(loaded.Title == entries[i].Title && loaded.URL == entries[i].URL);
        FUZZ_CHECK(loaded.Size == entries[i].Size && loaded.Digest == entries[i].Digest);
    }
    FUZZ_CHECK(core::RenderSettings() == saved);
    // Outside the recovery group the file is the one of an empty list.
    core::RecoveryList.clear();
    FUZZ_CHECK(core::RenderSettings() == defaults);
    return 0;
}
