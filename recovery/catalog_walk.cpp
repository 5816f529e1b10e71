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

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

bool CatalogWalk::Enter(const XmlElement& element) {
    if (!state_.InEntry && element.name == "string" && Contains(element.text, pattern_)) {
        core::RecoveryEntry entry;
        entry.SmdUrl = element.text;
        entry.SourceName = pattern_;
        entries_.push_back(std::move(entry));
        state_.InEntry = true;
    }
    if (state_.InEntry) {
        if (IsValueKey(element.text)) state_.LastKey = element.text;
        if (element.name == "string" || element.name == "integer" || element.name == "date")
            StoreValue(element.text);
    }
    return true;
}

void CatalogWalk::StoreValue(std::string_view text) {
    core::RecoveryEntry& entry = entries_.back();
    const std::string& key = state_.LastKey;
    if (key == "Digest") entry.Digest = text;
    if (key == "MetadataURL") entry.MetadataURL = text;
    if (key == "URL") entry.URL = text;
    if (key == "Size") entry.Size = text;
    if (key == "PostDate" && entry.PostDate.empty()) entry.PostDate = PostDateFromCatalog(text);
}

void CatalogWalk::Leave(const XmlElement& element) {
    if (state_.InEntry && element.text == "Distributions") {
        state_.InEntry = false;
        state_.LastKey.clear();
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
