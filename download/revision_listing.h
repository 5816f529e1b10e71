// The Clover revisions named in the project's download listing.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace download {

// Every number written before ".tar.lzma" in the page, left to right without overlap,
// as distinct values, highest first. Leading zeros do not count; a number too large for
// 32 bits is no revision. Empty when the page names none.
std::vector<int32_t> RevisionsInListing(std::string_view page);

}  // namespace download
