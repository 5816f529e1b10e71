#include "cli/recovery_verbs.h"

#include <cstdio>

#include "app/main_window.h"
#include "cli/failure.h"
#include "core/recovery_entry.h"
#include "core/state.h"
#include "recovery/download_recovery.h"
#include "recovery/internet_recovery_table.h"
#include "recovery/update_recovery_list.h"
#include "resources/dmg_extract.h"

namespace cli {
namespace {

int ExitStatus(core::Outcome outcome) { return outcome == core::Outcome::Done ? 0 : 1; }

void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

void PrintList() {
    std::vector<core::RecoveryEntry> entries = core::RecoveryListCopy();
    for (size_t i = 0; i < entries.size(); ++i)
        PrintLine(std::to_string(i) + "\t" + entries[i].Title);
}

// Downloads the entry INDEX names; a usage error or 1 (with a message) when it names none.
int RunDownload(const std::string& indexText) {
    if (indexText.empty() || indexText.size() > 9 ||
        indexText.find_first_not_of("0123456789") != std::string::npos)
        return Fail("not an index: \"" + indexText + "\"", kUsageError);
    size_t index = std::stoul(indexText);
    if (index >= core::RecoveryListCopy().size())
        return Fail("the recovery list has no entry " + indexText + " (see \"recovery list\")");
    std::vector<std::string> images;
    core::Outcome outcome = recovery::RunRecoveryDownload(int32_t(index), images);
    for (const std::string& image : images) PrintLine(image);
    return ExitStatus(outcome);
}

void PrintInternetRecoveryTable() {
    for (const recovery::InternetRecoveryVersion& version : recovery::InternetRecoveryVersions())
        PrintLine(version.title + "\t" + version.boardId + "\t" +
                  (version.latest ? "latest" : "default") + "\t" + version.serial);
}

// online-download BOARD-ID [--latest] [--mlb SERIAL]: a usage error for anything else.
int RunOnlineDownload(const std::vector<std::string>& arguments) {
    recovery::InternetRecoveryVersion version{"", "", recovery::kZeroSerial, false};
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--latest") {
            version.latest = true;
        } else if (arguments[i] == "--mlb" && i + 1 < arguments.size()) {
            version.serial = arguments[++i];
            if (!recovery::IsBoardSerial(version.serial))
                return Fail(
                    "not a logic board serial (17 capitals or digits): \"" + version.serial + "\"",
                    kUsageError);
        } else if (version.boardId.empty()) {
            version.boardId = arguments[i];
        } else {
            return Fail("recovery online-download needs BOARD-ID [--latest] [--mlb SERIAL]",
                        kUsageError);
        }
    }
    if (!recovery::IsBoardId(version.boardId))
        return Fail("not a board ID (Mac- and 8 to 16 capital hexadecimal digits): \"" +
                        version.boardId + "\"",
                    kUsageError);
    core::RecoveryEntry entry;
    entry.Title = "Internet Recovery " + version.boardId;
    entry.URL = recovery::InternetRecoveryAddress(version);
    std::vector<std::string> images;
    core::Outcome outcome = recovery::RunRecoveryDownload(entry, images);
    for (const std::string& image : images) PrintLine(image);
    return ExitStatus(outcome);
}

}  // namespace

int RunRecovery(const std::vector<std::string>& arguments) {
    const std::string action = arguments.empty() ? "" : arguments[0];
    // The status lines are the main window's.
    app::BuildMainWindow();
    if (action == "update" && arguments.size() == 1) {
        core::Outcome outcome = recovery::RunRecoveryListUpdate();
        PrintList();
        return ExitStatus(outcome);
    }
    if (action == "list" && arguments.size() == 1) {
        PrintList();
        return 0;
    }
    if (action == "download" && arguments.size() == 2) return RunDownload(arguments[1]);
    if (action == "online" && arguments.size() == 1) {
        PrintInternetRecoveryTable();
        return 0;
    }
    if (action == "online-download") return RunOnlineDownload(arguments);
    return Fail("recovery needs update, list, download INDEX, online or online-download BOARD-ID",
                kUsageError);
}

int RunExtractDmg(const std::vector<std::string>& arguments) {
    if (arguments.size() != 2 || arguments[0].empty() || arguments[1].empty())
        return Fail("extract-dmg needs IMAGE OUTDIR", kUsageError);
    app::BuildMainWindow();
    return ExitStatus(resources::ExtractHfsFromDmg(arguments[0], arguments[1]));
}

}  // namespace cli
