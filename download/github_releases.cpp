#include "download/github_releases.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <nlohmann/json.hpp>
#include <set>

namespace download {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kAssetPrefix = "Clover-";
constexpr std::string_view kAssetSuffix = "-X64.iso.7z";
constexpr std::string_view kSha256Prefix = "sha256:";

// The string member, or "" when it is missing or no string.
std::string Text(const Json& object, const char* key) {
    auto member = object.find(key);
    return member != object.end() && member->is_string() ? member->get<std::string>() : "";
}

// NNNN of "Clover-NNNN-X64.iso.7z", or 0 for any other name.
int32_t RevisionOfAsset(std::string_view name) {
    if (name.size() <= kAssetPrefix.size() + kAssetSuffix.size() ||
        !name.starts_with(kAssetPrefix) || !name.ends_with(kAssetSuffix))
        return 0;
    std::string_view digits =
        name.substr(kAssetPrefix.size(), name.size() - kAssetPrefix.size() - kAssetSuffix.size());
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(),
                                       [](unsigned char c) { return std::isdigit(c) != 0; }))
        return 0;
    int32_t revision = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), revision);
    return error == std::errc() ? revision : 0;  // too large for 32 bits: none
}

bool FetchableUrl(std::string_view url) {
    return url.starts_with("https://") || url.starts_with("http://");
}

std::string Sha256Of(const std::string& digest) {
    if (!digest.starts_with(kSha256Prefix)) return "";
    std::string hex = digest.substr(kSha256Prefix.size());
    std::transform(hex.begin(), hex.end(), hex.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return hex;
}

}  // namespace

std::optional<std::vector<GithubArchive>> ArchivesInReleases(std::string_view json) {
    Json releases = Json::parse(json, nullptr, false);
    if (!releases.is_array()) return std::nullopt;
    std::vector<GithubArchive> archives;
    std::set<int32_t> seen;
    for (const Json& release : releases) {
        if (!release.is_object()) continue;
        auto assets = release.find("assets");
        if (assets == release.end() || !assets->is_array()) continue;
        for (const Json& asset : *assets) {
            if (!asset.is_object()) continue;
            int32_t revision = RevisionOfAsset(Text(asset, "name"));
            std::string url = Text(asset, "browser_download_url");
            if (revision <= 0 || !FetchableUrl(url) || !seen.insert(revision).second) continue;
            archives.push_back({revision, std::move(url), Sha256Of(Text(asset, "digest"))});
        }
    }
    return archives;
}

}  // namespace download
