// The walks over the software-update catalog and the recovery metadata files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/recovery_entry.h"
#include "recovery/xml_stream.h"

namespace recovery {

// The Digest, MetadataURL, URL and Size that one dict of an entry gives: one package.
struct PackageValues {
    int depth = 0;  // of its keys
    std::string Digest, MetadataURL, URL, Size;
};

// Where the catalog walk stands: inside an entry (below the element at EntryDepth), the
// last value key met there, the packages still open and the rank of the one chosen.
struct CatalogWalkState {
    bool InEntry = false;
    int EntryDepth = 0;
    std::string LastKey;
    std::vector<PackageValues> OpenPackages;
    int ChosenRank = -1;
};

// Where the title search stands: after an "English" key, and after the wanted key there.
struct TitleSearchState {
    bool InEnglish = false;
    bool WantTitle = false;
};

// An entry starts at a "string" element whose text holds pattern and ends with the next
// "Distributions" key or with the dict that holds that string, whichever comes first. It
// takes its post date and, from one package, its Digest, MetadataURL, URL and Size: the
// first package with a URL and a MetadataURL, else the first with a URL. A value belongs
// to the key just before it; any other key (IntegrityDataURL, ProductType ...) ends that.
// The state starts cleared for every catalog.
class CatalogWalk : public ElementVisitor {
public:
    CatalogWalk(std::string pattern, std::vector<core::RecoveryEntry>& entries)
        : pattern_(std::move(pattern)), entries_(entries) {}

    bool Enter(const XmlElement& element) override;
    void Leave(const XmlElement& element) override;

private:
    void MeetKey(const XmlElement& element);
    void StoreValue(std::string_view text);
    void ClosePackagesBelow(int depth);
    void OfferPackage(const PackageValues& package);

    std::string pattern_;
    std::vector<core::RecoveryEntry>& entries_;
    CatalogWalkState state_;
};

// Finds the string that follows the key holding keyName after a key holding "English";
// the last such string in the document wins. The state starts cleared for every file.
class LocalizedTitleSearch : public ElementVisitor {
public:
    explicit LocalizedTitleSearch(std::string keyName) : keyName_(std::move(keyName)) {}

    bool Enter(const XmlElement& element) override;
    bool Found() const { return found_; }
    const std::string& Title() const { return title_; }

private:
    std::string keyName_;
    TitleSearchState state_;
    bool found_ = false;
    std::string title_;
};

// The value of one attribute of the root element.
class RootAttribute : public ElementVisitor {
public:
    explicit RootAttribute(std::string name) : name_(std::move(name)) {}

    void Root(std::string_view name, const XmlAttributes& attributes) override;
    bool Enter(const XmlElement&) override { return false; }
    bool Found() const { return found_; }
    const std::string& Value() const { return value_; }

private:
    std::string name_;
    bool found_ = false;
    std::string value_;
};

// Walks a catalog file for the entries whose metadata name holds pattern.
XmlResult WalkCatalog(const std::string& path, const std::string& pattern,
                      std::vector<core::RecoveryEntry>& entries, XmlError& error);

// Searches a metadata file for the English localized value of keyName.
XmlResult FindLocalizedTitle(const std::string& path, const std::string& keyName,
                             std::string& title, XmlError& error);

}  // namespace recovery
