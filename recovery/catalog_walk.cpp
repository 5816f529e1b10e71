#include "recovery/catalog_walk.h"

#include "recovery/recovery_title.h"

namespace recovery {
namespace {

const char* const kValueKeys[] = {"Digest", "MetadataURL", "URL", "Size", "PostDate"};

bool IsValueKey(std::string_view text) {
    for (const char* key : kValueKeys)
        if (text == key) return true;
    return false;
}

bool IsPackageKey(std::string_view key) { return !key.empty() && key != "PostDate"; }

bool IsValueElement(std::string_view name) {
    return name == "string" || name == "integer" || name == "date";
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// A package that names what to download and how to learn its revision beats one that
// names only the first, which beats one without a URL.
int Rank(const PackageValues& package) {
    if (package.URL.empty()) return 0;
    return package.MetadataURL.empty() ? 1 : 2;
}

}  // namespace

bool CatalogWalk::Enter(const XmlElement& element) {
    if (!state_.InEntry && element.name == "string" && Contains(element.text, pattern_)) {
        core::RecoveryEntry entry;
        entry.SmdUrl = element.text;
        entry.SourceName = pattern_;
        entries_.push_back(std::move(entry));
        state_ = {};
        state_.InEntry = true;
        state_.EntryDepth = element.depth;
        return true;
    }
    if (!state_.InEntry) return true;
    if (element.name == "key")
        MeetKey(element);
    else if (IsValueElement(element.name))
        StoreValue(element.text);
    return true;
}

void CatalogWalk::MeetKey(const XmlElement& element) {
    state_.LastKey = IsValueKey(element.text) ? std::string(element.text) : "";
    if (!IsPackageKey(state_.LastKey)) return;
    std::vector<PackageValues>& open = state_.OpenPackages;
    if (open.empty() || open.back().depth != element.depth)
        open.push_back(PackageValues{element.depth, "", "", "", ""});
}

void CatalogWalk::StoreValue(std::string_view text) {
    const std::string& key = state_.LastKey;
    if (key == "PostDate") {
        core::RecoveryEntry& entry = entries_.back();
        if (entry.PostDate.empty()) entry.PostDate = PostDateFromCatalog(text);
        return;
    }
    if (!IsPackageKey(key)) return;
    PackageValues& package = state_.OpenPackages.back();
    if (key == "Digest") package.Digest = text;
    if (key == "MetadataURL") package.MetadataURL = text;
    if (key == "URL") package.URL = text;
    if (key == "Size") package.Size = text;
}

// The packages whose keys stood deeper than depth are complete.
void CatalogWalk::ClosePackagesBelow(int depth) {
    std::vector<PackageValues>& open = state_.OpenPackages;
    while (!open.empty() && open.back().depth > depth) {
        OfferPackage(open.back());
        open.pop_back();
        if (IsPackageKey(state_.LastKey)) state_.LastKey.clear();
    }
}

void CatalogWalk::OfferPackage(const PackageValues& package) {
    if (Rank(package) <= state_.ChosenRank) return;
    state_.ChosenRank = Rank(package);
    core::RecoveryEntry& entry = entries_.back();
    entry.Digest = package.Digest;
    entry.MetadataURL = package.MetadataURL;
    entry.URL = package.URL;
    entry.Size = package.Size;
}

void CatalogWalk::Leave(const XmlElement& element) {
    if (!state_.InEntry) return;
    ClosePackagesBelow(element.depth);
    if ((element.name == "key" && element.text == "Distributions") ||
        element.depth < state_.EntryDepth) {
        ClosePackagesBelow(-1);
        state_ = {};
    }
}

bool LocalizedTitleSearch::Enter(const XmlElement& element) {
    if (!state_.InEnglish && element.name == "key" && Contains(element.text, "English"))
        state_.InEnglish = true;
    if (state_.InEnglish && element.name == "key" && Contains(element.text, keyName_))
        state_.WantTitle = true;
    if (state_.WantTitle && element.name == "string") {
        title_ = element.text;
        found_ = true;
        state_ = {};
        return false;
    }
    return true;
}

void RootAttribute::Root(std::string_view, const XmlAttributes& attributes) {
    for (const auto& [name, value] : attributes)
        if (name == name_) {
            value_ = value;
            found_ = true;
        }
}

XmlResult WalkCatalog(const std::string& path, const std::string& pattern,
                      std::vector<core::RecoveryEntry>& entries, XmlError& error) {
    std::vector<core::RecoveryEntry> found;
    CatalogWalk walk(pattern, found);
    XmlResult result = ParseXmlFile(path, walk, error);
    if (result == XmlResult::Parsed) entries = std::move(found);
    return result;
}

XmlResult FindLocalizedTitle(const std::string& path, const std::string& keyName,
                             std::string& title, XmlError& error) {
    LocalizedTitleSearch search(keyName);
    XmlResult result = ParseXmlFile(path, search, error);
    if (result == XmlResult::Parsed && search.Found()) title = search.Title();
    return result;
}

}  // namespace recovery
