#include "tests/recovery/catalog_fixture.h"

namespace fixtures {
namespace {

const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n<dict>\n"
    "\t<key>CatalogVersion</key>\n\t<integer>2</integer>\n"
    "\t<key>IndexDate</key>\n\t<date>2016-03-01T10:00:00Z</date>\n"
    "\t<key>Products</key>\n\t<dict>\n";
const char kTail[] = "\t</dict>\n</dict>\n</plist>\n";

std::string Package(const CatalogPackage& package) {
    auto line = [](const std::string& key, const char* kind, const std::string& value) {
        return "\t\t\t\t\t<key>" + key + "</key>\n\t\t\t\t\t<" + kind + ">" + value + "</" + kind +
               ">\n";
    };
    std::string xml = "\t\t\t\t<dict>\n";
    if (!package.digest.empty()) xml += line("Digest", "string", package.digest);
    xml += line("Size", "integer", package.size);
    if (!package.metadataUrl.empty()) xml += line("MetadataURL", "string", package.metadataUrl);
    xml += line("URL", "string", package.url);
    xml += line("IntegrityDataURL", "string", package.url + ".integrityDataV1");
    xml += line("IntegrityDataSize", "integer", "4392");
    return xml + "\t\t\t\t</dict>\n";
}

}  // namespace

std::string ProductXml(const CatalogProduct& product) {
    std::string xml = "\t\t<key>" + product.key + "</key>\n\t\t<dict>\n";
    if (!product.metadataUrl.empty())
        xml += "\t\t\t<key>ServerMetadataURL</key>\n\t\t\t<string>" + product.metadataUrl +
               "</string>\n";
    xml += "\t\t\t<key>Packages</key>\n\t\t\t<array>\n";
    xml += Package({product.packageUrl, product.size, product.digest, product.packageMetadataUrl});
    for (const CatalogPackage& package : product.morePackages) xml += Package(package);
    xml += "\t\t\t</array>\n";
    xml +=
        "\t\t\t<key>ExtendedMetaInfo</key>\n\t\t\t<dict>\n"
        "\t\t\t\t<key>ProductType</key>\n\t\t\t\t<string>otherArchitectureHandlerOS</string>\n"
        "\t\t\t</dict>\n";
    xml += "\t\t\t<key>PostDate</key>\n\t\t\t<date>" + product.postDate + "</date>\n";
    xml += "\t\t\t<key>Distributions</key>\n\t\t\t<dict>\n";
    for (const char* language : {"English", "en", "French", "fr", "German", "ja"})
        xml += "\t\t\t\t<key>" + std::string(language) +
               "</key>\n\t\t\t\t<string>http://127.0.0.1/" + product.key + "." + language +
               ".dist</string>\n";
    return xml + "\t\t\t</dict>\n\t\t</dict>\n";
}

std::string CatalogXml(const std::vector<CatalogProduct>& products) {
    std::string xml = kHead;
    for (const CatalogProduct& product : products) xml += ProductXml(product);
    return xml + kTail;
}

int WriteLargeCatalog(FILE* file, long long bytes, int recoveryEvery) {
    std::fputs(kHead, file);
    long long written = sizeof kHead - 1;
    int recovery = 0;
    for (int i = 0; written < bytes; ++i) {
        CatalogProduct product{"041-" + std::to_string(10000 + i),
                               "",
                               "",
                               "",
                               "123456789",
                               "0123456789abcdef0123456789abcdef01234567",
                               "2016-01-02T03:04:05Z"};
        std::string base = "http://127.0.0.1/content/downloads/" + std::to_string(i) + "/";
        if (i % recoveryEvery == 0) {
            product.metadataUrl = base + "RecoveryHDUpdate.smd";
            product.packageUrl = base + "RecoveryHDUpdate.pkg";
            product.packageMetadataUrl = base + "RecoveryHDUpdate.pkm";
            ++recovery;
        } else {
            product.metadataUrl = base + "SecurityUpdate.smd";
            product.packageUrl = base + "SecurityUpdate.pkg";
        }
        std::string xml = ProductXml(product);
        std::fwrite(xml.data(), 1, xml.size(), file);
        written += static_cast<long long>(xml.size());
    }
    std::fputs(kTail, file);
    return recovery;
}

std::string SmdXml(const std::string& englishTitle) {
    auto language = [](const std::string& name, const std::string& title) {
        return "\t\t<key>" + name +
               "</key>\n\t\t<dict>\n"
               "\t\t\t<key>description</key>\n\t\t\t<string>&lt;p&gt;Recovery&lt;/p&gt;</string>\n"
               "\t\t\t<key>title</key>\n\t\t\t<string>" +
               title +
               "</string>\n"
               "\t\t\t<key>version</key>\n\t\t\t<string>10.11</string>\n\t\t</dict>\n";
    };
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
           "\t<key>CFBundleShortVersionString</key>\n\t<string>1.0</string>\n"
           "\t<key>localization</key>\n\t<dict>\n" +
           language("French", "Mise \xC3\xA0 jour de la partition de secours") +
           language("English", englishTitle) + language("German", "Wiederherstellungs-Update") +
           "\t</dict>\n</dict>\n</plist>\n";
}

std::string PackageMetadataXml(const std::string& identifier) {
    std::string attribute = identifier.empty() ? "" : " identifier=\"" + identifier + "\"";
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<pkg-info format-version=\"2\"" +
           attribute +
           " version=\"10.11\" auth=\"root\">\n\t<payload numberOfFiles=\"3\" "
           "installKBytes=\"463400\"/>\n</pkg-info>\n";
}

}  // namespace fixtures
