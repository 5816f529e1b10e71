// Where the Clover project keeps its ISO archives: the listing of its download folder on
// SourceForge and one archive's address there, and the releases of its GitHub
// repository. All are fetched over https, so a bootloader cannot be altered on its way to
// the stick. STICKFORGE_CLOVER_HOST and STICKFORGE_GITHUB_API ("http://127.0.0.1:8080": a
// scheme, a host and an optional port) put a mirror in place of SourceForge's host and of
// GitHub's API host; either one set to "off" leaves that source out.
#pragma once

#include <string>

namespace download {

// "https://sourceforge.net", or the mirror named by the environment, without a closing
// slash.
std::string CloverHost();
bool SourceForgeAsked();

// "https://api.github.com", or the mirror named by the environment, likewise.
std::string GithubApi();
bool GithubAsked();

// The project's GitHub releases, newest first (as many as one answer holds).
std::string GithubReleasesUrl();

// The download folder's listing, with its closing slash.
std::string CloverListingUrl();

// The archive "CloverISO-" + revision + ".tar.lzma" of that folder.
std::string CloverArchiveUrl(const std::string& revision);

// "CloverISO-" + revision + ".tar.lzma" and "CloverISO-" + revision + ".zip".
std::string CloverArchiveName(const std::string& revision);
std::string CloverDataSetName(const std::string& revision);

// The name a GitHub archive (an ISO image in a 7z) is saved under: "CloverISO-" + revision
// + ".iso.7z", so that the unpack script names the data set as for a SourceForge one.
std::string GithubArchiveFileName(const std::string& revision);

}  // namespace download
