// Where the Clover project keeps its ISO archives: the listing of its download folder and
// one archive's address. Both are fetched over https, so a bootloader cannot be altered
// on its way to the stick. STICKFORGE_CLOVER_HOST ("http://127.0.0.1:8080": a scheme, a
// host and an optional port) puts a mirror in place of the project's host.
#pragma once

#include <string>

namespace download {

// "https://sourceforge.net", or the mirror named by the environment, without a closing
// slash.
std::string CloverHost();

// The download folder's listing, with its closing slash.
std::string CloverListingUrl();

// The archive "CloverISO-" + revision + ".tar.lzma" of that folder.
std::string CloverArchiveUrl(const std::string& revision);

// "CloverISO-" + revision + ".tar.lzma" and "CloverISO-" + revision + ".zip".
std::string CloverArchiveName(const std::string& revision);
std::string CloverDataSetName(const std::string& revision);

}  // namespace download
