// The digest of a downloaded file, for checking it against the one its publisher gives.
#pragma once

#include <memory>
#include <string>

#include "platform/digest.h"

namespace download {

// The file's digest (platform::NewSha1(), NewSha256()) in lower-case hexadecimal; "" when
// there is no digest or the file could not be read.
std::string FileDigestHex(const std::string& path, std::unique_ptr<platform::Digest> digest);

}  // namespace download
