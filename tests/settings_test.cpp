#include "core/settings.h"

#include <ctime>
#include <filesystem>
#include <random>

#include "core/recovery_entry.h"
#include "core/state.h"
#include "tests/test_support.h"

using namespace std::string_literals;

namespace {

std::string WithCrLf(std::string_view text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

const std::string kDefaultFile = "\xEF\xBB\xBF" + WithCrLf(R"(
[Application Info]
ApplicationName = Stickforge
Version = v2.1.2016.019 Beta
; ------------------------------------------------------------------------------
[Window Settings]
WinX = 400
WinY = 400
; ------------------------------------------------------------------------------
[Data Settings]
; InstallDataSet: Local|DL|Not_Install
InstallDataSet = DL
; ------------------------------------------------------------------------------
; CloverLastRev: Last Clover Revision
CloverLastRev = Not Checked
; CloverLastRevCheckDate: Last Check Clover Revision Date
CloverLastRevCheckDate = 00.00.00 00:00:00
; CheckLatestCloverAtStartup: 0 - #False|1 - #True
CheckLatestCloverAtStartup = 0
; SaveLatestCloverAfterDL: 0 - #False|1 - #True
SaveLatestCloverAfterDL = 0
; Clover Local Repository Path
CloverLocalRepository = /opt/sf/
; Partition Backup SFK-Image Files Local Repository Path
SFKImageLocalRepo = /opt/sf/
; ------------------------------------------------------------------------------
; VolumeLabel: 11 letters max
VolumeLabel = CLOVER
; Boot_records: Windows|Clover|XPC|Not_Format
Boot_records = Clover
; FileSystem: FAT32|FAT32-LBA|NTFS|exFAT|UDF
FileSystem = FAT32-LBA
; ClusterSize: 0 - Default
ClusterSize = 0
; StartLBASector: 63|2048|4096|8192 - Default
StartLBASector = 4096
; QuickFormat: 0 - #False|1 - #True
QuickFormat = 1
; MultiPartitions: 0 - #False|1 - #True
MultiPartitions = 1
; BootPartitionSize: 32 - 2000000 MB | 64 - Default
BootPartitionSize = 200
; EnableFixedDisks: 0 - #False|1 - #True
EnableFixedDisks = 0
; ------------------------------------------------------------------------------
[Download Settings]
; The maximum number of attempts to resume downloading files: 9999 - max value
ResumeMaxAttemptsNumber = 9999
; URL for Download Latest Apple SUCatalog: Regular|Developer|Beta | Developer - Default
; Regular:
; SUCatalogURL=https://swscan.apple.com/content/catalogs/others/index-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog
; Developer:
; SUCatalogURL=https://swscan.apple.com/content/catalogs/others/index-10.11seed-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog
; Beta:
; SUCatalogURL=https://swscan.apple.com/content/catalogs/others/index-10.11beta-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog
SUCatalogURL = https://swscan.apple.com/content/catalogs/others/index-10.11seed-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog
; ------------------------------------------------------------------------------
[Download Data Settings]
; Name of HD recovery = URL for Download
; ------------------------------------------------------------------------------
[Tools Data Settings]
; FixDsdtMask: range 0x00000000-0xFFFFFFFF, default 0x87E7FBF1
FixDsdtMask = 0x87E7FBF1
; ------------------------------------------------------------------------------
)");

core::RecoveryEntry Entry(const std::string& title, const std::string& url) {
    core::RecoveryEntry entry;
    entry.Title = title;
    entry.URL = url;
    return entry;
}

class SettingsTest : public test::AppTest {
protected:
    SettingsTest() {
        core::VersionText = "v2.1.2016.019 Beta";
        core::SetProgramLocation("/opt/sf/stickforge");
        core::LoadSettingsFromText("");
    }

    // The saved line of a key after loading one line into its group.
    std::string LoadedLine(const std::string& group, const std::string& line,
                           const std::string& key) {
        core::LoadSettingsFromText("[" + group + "]\r\n" + line + "\r\n");
        std::string file = core::RenderSettings();
        size_t at = file.find("\r\n" + key + " = ");
        if (at == std::string::npos) return "(missing)";
        return file.substr(at + 2, file.find("\r\n", at + 2) - at - 2);
    }
};

TEST_F(SettingsTest, DefaultsRenderTheWholeFileAndReadBackUnchanged) {
    EXPECT_EQ(core::RenderSettings(), kDefaultFile);
    core::LoadSettingsFromText(kDefaultFile);
    EXPECT_EQ(core::RenderSettings(), kDefaultFile);
}

TEST_F(SettingsTest, EveryKeyIsReadBack) {
    core::WinX = -7;
    core::InstallDataSet = "Local";
    core::CloverLastRev = "4000";
    core::CloverLastRevCheckDate = "29.02.16 23:59:58";
    core::CheckLatestCloverAtStartup = core::SaveLatestCloverAfterDL = core::EnableFixedDisks = 1;
    core::CloverLocalRepository = core::SFKImageLocalRepo = scratch.path().string() + "/";
    core::VolumeLabel = "Ünïcode";
    core::Boot_records = "XPC";
    core::FileSystem = "exFAT";
    core::StartLBASector = "63";
    core::QuickFormat = core::MultiPartitions = 0;
    core::BootPartitionSize = 64;
    core::ResumeMaxAttemptsNumber = 3;
    core::SUCatalogURL = core::BetaCatalogURL;
    core::FixDsdtMask = "0000ABCD";
    core::RecoveryList = {Entry("Lion", "http://l")};
    std::string changed = core::RenderSettings();

    core::LoadSettingsFromText("");
    core::LoadSettingsFromText(changed);
    EXPECT_EQ(core::RenderSettings(), changed);
}

struct LineCase {
    std::string group, line, saved;
};

TEST_F(SettingsTest, LoadChecksReplaceValuesOutsideTheirSet) {
    const std::string developer = std::string("SUCatalogURL = ") + core::DeveloperCatalogURL;
    const LineCase cases[] = {
        {"Data Settings", "BootPartitionSize = 31", "BootPartitionSize = 200"},
        {"Data Settings", "BootPartitionSize = 32", "BootPartitionSize = 32"},
        {"Data Settings", "BootPartitionSize = 2000000", "BootPartitionSize = 2000000"},
        {"Data Settings", "BootPartitionSize = 2000001", "BootPartitionSize = 200"},
        {"Data Settings", "BootPartitionSize = 4294967328", "BootPartitionSize = 200"},
        {"Data Settings", "BootPartitionSize = big", "BootPartitionSize = 200"},
        {"Download Settings", "ResumeMaxAttemptsNumber = -1", "ResumeMaxAttemptsNumber = 9999"},
        {"Download Settings", "ResumeMaxAttemptsNumber = 0", "ResumeMaxAttemptsNumber = 0"},
        {"Download Settings", "ResumeMaxAttemptsNumber = 9999", "ResumeMaxAttemptsNumber = 9999"},
        {"Download Settings", "ResumeMaxAttemptsNumber = 10000", "ResumeMaxAttemptsNumber = 9999"},
        {"Download Settings", "ResumeMaxAttemptsNumber =", "ResumeMaxAttemptsNumber = 0"},
        {"Window Settings", "WinX = 99999999999", "WinX = 2147483647"},
        {"Data Settings", "QuickFormat = 2", "QuickFormat = 1"},
        {"Data Settings", "QuickFormat = no", "QuickFormat = 0"},  // not a number reads as 0
        {"Data Settings", "MultiPartitions = -1", "MultiPartitions = 1"},
        {"Data Settings", "CheckLatestCloverAtStartup = 2", "CheckLatestCloverAtStartup = 0"},
        {"Data Settings", "EnableFixedDisks = 2", "EnableFixedDisks = 0"},
        {"Data Settings", "InstallDataSet = Not_Install", "InstallDataSet = Not_Install"},
        {"Data Settings", "InstallDataSet = local", "InstallDataSet = DL"},
        {"Data Settings", "Boot_records = Not_Format", "Boot_records = Not_Format"},
        {"Data Settings", "Boot_records = Linux", "Boot_records = Clover"},
        {"Data Settings", "FileSystem = UDF", "FileSystem = UDF"},
        {"Data Settings", "FileSystem = ext4", "FileSystem = FAT32-LBA"},
        {"Data Settings", "ClusterSize = 4096", "ClusterSize = 0"},
        {"Data Settings", "StartLBASector = 8192", "StartLBASector = 8192"},
        {"Data Settings", "StartLBASector = 1024", "StartLBASector = 4096"},
        {"Data Settings", "VolumeLabel =", "VolumeLabel = "},
        {"Data Settings", "CloverLocalRepository = /no/such/dir",
         "CloverLocalRepository = /opt/sf/"},
        {"Data Settings", "SFKImageLocalRepo =", "SFKImageLocalRepo = /opt/sf/"},
        {"Download Settings", "SUCatalogURL =", developer},
        {"Download Settings", "SUCatalogURL = ftp://host/a.sucatalog", developer},
        {"Download Settings", "SUCatalogURL = HTTP://host/a.sucatalog", developer},
        {"Download Settings", "SUCatalogURL = http://host/a", "SUCatalogURL = http://host/a"},
        {"Tools Data Settings", "FixDsdtMask = 0x87e7fbf1", "FixDsdtMask = 0x87E7FBF1"},
        {"Tools Data Settings", "FixDsdtMask = 0x1F", "FixDsdtMask = 0x00000000"},
        {"Tools Data Settings", "FixDsdtMask = abc", "FixDsdtMask = 0x00000ABC"},
        {"Tools Data Settings", "FixDsdtMask =", "FixDsdtMask = 0x00000000"},
        {"Tools Data Settings", "FixDsdtMask = FF0x12345678", "FixDsdtMask = 0x12345678"},
        {"Tools Data Settings", "FixDsdtMask = 12345678\xC3\xA9", "FixDsdtMask = 0x02345678"},
        // Names in any case, blanks and tabs around them.
        {"window SETTINGS", " \t winx\t =\t -5", "WinX = -5"},
        {"Data Settings", "bOOT_RECORDS=Windows", "Boot_records = Windows"},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(LoadedLine(c.group, c.line, c.saved.substr(0, c.saved.find(' '))), c.saved);
    }
    LoadedLine("Tools Data Settings", "FixDsdtMask = 0x87e7fbf1", "FixDsdtMask");
    EXPECT_EQ(core::FixDsdtMask, "87E7FBF1");
}

TEST_F(SettingsTest, RevisionStandsOnlyWithAValidCheckDate) {
    struct Case {
        std::string revision, date, loadedRevision, loadedDate;
    };
    const Case cases[] = {
        {"905", "01.02.16 10:20:30", "Not Checked", "00.00.00 00:00:00"},
        {"906", "01.02.16 10:20:30", "906", "01.02.16 10:20:30"},
        {"906", "", "Not Checked", "00.00.00 00:00:00"},
        {"99999", "29.02.16 23:59:59", "99999", "29.02.16 23:59:59"},
        {"100000", "01.02.16 10:20:30", "Not Checked", "00.00.00 00:00:00"},
        {"1234", "29.02.15 10:20:30", "Not Checked", "00.00.00 00:00:00"},
        {"1234", "1.2.16 10:20:30", "Not Checked", "00.00.00 00:00:00"},
        {"1234", "01.02.16 24:00:00", "Not Checked", "00.00.00 00:00:00"},
        {"1234", "00.00.00 00:00:00", "Not Checked", "00.00.00 00:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.revision + " " + c.date);
        core::LoadSettingsFromText("[Data Settings]\nCloverLastRev = " + c.revision +
                                   "\nCloverLastRevCheckDate = " + c.date + "\n");
        EXPECT_EQ(core::CloverLastRev, c.loadedRevision);
        EXPECT_EQ(core::CloverLastRevCheckDate, c.loadedDate);
    }
}

TEST_F(SettingsTest, DatesMatchTheCalendar) {
    int64_t seconds = -1;
    EXPECT_TRUE(core::ParseSettingsDate("01.01.70 00:00:00", seconds));
    EXPECT_EQ(seconds, 0);
    EXPECT_TRUE(core::ParseSettingsDate("31.12.69 23:59:59", seconds));  // 2069
    EXPECT_EQ(seconds, 3155759999);
    EXPECT_TRUE(core::ParseSettingsDate("29.02.00 12:00:00", seconds));
    EXPECT_EQ(seconds, 951825600);
    for (const char* bad :
         {"29.02.01 00:00:00", "31.04.16 00:00:00", "01.13.16 00:00:00", "01.02.16 10:60:00",
          "01.02.16 10:20", "01.02.16 10:20:30 ", "01/02/16 10:20:30", "0a.02.16 10:20:30"})
        EXPECT_FALSE(core::ParseSettingsDate(bad, seconds)) << bad;

    // Every value of the two-digit century formats as the C library's UTC calendar does.
    for (int64_t t = -86400 * 400; t < 3155760000; t += 86400 * 7 + 3671) {
        std::time_t time = std::time_t(t);
        char expected[32];
        std::strftime(expected, sizeof expected, "%d.%m.%y %H:%M:%S", std::gmtime(&time));
        ASSERT_EQ(core::FormatSettingsDate(t), expected) << t;
        if (t < 0) continue;
        ASSERT_TRUE(core::ParseSettingsDate(expected, seconds));
        ASSERT_EQ(seconds, t);
    }
}

TEST_F(SettingsTest, ExistingFoldersKeepOneTrailingSeparator) {
    std::string folder = scratch.path().string();
    EXPECT_EQ(
        LoadedLine("Data Settings", "CloverLocalRepository = " + folder, "CloverLocalRepository"),
        "CloverLocalRepository = " + folder + "/");
    EXPECT_EQ(
        LoadedLine("Data Settings", "SFKImageLocalRepo = " + folder + "/", "SFKImageLocalRepo"),
        "SFKImageLocalRepo = " + folder + "/");
    // A NUL must not cut the path short into an existing folder.
    EXPECT_EQ(
        LoadedLine("Data Settings", "SFKImageLocalRepo = " + folder + "\0/x"s, "SFKImageLocalRepo"),
        "SFKImageLocalRepo = /opt/sf/");
}

TEST_F(SettingsTest, RecoveryListFollowsTheFileOrder) {
    core::RecoveryList = {Entry("stale", "")};
    core::LoadSettingsFromText(
        "[download data settings]\r\nZeta = http://z\r\n; note\r\n  Alpha=http://a\r\n"
        "[Tools Data Settings]\r\nFixDsdtMask = 1\r\n"
        "[Download Data Settings]\r\nMid\t = \thttp://m \r\nno value line\r\n");
    ASSERT_EQ(core::RecoveryList.size(), 3u);
    EXPECT_EQ(core::RecoveryList[0].Title, "Zeta");
    EXPECT_EQ(core::RecoveryList[1].URL, "http://a");
    EXPECT_EQ(core::RecoveryList[2].Title, "Mid");
    EXPECT_EQ(core::RecoveryList[2].URL, "http://m ");
    EXPECT_NE(core::RenderSettings().find("Download\r\nZeta = http://z\r\nAlpha = http://a\r\n"
                                          "Mid = http://m \r\n; ---"),
              std::string::npos);
}

// Titles come from metadata files and addresses, sizes and digests from the catalog: none
// of them may add, split or hide a line of the file.
TEST_F(SettingsTest, RecoveryEntriesFromTheNetworkReadBackAsTheyWere) {
    core::RecoveryEntry checked = Entry("(15A204h) OS X Recovery HD Update 2015-09-16 453 MB",
                                        "http://127.0.0.1/031-1/RecoveryHDUpdate.pkg");
    checked.Size = "474525688";
    checked.Digest = "a94a8fe5ccb19ba61c4c0873d391e987982fbbd3";
    core::RecoveryEntry hostileChecks = Entry("t", "u");
    hostileChecks.Size = "1, SHA-1 0";
    hostileChecks.Digest = "\"\r\n[Tools Data Settings]";
    const std::vector<core::RecoveryEntry> entries = {
        Entry("A\n[Tools Data Settings]\nFixDsdtMask = 0x00000001", "http://a"),
        Entry("Title = with equals", "http://b=c"),
        Entry("[Not A Group]", "[x"),
        Entry("; not a comment", ";y"),
        Entry("", ""),
        Entry("  padded\t", "  http://lead\t"),
        Entry("\"quoted\"", "\"http://q\""),
        Entry("back\\x41slash \"", "http://\\x41"),
        Entry("cr\ronly", "http://x\r\nBoot_records = XPC"),
        Entry("nul\0and\xFF\xC3"s, "\xE2\x82"),
        Entry("\xEF\xBB\xBF"
              "bom",
              "http://\x7F"),
        checked,
        hostileChecks,
    };
    core::RecoveryList = entries;
    std::string saved = core::RenderSettings();
    core::LoadSettingsFromText("");
    core::LoadSettingsFromText(saved);
    ASSERT_EQ(core::RecoveryList.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(core::RecoveryList[i].Title, entries[i].Title) << i;
        EXPECT_EQ(core::RecoveryList[i].URL, entries[i].URL) << i;
        EXPECT_EQ(core::RecoveryList[i].Size, entries[i].Size) << i;
        EXPECT_EQ(core::RecoveryList[i].Digest, entries[i].Digest) << i;
    }
    EXPECT_EQ(core::RenderSettings(), saved);
    EXPECT_EQ(core::FixDsdtMask, "87E7FBF1");
    EXPECT_EQ(core::Boot_records, "Clover");
    // Ordinary entries keep the plain form a reader expects.
    EXPECT_NE(
        saved.find("\r\n; Package size 474525688, SHA-1 "
                   "a94a8fe5ccb19ba61c4c0873d391e987982fbbd3\r\n(15A204h) OS X Recovery HD "
                   "Update 2015-09-16 453 MB = http://127.0.0.1/031-1/RecoveryHDUpdate.pkg\r\n"),
        std::string::npos);
    EXPECT_NE(saved.find("\r\n\"\" = \r\n"), std::string::npos);
    EXPECT_NE(saved.find("\r\n\"Title \\x3D with equals\" = http://b=c\r\n"), std::string::npos);
}

TEST_F(SettingsTest, OnlyTheCommentJustAboveAnEntryGivesItsChecks) {
    core::LoadSettingsFromText(
        "[Download Data Settings]\r\n; Name of HD recovery = URL for Download\r\n"
        "First = http://1\r\n; Package size 12, SHA-1 ab\r\n; a remark\r\nSecond = http://2\r\n"
        "; Package SHA-1 cd\r\nThird = http://3\r\n; Package size 7\r\n[Tools Data Settings]\r\n"
        "[Download Data Settings]\r\nFourth = http://4\r\n");
    ASSERT_EQ(core::RecoveryList.size(), 4u);
    EXPECT_EQ(core::RecoveryList[0].Size + core::RecoveryList[0].Digest, "");
    EXPECT_EQ(core::RecoveryList[1].Size + core::RecoveryList[1].Digest, "");
    EXPECT_EQ(core::RecoveryList[2].Size, "");
    EXPECT_EQ(core::RecoveryList[2].Digest, "cd");
    EXPECT_EQ(core::RecoveryList[3].Size + core::RecoveryList[3].Digest, "");
}

// The default file with the lines of the given keys replaced.
std::string DefaultsWith(const std::vector<std::string>& lines) {
    std::string file = kDefaultFile;
    for (const std::string& line : lines) {
        size_t at = file.find("\n" + line.substr(0, line.find(" = ") + 3)) + 1;
        file.replace(at, file.find('\r', at) - at, line);
    }
    return file;
}

TEST_F(SettingsTest, BadInputFallsBackKeyByKey) {
    std::mt19937 random(7);
    std::string binary(1 << 16, '\0');
    for (char& c : binary) c = char(random());
    const std::string letters(4 << 20, 'x'), digits(4 << 20, '9');
    const struct {
        std::string text;
        std::vector<std::string> saved;
    } cases[] = {
        {binary, {}},
        {"[Window Settings]\nWinX = 5\0\nWinY\0 = 6\n"s, {"WinX = 5"}},
        {"[Window Settings]\nWinX = 5\r" + letters + "\nWinY = 6", {"WinX = 5", "WinY = 6"}},
        {"[Window Settings]\nWinX = " + digits, {"WinX = 2147483647"}},
        {"WinX = 5\n[Data Settings\nWinX = 6\n[]\n= 7\nWinY\n", {}},
        {"[Tools Data Settings]\nFixDsdtMask = 1", {"FixDsdtMask = 0x00000001"}},
        {"[Data Settings]\nVolumeLabel = CL\xFFVER\nBoot_records = Clov\xE9r\n",
         {"VolumeLabel = CL\xEF\xBF\xBDVER"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        core::LoadSettingsFromText(c.text);
        EXPECT_EQ(core::RenderSettings(), DefaultsWith(c.saved));
    }
}

TEST_F(SettingsTest, OverrideChecksLikeTheFile) {
    EXPECT_TRUE(core::OverrideSetting("bootpartitionsize", "31"));
    EXPECT_EQ(core::BootPartitionSize, 200);
    EXPECT_TRUE(core::OverrideSetting("WinX", "\t 12"));
    EXPECT_EQ(core::WinX, 12);
    EXPECT_TRUE(core::OverrideSetting("VolumeLabel", "USB\r\n[Window Settings]\r\nWinY = 1"));
    EXPECT_EQ(core::VolumeLabel, "USB");
    for (const char* key : {"NoSuchKey", "ApplicationName", "Version", ""})
        EXPECT_FALSE(core::OverrideSetting(key, "1")) << key;

    // A revision needs its date: the date first, then the revision.
    EXPECT_TRUE(core::OverrideSetting("CloverLastRev", "4000"));
    EXPECT_EQ(core::CloverLastRev, "Not Checked");
    EXPECT_TRUE(core::OverrideSetting("CloverLastRevCheckDate", "01.02.16 10:20:30"));
    EXPECT_TRUE(core::OverrideSetting("CloverLastRev", "4000"));
    EXPECT_EQ(core::CloverLastRev, "4000");
    EXPECT_TRUE(core::OverrideSetting("CloverLastRevCheckDate", "someday"));
    EXPECT_EQ(core::CloverLastRev, "Not Checked");
    EXPECT_EQ(core::CloverLastRevCheckDate, "00.00.00 00:00:00");
}

TEST_F(SettingsTest, FileIsReplacedWholeAndReadBack) {
    core::SetProgramLocation(scratch.path().string() + "/stickforge");
    const std::string path = core::SettingsFilePath();
    EXPECT_EQ(path, core::ProgramFolder + "stickforge.ini");

    test::WriteFile(path, std::string(100000, '#'));
    core::VolumeLabel = "SAVED";
    core::SaveSettings();
    EXPECT_EQ(test::ReadFile(path), core::RenderSettings());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 1);

    core::LoadSettingsFromText("");
    core::LoadSettings();
    EXPECT_EQ(core::VolumeLabel, "SAVED");
    std::filesystem::remove(path);
    core::LoadSettings();
    EXPECT_EQ(core::VolumeLabel, "CLOVER");
}

TEST_F(SettingsTest, UnwritableFileIsLeftAlone) {
    core::SetProgramLocation(scratch.path().string() + "/missing/stickforge");
    core::SaveSettings();
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "missing"));

    core::SetProgramLocation(scratch.path().string() + "/stickforge");
    std::filesystem::create_directory(core::SettingsFilePath());  // a folder in the file's place
    core::SaveSettings();
    EXPECT_TRUE(std::filesystem::is_directory(core::SettingsFilePath()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 1);
}

}  // namespace
