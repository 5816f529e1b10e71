// The settings file beside the executable: every option of the program, loaded once at
// start-up and rewritten whole when saved.
#pragma once

#include <cstdint>
#include <string>

namespace core {

// One global per key, named after it.
extern int32_t WinX;
extern int32_t WinY;
extern std::string InstallDataSet;
extern std::string CloverLastRev;
extern std::string CloverLastRevCheckDate;
extern int32_t CheckLatestCloverAtStartup;
extern int32_t SaveLatestCloverAfterDL;
extern std::string CloverLocalRepository;
extern std::string SFKImageLocalRepo;
extern std::string VolumeLabel;
extern std::string Boot_records;
extern std::string FileSystem;
extern std::string ClusterSize;
extern std::string StartLBASector;
extern int32_t QuickFormat;
extern int32_t MultiPartitions;
extern int32_t BootPartitionSize;
extern int32_t EnableFixedDisks;
extern int32_t ResumeMaxAttemptsNumber;
extern std::string SUCatalogURL;
extern std::string FixDsdtMask;  // 8 upper-case hexadecimal digits, no prefix

// The three catalog addresses.
extern const char* const RegularCatalogURL;
extern const char* const DeveloperCatalogURL;
extern const char* const BetaCatalogURL;

// SettingsFolder + ProgramBaseName + ".ini".
std::string SettingsFilePath();

void LoadSettings();
void SaveSettings();

// The exact bytes SaveSettings writes.
std::string RenderSettings();

// Loads from text instead of the file (the same checks as LoadSettings).
void LoadSettingsFromText(const std::string& text);

// Sets one key as if it had been read from the file, with the same check.
// False when no such key exists. CloverLastRev stands only with a valid
// CloverLastRevCheckDate already in memory, so set the date first.
bool OverrideSetting(const std::string& key, const std::string& value);

// "%dd.%mm.%yy %hh:%ii:%ss" both ways; dates are seconds since 1970-01-01 (UTC).
bool ParseSettingsDate(const std::string& text, int64_t& seconds);
std::string FormatSettingsDate(int64_t seconds);

}  // namespace core
