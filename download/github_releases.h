// The Clover archives of the project's GitHub releases, as the releases API lists them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace download {

// One release asset "Clover-NNNN-X64.iso.7z": the ISO image of revision NNNN in a 7z.
struct GithubArchive {
    int32_t revision = 0;
    std::string url;     // where it is fetched from (http or https; redirects follow)
    std::string sha256;  // the published digest, lower-case hexadecimal; "" when none
};

// The archives of an answer of the releases API (a JSON array of releases, each with
// "assets" of "name", "browser_download_url" and "digest" = "sha256:HEX"), in the order
// listed, one per revision. nullopt when the text is no such array; fields of another
// type count as missing.
std::optional<std::vector<GithubArchive>> ArchivesInReleases(std::string_view json);

}  // namespace download
