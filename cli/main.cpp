// stickforge-cli: the program's own code on the headless toolkit, one verb per run.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/startup.h"
#include "cli/clover_verbs.h"
#include "cli/disk_verbs.h"
#include "cli/download_verbs.h"
#include "cli/failure.h"
#include "cli/imaging_verbs.h"
#include "cli/recovery_verbs.h"
#include "cli/tools_verbs.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/disk_system.h"
#include "platform/paths.h"
#include "platform/terminal.h"
#include "ui/console/console_toolkit.h"

namespace {

using cli::kUsageError;

const char kHelp[] =
    "usage: stickforge-cli [--yes] [--set KEY=VALUE]... VERB [ARGS]\n"
    "\n"
    "verbs:\n"
    "  version           print the program's version\n"
    "  settings          print the settings file as the program would write it\n"
    "  settings --save   write that file (beside the executables, or in the user's\n"
    "                    configuration folder for an installed copy)\n"
    "  list              print the drive list: line index, tab, the line (indented by level)\n"
    "  eject TARGET      safely remove the disk of a line\n"
    "  format TARGET     press \"Format Disk\" with that line selected (the settings decide\n"
    "                    what is written; add --yes to answer the confirmation)\n"
    "  check-latest [--sources]   list the Clover revisions of the project's download\n"
    "                    folder and GitHub releases, highest first (--sources: a tab and\n"
    "                    where each was found)\n"
    "  install-clover FOLDER   download the Clover data set of the latest revision and\n"
    "                    extract it into FOLDER (a mounted stick), formatting nothing\n"
    "  image create FILE SIZE   make a sparse disk image (SIZE in bytes or with K, M, G)\n"
    "  image attach FILE        attach an image as a disk and print its device\n"
    "  image detach DEVICE      detach it again\n"
    "  backup TARGET FILE       copy a partition into an image file (Yes/No questions:\n"
    "                           --yes or the prompt)\n"
    "  restore TARGET FILE      write an image file onto a partition; its MBR entry becomes\n"
    "                           type 0xAF with the image's size\n"
    "      --partition N        TARGET is a disk's device: its partition N\n"
    "      --verify             read back what was written and compare it byte for byte\n"
    "  download URL FILE        fetch URL into FILE, resuming a broken transfer up to\n"
    "                           ResumeMaxAttemptsNumber times\n"
    "  fixdsdt [full|clear|default|0xMASK]   print (or set and save) the FixDsdtMask:\n"
    "                    hexadecimal, binary, then the names of the set bits\n"
    "  fixdsdt +NAME -NAME ...   tick or untick calculator boxes, then save\n"
    "  hfs-drivers status|install|remove   the HFS+ read-only drivers\n"
    "  recovery update   rebuild the Recovery HD list from SUCatalogURL, then print it\n"
    "  recovery list     print the Recovery HD list: index, tab, title\n"
    "  recovery download INDEX  download and extract that entry's HFS image; prints its path\n"
    "  recovery online   print the macOS versions of Apple's Internet Recovery: title,\n"
    "                    board ID, default or latest, logic board serial\n"
    "  recovery online-download BOARD-ID [--latest] [--mlb SERIAL]   fetch that board's\n"
    "                    recovery image, check it chunk by chunk against its signed chunk\n"
    "                    list, extract its HFS image; prints the image's path\n"
    "  extract-dmg IMAGE OUTDIR extract the HFS images of a DMG file into OUTDIR\n"
    "\n"
    "TARGET: a line index of the drive list, or a disk's device path (/dev/sdb,\n"
    "\\\\.\\PhysicalDrive2); for backup and restore also a partition's (/dev/sdb2).\n"
    "\n"
    "A verb that may write a disk, the settings or a repository stops at once while the\n"
    "window or another such verb runs; printing verbs run beside them.\n"
    "\n"
    "options:\n"
    "  --yes             answer OK/Yes to every question\n"
    "  --set KEY=VALUE   override a setting for this run (checked like the file's values)\n"
    "  --help            show this text\n"
    "\n"
    "environment:\n"
    "  STICKFORGE_CLOVER_HOST   a mirror of the Clover project (scheme://host[:port])\n"
    "  STICKFORGE_GITHUB_API    a mirror of GitHub's API for Clover's releases\n"
    "                           (scheme://host[:port]); either of these two set to off\n"
    "                           leaves that source out\n"
    "  STICKFORGE_CA_FILE       certificate authorities (PEM) trusted besides the system's\n"
    "  STICKFORGE_RECOVERY_HOST the Internet Recovery server (scheme://host[:port])\n";

struct Options {
    bool assumeYes = false;
    std::vector<std::pair<std::string, std::string>> overrides;
    std::vector<std::string> words;  // the verb and its arguments
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "stickforge-cli: %s\n%s", message.c_str(), kHelp);
    return kUsageError;
}

// False (with a message) on a malformed option.
bool ParseArguments(const std::vector<std::string>& words, Options& options, std::string& error) {
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--yes") {
            options.assumeYes = true;
        } else if (word == "--set") {
            if (i + 1 >= words.size()) return error = "--set needs KEY=VALUE", false;
            const std::string& pair = words[++i];
            size_t equals = pair.find('=');
            if (equals == std::string::npos || equals == 0)
                return error = "--set needs KEY=VALUE, got \"" + pair + "\"", false;
            options.overrides.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        } else {
            options.words.push_back(word);
        }
    }
    return true;
}

using Arguments = std::vector<std::string>;

int RunVersion(const Arguments& arguments) {
    if (!arguments.empty()) return UsageError("version takes no arguments");
    std::printf("Stickforge %s\n", core::VersionText.c_str());
    return 0;
}

int RunSettings(const Arguments& arguments) {
    bool save = arguments.size() == 1 && arguments[0] == "--save";
    if (!arguments.empty() && !save) return UsageError("unknown argument \"" + arguments[0] + "\"");
    if (!save) {
        std::string text = core::RenderSettings();
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    core::SaveSettings();
    if (!platform::FileExists(core::SettingsFilePath())) {
        std::fprintf(stderr, "stickforge-cli: cannot write %s\n", core::SettingsFilePath().c_str());
        return 1;
    }
    return 0;
}

// Whether a run of a verb takes the single-instance guard: whenever it may write a disk,
// the settings or a repository. Printing runs beside the window and each other.
bool Always(const Arguments&) { return true; }
bool Never(const Arguments&) { return false; }
bool WhenChanging(const Arguments& arguments) { return !arguments.empty(); }
bool UnlessStatus(const Arguments& arguments) {
    return arguments.empty() || arguments[0] != "status";
}
bool UnlessPrinting(const Arguments& arguments) {
    return arguments.empty() || (arguments[0] != "list" && arguments[0] != "online");
}

struct Verb {
    const char* name;
    bool settings;  // loads the settings file and the --set overrides
    bool (*guard)(const Arguments&);
    bool root;  // writes raw disks: administrator rights (root) first
    int (*run)(const Arguments&);
};

// clang-format off
const Verb kVerbs[] = {
    // name            settings guard           root   runner
    {"version",        false,   Never,          false, RunVersion},
    {"settings",       true,    WhenChanging,   false, RunSettings},
    {"list",           true,    Never,          false, cli::RunList},
    {"eject",          true,    Always,         true,  cli::RunEject},
    {"format",         true,    Always,         true,  cli::RunFormat},
    {"backup",         true,    Always,         true,  cli::RunBackup},
    {"restore",        true,    Always,         true,  cli::RunRestore},
    {"image",          true,    Never,          false, cli::RunImage},
    {"check-latest",   true,    Never,          false, cli::RunCheckLatest},
    {"install-clover", true,    Always,         false, cli::RunInstallClover},
    {"download",       true,    Never,          false, cli::RunDownload},
    {"fixdsdt",        true,    WhenChanging,   false, cli::RunFixDsdt},
    {"hfs-drivers",    true,    UnlessStatus,   false, cli::RunHfsDrivers},
    {"recovery",       true,    UnlessPrinting, false, cli::RunRecovery},
    {"extract-dmg",    true,    Never,          false, cli::RunExtractDmg},
};
// clang-format on

const Verb* FindVerb(const std::string& name) {
    for (const Verb& verb : kVerbs)
        if (name == verb.name) return &verb;
    return nullptr;
}

int ApplyOverrides(const Options& options) {
    for (const auto& [key, value] : options.overrides)
        if (!core::OverrideSetting(key, value))
            return UsageError("unknown setting \"" + key + "\"");
    return 0;
}

int RunVerb(const Verb& verb, const Options& options) {
    Arguments arguments(options.words.begin() + 1, options.words.end());
    if (!app::StartFrontEnd(app::FrontEnd::CommandLine, platform::ExecutablePath(),
                            {verb.guard(arguments), verb.settings}))
        return 1;
    if (verb.settings)
        if (int status = ApplyOverrides(options)) return status;
    if (verb.root)
        if (std::string problem = disk::Disks().WriteRightsProblem(); !problem.empty())
            return cli::Fail(std::string(verb.name) + ": " + problem);
    return verb.run(arguments);
}

}  // namespace

int main(int argc, char** argv) {
    platform::UseUnchangedOutput();
    Options options;
    std::string error;
    if (!ParseArguments(platform::CommandLineWords(argc, argv), options, error))
        return UsageError(error);
    if (options.words.empty() || options.words[0] == "--help" || options.words[0] == "help") {
        std::fputs(kHelp, options.words.empty() ? stderr : stdout);
        return options.words.empty() ? kUsageError : 0;
    }
    const Verb* verb = FindVerb(options.words[0]);
    if (!verb) return UsageError("unknown verb \"" + options.words[0] + "\"");
    // The window's status lines and questions go to stderr; stdout carries the results.
    ui::SetToolkit(
        std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{options.assumeYes, stderr, stdin}));
    return RunVerb(*verb, options);
}
