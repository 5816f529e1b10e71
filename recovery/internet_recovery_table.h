// The macOS versions Apple's Internet Recovery server hands out, one board ID each, and
// the recovery list entries that name them.
#pragma once

#include <string>
#include <vector>

#include "core/recovery_entry.h"

namespace recovery {

struct InternetRecoveryVersion {
    std::string title;    // "macOS Sequoia 15"; empty for a board ID given by hand
    std::string boardId;  // "Mac-" and 8 to 16 hexadecimal digits
    std::string serial;   // the logic board serial sent along: 17 letters or digits
    bool latest = false;  // ask for the latest image instead of the default one
};

// The serial that names no Mac.
inline constexpr char kZeroSerial[] = "00000000000000000";

// The table kept in data/recovery, newest first.
const std::vector<InternetRecoveryVersion>& InternetRecoveryVersions();

bool IsBoardId(const std::string& text);
bool IsBoardSerial(const std::string& text);

// "macOS Sequoia 15 (Internet Recovery)".
std::string InternetRecoveryItemTitle(const InternetRecoveryVersion& version);

// The address a recovery entry keeps for a version: the server's request with the
// version's fields as query.
std::string InternetRecoveryAddress(const InternetRecoveryVersion& version);

// The version an entry's address names; false when the address is not one of these.
bool ReadInternetRecoveryAddress(const std::string& address, InternetRecoveryVersion& version);

// One recovery list entry per table row, in table order.
std::vector<core::RecoveryEntry> InternetRecoveryEntries();

}  // namespace recovery
