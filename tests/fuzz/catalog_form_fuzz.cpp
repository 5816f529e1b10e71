// The catalog walk over catalogs in the current form, built from the input: products whose
// parts (packages, ExtendedMetaInfo, PostDate, Distributions in several languages) come in
// any order, packages whose keys (integrity data among them) come in any order. Each
// recovery product gives one entry whose Digest, MetadataURL, URL and Size all come from
// one package: the first with a URL and a MetadataURL, else the first with a URL, else
// the first with any of the four.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "recovery/catalog_walk.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

const char kPattern[] = "RecoveryHDUpdate.smd";
const char* const kPackageKeys[] = {
    "Digest", "Size", "MetadataURL", "URL", "IntegrityDataURL", "IntegrityDataSize"};
const char* const kProductParts[] = {"Packages", "ExtendedMetaInfo", "PostDate", "Distributions",
                                     "State"};

// A piece of value text as the catalog writes it and as it reads.
struct Piece {
    const char* xml;
    const char* text;
};
const Piece kPieces[] = {{"a", "a"}, {"&amp;", "&"}, {"\xC3\xA9", "\xC3\xA9"},
                         {" ", " "}, {"URL", "URL"}, {"Distributions", "Distributions"},
                         {"0", "0"}, {"/", "/"},     {"&#10;", "\n"}};

struct Value {
    std::string xml, text;
};

// A value unlike every other of the catalog: its tag, then pieces chosen by the input.
Value MakeValue(FuzzedDataProvider& data, const std::string& tag) {
    Value value{tag, tag};
    for (int n = data.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        const Piece& piece = data.PickValueInArray(kPieces);
        value.xml += piece.xml;
        value.text += piece.text;
    }
    return value;
}

std::string Element(const char* name, const std::string& xml) {
    return std::string("<") + name + ">" + xml + "</" + name + ">";
}

std::string KeyValue(const std::string& key, const char* kind, const std::string& xml) {
    return "<key>" + key + "</key>" + Element(kind, xml) + "\n";
}

using PackageValues = std::map<std::string, std::string>;  // of the four keys the walk takes

struct Product {
    std::string xml;
    bool recovery = false;
    std::string smdUrl, postDate;
    std::vector<PackageValues> packages;  // those met before the product's Distributions key
};

// Some of the names, in an order the input chooses.
template <size_t N>
std::vector<std::string> SomeInAnyOrder(FuzzedDataProvider& data, const char* const (&names)[N]) {
    std::vector<std::string> left(std::begin(names), std::end(names)), chosen;
    while (!left.empty()) {
        size_t at = data.ConsumeIntegralInRange<size_t>(0, left.size() - 1);
        if (data.ConsumeBool()) chosen.push_back(left[at]);
        left.erase(left.begin() + long(at));
    }
    return chosen;
}

std::string MakePackage(FuzzedDataProvider& data, const std::string& tag, PackageValues& taken) {
    std::string xml = "<dict>\n";
    for (const std::string& key : SomeInAnyOrder(data, kPackageKeys)) {
        Value value = MakeValue(data, tag + key);
        xml += KeyValue(key, key.ends_with("Size") ? "integer" : "string", value.xml);
        if (!key.starts_with("Integrity")) taken[key] = value.text;
    }
    return xml + "</dict>\n";
}

// Adds one part of the product; false once Distributions has ended its entry.
bool AddPart(FuzzedDataProvider& data, const std::string& part, const std::string& tag,
             Product& product) {
    if (part == "Packages") {
        product.xml += "<key>Packages</key><array>\n";
        for (int n = data.ConsumeIntegralInRange(0, 3), i = 0; i < n; ++i) {
            PackageValues taken;
            product.xml += MakePackage(data, tag + "p" + std::to_string(i), taken);
            if (!taken.empty()) product.packages.push_back(taken);
        }
        product.xml += "</array>\n";
    } else if (part == "ExtendedMetaInfo") {
        product.xml += "<key>ExtendedMetaInfo</key><dict>\n" +
                       KeyValue("ProductType", "string", MakeValue(data, tag + "type").xml) +
                       "<key>InstallAssistantPackageIdentifiers</key><dict>" +
                       KeyValue("SharedSupport", "string", MakeValue(data, tag + "id").xml) +
                       "</dict>\n</dict>\n";
    } else if (part == "PostDate") {
        int day = data.ConsumeIntegralInRange(10, 28);
        product.xml +=
            KeyValue("PostDate", "date", "2015-09-" + std::to_string(day) + "T17:29:47Z");
        if (product.postDate.empty())
            product.postDate = "2015-09-" + std::to_string(day) + " 17:29:47";
    } else if (part == "Distributions") {
        product.xml += "<key>Distributions</key><dict>\n";
        for (const char* language : {"English", "en", "French", "ja"})
            if (data.ConsumeBool())
                product.xml += KeyValue(language, "string", "http://h/" + tag + language + ".dist");
        product.xml += "</dict>\n";
        return false;
    } else {
        product.xml += KeyValue(part, "string", MakeValue(data, tag + part).xml);
    }
    return true;
}

Product MakeProduct(FuzzedDataProvider& data, int index) {
    std::string tag = "x" + std::to_string(index);
    Product product;
    product.recovery = data.ConsumeBool();
    product.smdUrl =
        "http://h/" + tag + (product.recovery ? "/" + std::string(kPattern) : "/Other.smd");
    product.xml = "<key>041-" + tag + "</key><dict>\n";
    if (product.recovery || data.ConsumeBool())
        product.xml += KeyValue("ServerMetadataURL", "string", product.smdUrl);
    bool inEntry = product.recovery;
    for (const std::string& part : SomeInAnyOrder(data, kProductParts)) {
        if (inEntry) {
            inEntry = AddPart(data, part, tag, product);
        } else {
            Product ignored;  // after the entry: what it adds counts for nothing
            AddPart(data, part, tag, ignored);
            product.xml += ignored.xml;
        }
    }
    product.xml += "</dict>\n";
    return product;
}

int Rank(const PackageValues& package) {
    if (!package.count("URL")) return 0;
    return package.count("MetadataURL") ? 2 : 1;
}

void CheckEntry(const core::RecoveryEntry& entry, const Product& product) {
    FUZZ_CHECK(entry.SmdUrl == product.smdUrl && entry.SourceName == kPattern);
    FUZZ_CHECK(entry.PostDate == product.postDate);
    PackageValues chosen;
    int best = -1;
    for (const PackageValues& package : product.packages)
        if (Rank(package) > best) best = Rank(package), chosen = package;
    FUZZ_CHECK(entry.Digest == chosen["Digest"]);
    FUZZ_CHECK(entry.MetadataURL == chosen["MetadataURL"]);
    FUZZ_CHECK(entry.URL == chosen["URL"]);
    FUZZ_CHECK(entry.Size == chosen["Size"]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        "<key>CatalogVersion</key><integer>2</integer>\n<key>Products</key><dict>\n";
    std::vector<Product> recovery;
    for (int n = data.ConsumeIntegralInRange(1, 4), i = 0; i < n; ++i) {
        Product product = MakeProduct(data, i);
        xml += product.xml;
        if (product.recovery) recovery.push_back(product);
    }
    xml += "</dict>\n</dict>\n</plist>\n";

    std::vector<core::RecoveryEntry> entries;
    recovery::CatalogWalk walk(kPattern, entries);
    recovery::XmlError error;
    FUZZ_CHECK(recovery::ParseXmlText(xml, walk, error) == recovery::XmlResult::Parsed);
    FUZZ_CHECK(entries.size() == recovery.size());
    for (size_t i = 0; i < entries.size(); ++i) CheckEntry(entries[i], recovery[i]);
    return 0;
}
