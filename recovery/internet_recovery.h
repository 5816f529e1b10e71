// The exchange with Apple's Internet Recovery server: a session cookie from its root, the
// image request for a board ID, then BaseSystem.dmg with its signed chunk list, every
// chunk checked as it arrives. The server speaks plain HTTP; the signed chunk list is
// what makes the image trustworthy, so an unsigned or badly signed list is refused.
#pragma once

#include <string>
#include <string_view>

#include "core/outcome.h"
#include "recovery/internet_recovery_table.h"

namespace recovery {

// The lines of the server's answer.
struct RecoveryAssets {
    std::string product;         // AP
    std::string imageUrl;        // AU
    std::string imageHash;       // AH
    std::string imageToken;      // AT, sent back as the cookie AssetToken
    std::string chunklistUrl;    // CU
    std::string chunklistHash;   // CH
    std::string chunklistToken;  // CT
};

// Reads the "KEY: value" lines; false with the first key that is missing.
bool ReadRecoveryAnswer(std::string_view text, RecoveryAssets& assets, std::string& missing);

// The request's lines: a random client ID, the serial, the board ID, random k and fg
// values, and the image wanted.
std::string RecoveryRequestBody(const InternetRecoveryVersion& version);

// "http://osrecovery.apple.com", or the scheme and host STICKFORGE_RECOVERY_HOST names.
std::string RecoveryServer();

// Fetches the version's BaseSystem.dmg and BaseSystem.chunklist into a folder of
// SFKImageLocalRepo named after the product, the list's signature and every chunk
// checked; dmg receives the image's path. Done only when the whole image is there and
// matched its list; a failure shows its status, and an image that failed is removed.
core::Outcome FetchRecoveryImage(const InternetRecoveryVersion& version, std::string& dmg);

}  // namespace recovery
