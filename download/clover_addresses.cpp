#include "download/clover_addresses.h"

#include <cstdlib>

namespace download {
namespace {

constexpr char kProjectHost[] = "https://sourceforge.net";
constexpr char kIsoFolder[] = "/projects/cloverefiboot/files/Bootable_ISO/";
constexpr char kGithubApi[] = "https://api.github.com";
constexpr char kReleases[] = "/repos/CloverHackyColor/CloverBootloader/releases?per_page=100";
constexpr char kLeftOut[] = "off";

// The mirror the variable names, else the host given, without a closing slash.
std::string HostOf(const char* variable, const char* host) {
    const char* mirror = std::getenv(variable);
    std::string chosen = mirror && *mirror ? mirror : host;
    while (chosen.ends_with('/')) chosen.pop_back();
    return chosen;
}

}  // namespace

std::string CloverHost() { return HostOf("STICKFORGE_CLOVER_HOST", kProjectHost); }

bool SourceForgeAsked() { return CloverHost() != kLeftOut; }

std::string GithubApi() { return HostOf("STICKFORGE_GITHUB_API", kGithubApi); }

bool GithubAsked() { return GithubApi() != kLeftOut; }

std::string GithubReleasesUrl() { return GithubApi() + kReleases; }

std::string CloverListingUrl() { return CloverHost() + kIsoFolder; }

std::string CloverArchiveUrl(const std::string& revision) {
    return CloverHost() + kIsoFolder + CloverArchiveName(revision) + "/download";
}

std::string CloverArchiveName(const std::string& revision) {
    return "CloverISO-" + revision + ".tar.lzma";
}

std::string CloverDataSetName(const std::string& revision) {
    return "CloverISO-" + revision + ".zip";
}

std::string GithubArchiveFileName(const std::string& revision) {
    return "CloverISO-" + revision + ".iso.7z";
}

}  // namespace download
