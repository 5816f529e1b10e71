#include "core/settings.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ids.h"
#include "core/recovery_entry.h"
#include "core/settings_text.h"
#include "core/state.h"
#include "platform/paths.h"
#include "ui/toolkit.h"

namespace core {

// Values come from LoadSettings (LoadSettingsFromText("") gives every default).
int32_t WinX = 0;
int32_t WinY = 0;
std::string InstallDataSet;
std::string CloverLastRev;
std::string CloverLastRevCheckDate;
int32_t CheckLatestCloverAtStartup = 0;
int32_t SaveLatestCloverAfterDL = 0;
std::string CloverLocalRepository;
std::string SFKImageLocalRepo;
std::string VolumeLabel;
std::string Boot_records;
std::string FileSystem;
std::string ClusterSize;
std::string StartLBASector;
int32_t QuickFormat = 0;
int32_t MultiPartitions = 0;
int32_t BootPartitionSize = 0;
int32_t EnableFixedDisks = 0;
int32_t ResumeMaxAttemptsNumber = 0;
std::string SUCatalogURL;
std::string FixDsdtMask;

const char* const RegularCatalogURL =
    "https://swscan.apple.com/content/catalogs/others/"
    "index-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog";
const char* const DeveloperCatalogURL =
    "https://swscan.apple.com/content/catalogs/others/"
    "index-10.11seed-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog";
const char* const BetaCatalogURL =
    "https://swscan.apple.com/content/catalogs/others/"
    "index-10.11beta-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog";

namespace {

constexpr char kNotChecked[] = "Not Checked";
// Also the shape of every date text: a digit wherever this has a '0'.
constexpr char kNoCheckDate[] = "00.00.00 00:00:00";
constexpr char kDataGroup[] = "Data Settings";
constexpr char kDownloadGroup[] = "Download Settings";

enum class Rule {
    None,          // any text; an integer key reads its number
    Range,         // an integer from low to high
    Revision,      // a revision number from low to high, valid only with its check date
    CheckDate,     // a date text
    OneOf,         // one of choices
    Folder,        // an existing folder
    Url,           // a text starting with "http"
    HexMask,       // a 32-bit mask in hexadecimal
    RecoveryList,  // the whole group: one recovery entry per key
    WriteOnly,     // information for the reader of the file, never read back
};

struct Setting {
    const char* group;
    const char* name = nullptr;
    int32_t* number = nullptr;
    std::string* text = nullptr;
    const char* fallback = "";  // the default as text; nullptr: *folder
    const std::string* folder = nullptr;
    Rule rule = Rule::None;
    int64_t low = 0, high = 0;
    const char* choices = "";  // separated by '|'
    std::vector<std::string> comments = {};
    bool dividerAfter = false;
};

std::string CatalogComment(const char* url) { return std::string("SUCatalogURL=") + url; }

// Every key in file order, with what load, override and save need to know about it.
const std::vector<Setting>& Settings() {
    // clang-format off
    static const std::vector<Setting> table = {
        {.group = "Application Info", .name = "ApplicationName", .fallback = "Stickforge",
         .rule = Rule::WriteOnly},
        {.group = "Application Info", .name = "Version", .text = &VersionText,
         .rule = Rule::WriteOnly, .dividerAfter = true},

        {.group = "Window Settings", .name = "WinX", .number = &WinX, .fallback = "400"},
        {.group = "Window Settings", .name = "WinY", .number = &WinY, .fallback = "400",
         .dividerAfter = true},

        {.group = kDataGroup, .name = "InstallDataSet", .text = &InstallDataSet,
         .fallback = "DL", .rule = Rule::OneOf, .choices = "Local|DL|Not_Install",
         .comments = {"InstallDataSet: Local|DL|Not_Install"}, .dividerAfter = true},
        {.group = kDataGroup, .name = "CloverLastRev", .text = &CloverLastRev,
         .fallback = kNotChecked, .rule = Rule::Revision, .low = 906, .high = 99999,
         .comments = {"CloverLastRev: Last Clover Revision"}},
        {.group = kDataGroup, .name = "CloverLastRevCheckDate", .text = &CloverLastRevCheckDate,
         .fallback = kNoCheckDate, .rule = Rule::CheckDate,
         .comments = {"CloverLastRevCheckDate: Last Check Clover Revision Date"}},
        {.group = kDataGroup, .name = "CheckLatestCloverAtStartup",
         .number = &CheckLatestCloverAtStartup, .fallback = "0", .rule = Rule::Range, .high = 1,
         .comments = {"CheckLatestCloverAtStartup: 0 - #False|1 - #True"}},
        {.group = kDataGroup, .name = "SaveLatestCloverAfterDL",
         .number = &SaveLatestCloverAfterDL, .fallback = "0", .rule = Rule::Range, .high = 1,
         .comments = {"SaveLatestCloverAfterDL: 0 - #False|1 - #True"}},
        {.group = kDataGroup, .name = "CloverLocalRepository", .text = &CloverLocalRepository,
         .fallback = nullptr, .folder = &CloverRepositoryDefault, .rule = Rule::Folder,
         .comments = {"Clover Local Repository Path"}},
        {.group = kDataGroup, .name = "SFKImageLocalRepo", .text = &SFKImageLocalRepo,
         .fallback = nullptr, .folder = &ImageRepositoryDefault, .rule = Rule::Folder,
         .comments = {"Partition Backup SFK-Image Files Local Repository Path"},
         .dividerAfter = true},
        {.group = kDataGroup, .name = "VolumeLabel", .text = &VolumeLabel, .fallback = "CLOVER",
         .comments = {"VolumeLabel: 11 letters max"}},
        {.group = kDataGroup, .name = "Boot_records", .text = &Boot_records, .fallback = "Clover",
         .rule = Rule::OneOf, .choices = "Windows|Clover|XPC|Not_Format",
         .comments = {"Boot_records: Windows|Clover|XPC|Not_Format"}},
        {.group = kDataGroup, .name = "FileSystem", .text = &FileSystem, .fallback = "FAT32-LBA",
         .rule = Rule::OneOf, .choices = "FAT32|FAT32-LBA|NTFS|exFAT|UDF",
         .comments = {"FileSystem: FAT32|FAT32-LBA|NTFS|exFAT|UDF"}},
        {.group = kDataGroup, .name = "ClusterSize", .text = &ClusterSize, .fallback = "0",
         .rule = Rule::OneOf, .choices = "0",
         .comments = {"ClusterSize: 0 - Default"}},
        {.group = kDataGroup, .name = "StartLBASector", .text = &StartLBASector,
         .fallback = "4096", .rule = Rule::OneOf, .choices = "63|2048|4096|8192",
         .comments = {"StartLBASector: 63|2048|4096|8192 - Default"}},
        {.group = kDataGroup, .name = "QuickFormat", .number = &QuickFormat, .fallback = "1",
         .rule = Rule::Range, .high = 1,
         .comments = {"QuickFormat: 0 - #False|1 - #True"}},
        {.group = kDataGroup, .name = "MultiPartitions", .number = &MultiPartitions,
         .fallback = "1", .rule = Rule::Range, .high = 1,
         .comments = {"MultiPartitions: 0 - #False|1 - #True"}},
        {.group = kDataGroup, .name = "BootPartitionSize", .number = &BootPartitionSize,
         .fallback = "200", .rule = Rule::Range, .low = 32, .high = 2000000,
         .comments = {"BootPartitionSize: 32 - 2000000 MB | 64 - Default"}},
        {.group = kDataGroup, .name = "EnableFixedDisks", .number = &EnableFixedDisks,
         .fallback = "0", .rule = Rule::Range, .high = 1,
         .comments = {"EnableFixedDisks: 0 - #False|1 - #True"}, .dividerAfter = true},

        {.group = kDownloadGroup, .name = "ResumeMaxAttemptsNumber",
         .number = &ResumeMaxAttemptsNumber, .fallback = "9999", .rule = Rule::Range,
         .high = 9999,
         .comments = {"The maximum number of attempts to resume downloading files: "
                      "9999 - max value"}},
        {.group = kDownloadGroup, .name = "SUCatalogURL", .text = &SUCatalogURL,
         .fallback = DeveloperCatalogURL, .rule = Rule::Url,
         .comments = {"URL for Download Latest Apple SUCatalog: Regular|Developer|Beta | "
                      "Developer - Default",
                      "Regular:", CatalogComment(RegularCatalogURL),
                      "Developer:", CatalogComment(DeveloperCatalogURL),
                      "Beta:", CatalogComment(BetaCatalogURL)},
         .dividerAfter = true},

        {.group = "Download Data Settings", .rule = Rule::RecoveryList,
         .comments = {"Name of HD recovery = URL for Download"}, .dividerAfter = true},

        {.group = "Tools Data Settings", .name = "FixDsdtMask", .text = &FixDsdtMask,
         .fallback = "87E7FBF1", .rule = Rule::HexMask,
         .comments = {"FixDsdtMask: range 0x00000000-0xFFFFFFFF, default 0x87E7FBF1"},
         .dividerAfter = true},
    };
    // clang-format on
    return table;
}

// ---- Text helpers ----

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The file may have been edited with anything: each byte that is not part of well-formed
// UTF-8, and each NUL, becomes U+FFFD, so the rest of the text still reads.
std::string RepairUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        size_t length = Utf8SequenceLength(bytes, at);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            ++at;
        } else {
            text.append(bytes, at, length);
            at += length;
        }
    }
    return text;
}

// Decimal digits after an optional sign, up to the first other character. Saturates far
// outside every allowed range so that a huge number cannot wrap into one.
int64_t NumberValue(std::string_view text) {
    constexpr int64_t kLimit = int64_t(1) << 40;
    bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    int64_t value = 0;
    for (size_t i = 0; i < text.size() && IsDigit(text[i]); ++i)
        value = std::min(value * 10 + (text[i] - '0'), kLimit);
    return negative ? -value : value;
}

int32_t Int32Value(std::string_view text) {
    return int32_t(std::clamp<int64_t>(NumberValue(text), INT32_MIN, INT32_MAX));
}

// ---- Dates ----

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDaysPer400Years = 146097;  // the Gregorian calendar repeats after 400 years

struct CivilDate {
    int64_t year;
    int month, day;
};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }
int YearLength(int64_t year) { return IsLeapYear(year) ? 366 : 365; }

int MonthLength(int64_t year, int month) {
    static constexpr int kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kLengths[month - 1];
}

int64_t DaysSince1970(const CivilDate& date) {
    int64_t cycles = FloorDiv(date.year - 1970, 400);
    int64_t days = cycles * kDaysPer400Years + date.day - 1;
    for (int64_t year = 1970 + cycles * 400; year < date.year; ++year) days += YearLength(year);
    for (int month = 1; month < date.month; ++month) days += MonthLength(date.year, month);
    return days;
}

CivilDate DateOfDay(int64_t days) {
    int64_t cycles = FloorDiv(days, kDaysPer400Years);
    CivilDate date{1970 + cycles * 400, 1, 1};
    days -= cycles * kDaysPer400Years;
    for (; days >= YearLength(date.year); ++date.year) days -= YearLength(date.year);
    for (; days >= MonthLength(date.year, date.month); ++date.month)
        days -= MonthLength(date.year, date.month);
    date.day = int(days) + 1;
    return date;
}

// ---- Load checks ----

bool IsChoice(std::string_view choices, std::string_view value) {
    for (size_t start = 0;;) {
        size_t end = choices.find('|', start);
        if (choices.substr(start, end - start) == value) return true;
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
}

std::optional<std::string> FolderValue(std::string_view text) {
    std::string folder(text);
    if (folder.empty() || !platform::FolderExists(folder)) return std::nullopt;
    // File paths are made by appending a name, so a folder given without its trailing
    // separator gets one.
    const std::string& separator = platform::PathSeparator();
    if (folder.back() != '/' && folder.back() != separator.back()) folder += separator;
    return folder;
}

// The last 8 characters read as hexadecimal up to the first non-digit: "0x1F" is 0.
std::string MaskValue(std::string_view text) {
    size_t start = text.size();
    for (int characters = 0; characters < 8 && start > 0; ++characters) {
        --start;
        while (start > 0 && IsContinuationByte(text[start])) --start;
    }
    uint32_t mask = 0;
    std::from_chars(text.data() + start, text.data() + text.size(), mask, 16);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08X", unsigned(mask));
    return digits;
}

// The value a key takes from its text in the file; none when it falls back to its default.
std::optional<std::string> CheckedValue(const Setting& setting, std::string_view text) {
    int64_t seconds = 0;
    switch (setting.rule) {
        case Rule::Range:
        case Rule::Revision: {
            int64_t number = NumberValue(text);
            if (number < setting.low || number > setting.high) return std::nullopt;
            return std::to_string(number);
        }
        case Rule::CheckDate:
            if (!ParseSettingsDate(std::string(text), seconds)) return std::nullopt;
            return FormatSettingsDate(seconds);
        case Rule::OneOf:
            if (!IsChoice(setting.choices, text)) return std::nullopt;
            return std::string(text);
        case Rule::Folder:
            return FolderValue(text);
        case Rule::Url:
            if (!text.starts_with("http")) return std::nullopt;
            return std::string(text);
        case Rule::HexMask:
            return MaskValue(text);
        default:
            return setting.number ? std::to_string(Int32Value(text)) : std::string(text);
    }
}

// Sets the key from its text, or to its default when the text is missing or refused.
void Apply(const Setting& setting, const std::string_view* text) {
    std::optional<std::string> value;
    if (text) value = CheckedValue(setting, *text);
    if (!value) value = setting.fallback ? setting.fallback : *setting.folder;
    if (setting.number)
        *setting.number = Int32Value(*value);
    else
        *setting.text = *value;
}

// A revision is only known together with the date it was checked.
void RequireCheckDate() {
    int64_t seconds = 0;
    if (CloverLastRev != kNotChecked && ParseSettingsDate(CloverLastRevCheckDate, seconds)) return;
    CloverLastRev = kNotChecked;
    CloverLastRevCheckDate = kNoCheckDate;
}

// ---- Reading ----

struct ValueLine {
    std::string_view group, key, value;
    std::string_view comment;  // the comment line just above, "" when there is none
};

bool IsKnownGroup(std::string_view group) {
    const auto& table = Settings();
    return std::any_of(table.begin(), table.end(),
                       [&](const Setting& setting) { return SameName(setting.group, group); });
}

// The value lines of the groups the program reads, in file order.
std::vector<ValueLine> ReadValueLines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<ValueLine> lines;
    std::string_view group, comment;
    bool known = false;
    while (!text.empty()) {
        size_t end = text.find_first_of("\r\n");
        std::string_view line = TrimLeft(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty()) continue;
        if (line.front() == ';') {
            comment = line;
            continue;
        }
        std::string_view above = std::exchange(comment, {});
        if (line.front() == '[') {
            group = line.substr(1, line.find(']') - 1);
            known = IsKnownGroup(group);
            continue;
        }
        size_t equals = line.find('=');
        if (!known || equals == std::string_view::npos) continue;
        std::string_view key = TrimRight(line.substr(0, equals));
        if (!key.empty()) lines.push_back({group, key, TrimLeft(line.substr(equals + 1)), above});
    }
    return lines;
}

const std::string_view* FindValue(const std::vector<ValueLine>& lines, const Setting& setting) {
    for (const ValueLine& line : lines)
        if (SameName(line.group, setting.group) && SameName(line.key, setting.name))
            return &line.value;
    return nullptr;
}

void LoadRecoveryList(const Setting& setting, const std::vector<ValueLine>& lines) {
    std::vector<RecoveryEntry> entries;
    bool outOfMemory = false;
    for (const ValueLine& line : lines) {
        if (!SameName(line.group, setting.group)) continue;
        try {
            entries.push_back(RecoveryEntryFromLine(line.key, line.value, line.comment));
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    }
    ReplaceRecoveryList(std::move(entries));
    if (outOfMemory && ui::HasToolkit())
        ui::UI().MessageBox("Error!", "Unable to allocate memory for new element", ui::Icon::None,
                            ui::Buttons::Ok);
}

std::filesystem::path FilePath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string ReadWholeFile(const std::string& path) {
    try {
        std::ifstream file(FilePath(path), std::ios::binary);
        std::ostringstream bytes;
        if (file) bytes << file.rdbuf();
        return bytes.str();
    } catch (const std::bad_alloc&) {
        return {};  // too big to hold: read as a missing file
    }
}

// ---- Writing ----

int32_t SavedNumber(const Setting& setting) {
    bool position = setting.number == &WinX || setting.number == &WinY;
    if (!position || !ui::HasToolkit() || !ui::UI().WindowExists(MainWindow))
        return *setting.number;
    ui::Rect frame = ui::UI().WindowFrame(MainWindow);
    return setting.number == &WinX ? frame.x : frame.y;
}

std::string SavedValue(const Setting& setting) {
    if (setting.number) return std::to_string(SavedNumber(setting));
    if (!setting.text) return setting.fallback;
    return setting.rule == Rule::HexMask ? "0x" + *setting.text : *setting.text;
}

void AppendLine(std::string& out, std::string_view line) {
    out += line;
    out += "\r\n";
}

void AppendValue(std::string& out, std::string_view key, std::string_view value) {
    out.append(key).append(" = ").append(value).append("\r\n");
}

bool WriteWholeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    file.close();
    return !file.fail();
}

}  // namespace

std::string SettingsFilePath() { return SettingsFolder + ProgramBaseName + ".ini"; }

void LoadSettingsFromText(const std::string& text) {
    std::string clean = RepairUtf8(text);
    std::vector<ValueLine> lines = ReadValueLines(clean);
    for (const Setting& setting : Settings()) {
        if (setting.rule == Rule::RecoveryList)
            LoadRecoveryList(setting, lines);
        else if (setting.rule != Rule::WriteOnly)
            Apply(setting, FindValue(lines, setting));
    }
    RequireCheckDate();
}

void LoadSettings() { LoadSettingsFromText(ReadWholeFile(SettingsFilePath())); }

bool OverrideSetting(const std::string& key, const std::string& value) {
    const auto& table = Settings();
    auto setting = std::find_if(table.begin(), table.end(), [&](const Setting& candidate) {
        return candidate.name && candidate.rule != Rule::WriteOnly && SameName(candidate.name, key);
    });
    if (setting == table.end()) return false;
    // Read the way a file line reads: no line break can slip into the saved file.
    std::string clean = RepairUtf8(value);
    std::string_view text =
        TrimLeft(std::string_view(clean).substr(0, clean.find_first_of("\r\n")));
    Apply(*setting, &text);
    if (setting->rule == Rule::Revision) RequireCheckDate();
    // A date given alone is kept for a revision set after it; a bad one drops the revision.
    if (setting->rule == Rule::CheckDate && CloverLastRevCheckDate == kNoCheckDate)
        CloverLastRev = kNotChecked;
    return true;
}

std::string RenderSettings() {
    std::string out = "\xEF\xBB\xBF\r\n";
    const std::string divider = "; " + std::string(78, '-');  // a comment of 78 dashes
    std::string_view group;
    for (const Setting& setting : Settings()) {
        if (group != setting.group) AppendLine(out, "[" + std::string(setting.group) + "]");
        group = setting.group;
        for (const std::string& comment : setting.comments) AppendLine(out, "; " + comment);
        if (setting.rule == Rule::RecoveryList) {
            std::lock_guard lock(RecoveryListLock);
            for (const RecoveryEntry& entry : RecoveryList)
                for (const std::string& line : RecoveryEntryLines(entry)) AppendLine(out, line);
        } else {
            AppendValue(out, setting.name, SavedValue(setting));
        }
        if (setting.dividerAfter) AppendLine(out, divider);
    }
    return out;
}

void SaveSettings() {
    // Each save writes a file of its own and renames it over the old one, so a failed or
    // concurrent save never leaves a partial file behind.
    static std::atomic<uint32_t> saveCount{0};
    std::filesystem::path target = FilePath(SettingsFilePath());
    std::filesystem::path temporary = target;
    temporary += "." + std::to_string(saveCount++) + ".tmp";
    std::error_code error;
    if (WriteWholeFile(temporary, RenderSettings())) {
        std::filesystem::rename(temporary, target, error);
        if (!error) return platform::GiveToStartingUser(SettingsFilePath());
    }
    std::filesystem::remove(temporary, error);
}

bool ParseSettingsDate(const std::string& text, int64_t& seconds) {
    std::string_view shape = kNoCheckDate;
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == '0' ? !IsDigit(text[i]) : text[i] != shape[i]) return false;
    auto field = [&](size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    int year = field(6);
    CivilDate date{year < 70 ? 2000 + year : 1900 + year, field(3), field(0)};
    int hour = field(9), minute = field(12), second = field(15);
    if (date.month < 1 || date.month > 12 || date.day < 1 ||
        date.day > MonthLength(date.year, date.month) || hour > 23 || minute > 59 || second > 59)
        return false;
    seconds = DaysSince1970(date) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    return true;
}

std::string FormatSettingsDate(int64_t seconds) {
    int64_t days = FloorDiv(seconds, kSecondsPerDay);
    int64_t time = seconds - days * kSecondsPerDay;
    CivilDate date = DateOfDay(days);
    char text[80];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d %02d:%02d:%02d", date.day, date.month,
                  int((date.year % 100 + 100) % 100), int(time / 3600), int(time / 60 % 60),
                  int(time % 60));
    return text;
}

}  // namespace core
