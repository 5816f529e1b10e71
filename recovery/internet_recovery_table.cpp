#include "recovery/internet_recovery_table.h"

#include <algorithm>
#include <string_view>

#include "internet_recovery_data.h"  // generated: table_data::kInternetRecoveryTable

namespace recovery {
namespace {

constexpr std::string_view kAddressPrefix =
    "http://osrecovery.apple.com/InstallationPayload/RecoveryImage?";

bool AllOf(std::string_view text, std::string_view allowed) {
    return text.find_first_not_of(allowed) == std::string_view::npos;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        size_t end = text.find(separator);
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return parts;
        text.remove_prefix(end + 1);
    }
}

std::vector<InternetRecoveryVersion> ReadTable(std::string_view text) {
    std::vector<InternetRecoveryVersion> versions;
    for (std::string_view line : Split(text, '\n')) {
        if (line.empty() || line.front() == '#') continue;
        std::vector<std::string_view> fields = Split(line, '\t');
        if (fields.size() != 4 || (fields[3] != "default" && fields[3] != "latest")) continue;
        InternetRecoveryVersion version{std::string(fields[0]), std::string(fields[1]),
                                        std::string(fields[2]), fields[3] == "latest"};
        if (!version.title.empty() && IsBoardId(version.boardId) && IsBoardSerial(version.serial))
            versions.push_back(std::move(version));
    }
    return versions;
}

}  // namespace

const std::vector<InternetRecoveryVersion>& InternetRecoveryVersions() {
    static const std::vector<InternetRecoveryVersion> versions =
        ReadTable(table_data::kInternetRecoveryTable);
    return versions;
}

bool IsBoardId(const std::string& text) {
    std::string_view digits = std::string_view(text).substr(std::min<size_t>(text.size(), 4));
    return text.starts_with("Mac-") && digits.size() >= 8 && digits.size() <= 16 &&
           AllOf(digits, "0123456789ABCDEF");
}

bool IsBoardSerial(const std::string& text) {
    return text.size() == 17 && AllOf(text, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

std::string InternetRecoveryItemTitle(const InternetRecoveryVersion& version) {
    return version.title + " (Internet Recovery)";
}

std::string InternetRecoveryAddress(const InternetRecoveryVersion& version) {
    return std::string(kAddressPrefix) + "bid=" + version.boardId + "&sn=" + version.serial +
           "&os=" + (version.latest ? "latest" : "default");
}

bool ReadInternetRecoveryAddress(const std::string& address, InternetRecoveryVersion& version) {
    if (!address.starts_with(kAddressPrefix)) return false;
    std::vector<std::string_view> fields =
        Split(std::string_view(address).substr(kAddressPrefix.size()), '&');
    if (fields.size() != 3 || !fields[0].starts_with("bid=") || !fields[1].starts_with("sn=") ||
        (fields[2] != "os=default" && fields[2] != "os=latest"))
        return false;
    InternetRecoveryVersion read{"", std::string(fields[0].substr(4)),
                                 std::string(fields[1].substr(3)), fields[2] == "os=latest"};
    if (!IsBoardId(read.boardId) || !IsBoardSerial(read.serial)) return false;
    version = std::move(read);
    return true;
}

std::vector<core::RecoveryEntry> InternetRecoveryEntries() {
    std::vector<core::RecoveryEntry> entries;
    for (const InternetRecoveryVersion& version : InternetRecoveryVersions()) {
        core::RecoveryEntry entry;
        entry.Title = InternetRecoveryItemTitle(version);
        entry.URL = InternetRecoveryAddress(version);
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace recovery
