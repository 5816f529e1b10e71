// Software-update catalogs and recovery metadata files in Apple's property-list form,
// for tests and benchmarks.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace fixtures {

// A package as the current catalog lists it: with the address and size of its integrity
// data after its URL.
struct CatalogPackage {
    std::string url;
    std::string size;
    std::string digest;       // "" for none
    std::string metadataUrl;  // "" for none
};

// A product in the current form: its packages, an ExtendedMetaInfo dict naming a product
// type, its post date and distributions in several languages.
struct CatalogProduct {
    std::string key;          // "031-34567"
    std::string metadataUrl;  // ServerMetadataURL; "" for none
    std::string packageUrl;
    std::string packageMetadataUrl;
    std::string size;  // as the catalog writes it
    std::string digest;
    std::string postDate;                           // "2015-09-16T17:29:47Z"
    std::vector<CatalogPackage> morePackages = {};  // after the first
};

// One product's dict.
std::string ProductXml(const CatalogProduct& product);

// A whole catalog of the products.
std::string CatalogXml(const std::vector<CatalogProduct>& products);

// Writes a catalog of about `bytes` bytes, filler products with one recovery product
// every `recoveryEvery` products; returns how many recovery products it holds.
int WriteLargeCatalog(FILE* file, long long bytes, int recoveryEvery);

// A server metadata file with localized titles (French first, then English, then German).
std::string SmdXml(const std::string& englishTitle);

// A package metadata file; an empty identifier leaves the attribute out.
std::string PackageMetadataXml(const std::string& identifier);

}  // namespace fixtures
