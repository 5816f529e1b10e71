#include "download/clover_addresses.h"

#include <cstdlib>

namespace download {
namespace {

constexpr char kProjectHost[] = "https://sourceforge.net";
constexpr char kIsoFolder[] = "/projects/cloverefiboot/files/Bootable_ISO/";

}  // namespace

std::string CloverHost() {
    const char* mirror = std::getenv("STICKFORGE_CLOVER_HOST");
    std::string host = mirror && *mirror ? mirror : kProjectHost;
    while (host.ends_with('/')) host.pop_back();
    return host;
}

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

}  // namespace download
