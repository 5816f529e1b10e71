#include "recovery/catalog_walk.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "recovery/recovery_title.h"
#include "tests/recovery/catalog_fixture.h"
#include "tests/test_support.h"

namespace {

using core::RecoveryEntry;
using fixtures::CatalogProduct;
using recovery::XmlError;
using recovery::XmlResult;

const char kPattern[] = "RecoveryHDUpdate.smd";

CatalogProduct Recovery(const std::string& key, const std::string& size = "474525688") {
    std::string base = "http://127.0.0.1:8080/" + key + "/";
    return {key,
            base + "RecoveryHDUpdate.smd",
            base + "RecoveryHDUpdate.pkg",
            base + "RecoveryHDUpdate.pkm",
            size,
            "a94a8fe5ccb19ba61c4c0873d391e987982fbbd3",
            "2015-09-16T17:29:47Z"};
}

CatalogProduct Other(const std::string& key) {
    std::string base = "http://127.0.0.1:8080/" + key + "/";
    return {key, base + "iTunes.smd",   base + "iTunes.pkg", base + "iTunes.pkm", "1000",
            "",  "2015-01-01T00:00:00Z"};
}

class CatalogWalkTest : public ::testing::Test {
protected:
    XmlResult Walk(const std::string& xml, std::vector<RecoveryEntry>& entries) {
        std::string path = scratch.file("catalog.xml");
        test::WriteFile(path, xml);
        return recovery::WalkCatalog(path, kPattern, entries, error);
    }
    test::ScratchFolder scratch;
    XmlError error;
};

TEST_F(CatalogWalkTest, CollectsEachRecoveryProductBetweenItsMetadataAndDistributions) {
    std::vector<RecoveryEntry> entries;
    CatalogProduct first = Recovery("031-34567"), second = Recovery("031-99999", "12");
    second.postDate = "2016-02-29T23:59:01Z";
    ASSERT_EQ(Walk(fixtures::CatalogXml({Other("041-1"), first, Other("041-2"), second}), entries),
              XmlResult::Parsed);
    ASSERT_EQ(entries.size(), 2u);
    const RecoveryEntry& entry = entries[0];
    EXPECT_EQ(entry.SourceName, kPattern);
    EXPECT_EQ(entry.SmdUrl, first.metadataUrl);
    EXPECT_EQ(entry.MetadataURL, first.packageMetadataUrl);
    EXPECT_EQ(entry.URL, first.packageUrl);
    EXPECT_EQ(entry.Size, "474525688");
    EXPECT_EQ(entry.Digest, first.digest);
    EXPECT_EQ(entry.PostDate, "2015-09-16 17:29:47");
    EXPECT_TRUE(entry.Title.empty());
    EXPECT_EQ(entries[1].URL, second.packageUrl);
    EXPECT_EQ(entries[1].Size, "12");
    EXPECT_EQ(entries[1].PostDate, "2016-02-29 23:59:01");
}

// Products with more than one package: the entry's values all come from one of them.
TEST_F(CatalogWalkTest, OnePackagesValuesStayTogether) {
    CatalogProduct product = Recovery("031-1");
    const fixtures::CatalogPackage chunklist{"http://127.0.0.1:8080/031-1/BaseSystem.chunklist",
                                             "2036", "", ""};
    const fixtures::CatalogPackage meta{"http://127.0.0.1:8080/031-1/RecoveryHDMeta.pkg", "99",
                                        "ffffffffffffffffffffffffffffffffffffffff",
                                        "http://127.0.0.1:8080/031-1/RecoveryHDMeta.pkm"};
    struct Case {
        const char* what;
        std::vector<fixtures::CatalogPackage> packages;  // the product's, in order
        size_t chosen;
    };
    const fixtures::CatalogPackage first{product.packageUrl, product.size, product.digest,
                                         product.packageMetadataUrl};
    const Case cases[] = {
        {"a second package without metadata", {first, chunklist}, 0},
        {"a second package with metadata", {first, meta}, 0},
        {"only the second has metadata", {chunklist, meta}, 1},
        {"none has metadata", {chunklist, {first.url, first.size, first.digest, ""}}, 0},
    };
    for (const Case& c : cases) {
        product.packageUrl = c.packages[0].url;
        product.size = c.packages[0].size;
        product.digest = c.packages[0].digest;
        product.packageMetadataUrl = c.packages[0].metadataUrl;
        product.morePackages.assign(c.packages.begin() + 1, c.packages.end());
        std::vector<RecoveryEntry> entries;
        ASSERT_EQ(Walk(fixtures::CatalogXml({product, Other("041-2")}), entries),
                  XmlResult::Parsed);
        ASSERT_EQ(entries.size(), 1u) << c.what;
        const fixtures::CatalogPackage& chosen = c.packages[c.chosen];
        EXPECT_EQ(entries[0].URL, chosen.url) << c.what;
        EXPECT_EQ(entries[0].Size, chosen.size) << c.what;
        EXPECT_EQ(entries[0].Digest, chosen.digest) << c.what;
        EXPECT_EQ(entries[0].MetadataURL, chosen.metadataUrl) << c.what;
        EXPECT_EQ(entries[0].PostDate, "2015-09-16 17:29:47") << c.what;
    }
}

TEST_F(CatalogWalkTest, AnEntryEndsWithItsProductEvenWithoutDistributions) {
    std::string xml = fixtures::CatalogXml({Recovery("031-1"), Other("041-2")});
    size_t from = xml.find("\t\t\t<key>Packages");
    xml.erase(from, xml.find("\n\t\t</dict>", from) + 1 - from);
    std::vector<RecoveryEntry> entries;
    ASSERT_EQ(Walk(xml, entries), XmlResult::Parsed);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].URL, "");
    EXPECT_EQ(entries[0].PostDate, "");
}

TEST_F(CatalogWalkTest, LaterValuesOverwriteButTheFirstPostDateStays) {
    std::vector<RecoveryEntry> entries;
    const std::string xml =
        "<plist><dict><key>p</key><dict>"
        "<key>ServerMetadataURL</key><string>http://h/RecoveryHDUpdate.smd</string>"
        "<key>PostDate</key><date>2015-01-01T01:01:01Z</date>"
        "<key>URL</key><string>http://h/a.pkg</string><string>http://h/b.pkg</string>"
        "<key>PostDate</key><date>2016-01-01T01:01:01Z</date>"
        "<key>Distributions</key><dict/>"
        "<key>URL</key><string>http://h/after.pkg</string>"
        "</dict></dict></plist>";
    ASSERT_EQ(Walk(xml, entries), XmlResult::Parsed);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].URL, "http://h/b.pkg");
    EXPECT_EQ(entries[0].PostDate, "2015-01-01 01:01:01");
}

TEST_F(CatalogWalkTest, ACatalogWithoutRecoveryProductsGivesNoEntries) {
    std::vector<RecoveryEntry> entries(1);
    ASSERT_EQ(Walk(fixtures::CatalogXml({Other("041-1"), Other("041-2")}), entries),
              XmlResult::Parsed);
    EXPECT_TRUE(entries.empty());
}

TEST_F(CatalogWalkTest, EveryWalkStartsOutsideAnEntry) {
    // This catalog ends inside an entry: no Distributions key follows its metadata.
    std::vector<RecoveryEntry> entries;
    ASSERT_EQ(Walk("<plist><dict><key>p</key><dict><key>ServerMetadataURL</key>"
                   "<string>http://h/RecoveryHDUpdate.smd</string><key>URL</key></dict></dict>"
                   "</plist>",
                   entries),
              XmlResult::Parsed);
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_EQ(Walk(fixtures::CatalogXml({Recovery("031-1")}), entries), XmlResult::Parsed);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].SmdUrl, Recovery("031-1").metadataUrl);
    EXPECT_EQ(entries[0].URL, Recovery("031-1").packageUrl);
}

TEST_F(CatalogWalkTest, MalformedXmlKeepsTheEntriesAndTellsWhere) {
    std::vector<RecoveryEntry> entries(2);
    std::string xml = fixtures::CatalogXml({Recovery("031-1")});
    xml.insert(xml.find("<key>Distributions"), "<key>Bad</string>");
    ASSERT_EQ(Walk(xml, entries), XmlResult::Malformed);
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(error.message, "mismatched tag");
    // Expat places a mismatched end tag at its name.
    size_t at = xml.find("</string><key>Distributions") + 2;
    size_t lineStart = xml.rfind('\n', at) + 1;
    EXPECT_EQ(error.line, 1u + std::count(xml.begin(), xml.begin() + long(at), '\n'));
    EXPECT_EQ(error.column, at - lineStart + 1);
}

TEST_F(CatalogWalkTest, EmptyOrUnreadableFilesAreNoCatalog) {
    std::vector<RecoveryEntry> entries;
    EXPECT_EQ(Walk("", entries), XmlResult::Malformed);
    EXPECT_EQ(error.message, "no element found");
    EXPECT_EQ(recovery::WalkCatalog(scratch.file("missing.xml"), kPattern, entries, error),
              XmlResult::NoDocument);
}

TEST_F(CatalogWalkTest, TextsSplitAcrossReadBlocksArriveWhole) {
    std::string path = scratch.file("large.xml");
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    int expected = fixtures::WriteLargeCatalog(file, 3 << 20, 1);
    std::fclose(file);
    std::vector<RecoveryEntry> entries;
    ASSERT_EQ(recovery::WalkCatalog(path, kPattern, entries, error), XmlResult::Parsed);
    ASSERT_EQ(int(entries.size()), expected);
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string base = "http://127.0.0.1/content/downloads/" + std::to_string(i) + "/";
        ASSERT_EQ(entries[i].URL, base + "RecoveryHDUpdate.pkg") << i;
        ASSERT_EQ(entries[i].SmdUrl, base + "RecoveryHDUpdate.smd") << i;
        ASSERT_EQ(entries[i].Size, "123456789") << i;
    }
}

TEST_F(CatalogWalkTest, DeepNestingAndLongTextsStayBounded) {
    std::vector<RecoveryEntry> entries;
    std::string deep;
    for (size_t i = 0; i < recovery::kMaxDepth + 1; ++i) deep += "<a>";
    ASSERT_EQ(Walk(deep, entries), XmlResult::Malformed);
    EXPECT_EQ(error.message, "elements nested too deeply");

    std::string longUrl(3 * recovery::kMaxOwnText, 'x');
    ASSERT_EQ(Walk("<plist><string>RecoveryHDUpdate.smd" + longUrl + "</string></plist>", entries),
              XmlResult::Parsed);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].SmdUrl.size(), recovery::kMaxOwnText);

    // The cut falls inside a two-byte character: the text ends before it.
    std::string accents;
    for (size_t i = 0; i < recovery::kMaxOwnText; ++i) accents += "\xC3\xA9";
    ASSERT_EQ(Walk("<plist><string>RecoveryHDUpdate.smd!" + accents + "</string></plist>", entries),
              XmlResult::Parsed);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].SmdUrl.size(), recovery::kMaxOwnText - 1);
    EXPECT_EQ(entries[0].SmdUrl.substr(entries[0].SmdUrl.size() - 2), "\xC3\xA9");
}

// One tag or comment that never ends would make expat hold all of it in memory.
TEST_F(CatalogWalkTest, HugeMarkupStopsTheParseWhereItStarts) {
    const std::string huge(3 << 20, 'a');
    const std::pair<const char*, std::string> cases[] = {
        {"element name", "<" + huge + "/>"},
        {"attribute value", "<pkg-info identifier=\"" + huge + "\"/>"},
        {"comment", "<!--" + huge + "-->"},
    };
    for (const auto& [what, markup] : cases) {
        std::vector<RecoveryEntry> entries;
        std::string xml = "<plist>\n<dict>" + markup + "</dict></plist>";
        ASSERT_EQ(Walk(xml, entries), XmlResult::Malformed) << what;
        EXPECT_EQ(error.message, "markup too long") << what;
        EXPECT_EQ(error.line, 2u) << what;
        EXPECT_EQ(error.column, 7u) << what;
        recovery::RootAttribute identifier("identifier");
        EXPECT_EQ(recovery::ParseXmlText(xml, identifier, error), XmlResult::Malformed) << what;
        EXPECT_EQ(error.message, "markup too long") << what;
    }
}

class MetadataTest : public CatalogWalkTest {};

TEST_F(MetadataTest, TheEnglishTitleIsFoundAmongTheLocalizations) {
    std::string path = scratch.file("RecoveryHDUpdate.smd");
    test::WriteFile(path, fixtures::SmdXml("OS X Recovery HD Update"));
    std::string title = "old";
    ASSERT_EQ(recovery::FindLocalizedTitle(path, "title", title, error), XmlResult::Parsed);
    EXPECT_EQ(title, "OS X Recovery HD Update");

    // Without an English localization nothing is stored.
    test::WriteFile(path,
                    "<plist><dict><key>French</key><dict><key>title</key>"
                    "<string>Mise</string></dict></dict></plist>");
    ASSERT_EQ(recovery::FindLocalizedTitle(path, "title", title, error), XmlResult::Parsed);
    EXPECT_EQ(title, "OS X Recovery HD Update");
}

TEST_F(MetadataTest, EveryTitleSearchStartsFresh) {
    // The first file leaves the search waiting for a title.
    std::string path = scratch.file("first.smd");
    test::WriteFile(path, "<plist><key>English</key><key>title</key></plist>");
    std::string title;
    ASSERT_EQ(recovery::FindLocalizedTitle(path, "title", title, error), XmlResult::Parsed);
    test::WriteFile(path, "<plist><string>not a title</string></plist>");
    ASSERT_EQ(recovery::FindLocalizedTitle(path, "title", title, error), XmlResult::Parsed);
    EXPECT_EQ(title, "");
}

TEST(RecoveryTitle, RevisionFromIdentifier) {
    EXPECT_EQ(recovery::RevisionFromIdentifier("com.apple.pkg.RecoveryHDUpdate.15A204h"),
              "15A204h");
    EXPECT_EQ(recovery::RevisionFromIdentifier("no-dot"), "");
    EXPECT_EQ(recovery::RevisionFromIdentifier("com.apple.pkg.a b"), "");
    EXPECT_EQ(recovery::RevisionFromIdentifier("com.apple/pkg.x/y"), "");
    EXPECT_EQ(recovery::RevisionFromIdentifier("com.apple.pkg.x\\y"), "");
    EXPECT_EQ(recovery::RevisionFromIdentifier("com.apple.14F27\"rest"), "14F27");
    EXPECT_EQ(recovery::RevisionFromIdentifier("ends.with.dot."), "");
}

TEST(RecoveryTitle, RevisionDateAndSizeJoinTheTitle) {
    RecoveryEntry entry;
    entry.Title = "OS X Recovery HD Update";
    entry.Revision = "15A204h";
    entry.PostDate = "2015-09-16 17:29:47";
    entry.Size = "474525688";
    recovery::AddRevisionToTitle(entry);
    EXPECT_EQ(entry.Title, "(15A204h) OS X Recovery HD Update 2015-09-16 453 MB");

    for (const char* size : {"0", "none", "", "-5"}) {
        entry.Title = "T";
        entry.Size = size;
        recovery::AddRevisionToTitle(entry);
        EXPECT_EQ(entry.Title, "(15A204h) T 2015-09-16") << size;
    }
    entry = {};
    entry.Title = "T";
    entry.Size = "100";
    entry.PostDate = "2015-09-16 17:29:47";
    recovery::AddRevisionToTitle(entry);
    EXPECT_EQ(entry.Title, "T");
}

TEST(RecoveryTitle, NumbersAndDatesAsTheCatalogWritesThem) {
    EXPECT_EQ(recovery::LeadingNumber("474525688"), 474525688);
    EXPECT_EQ(recovery::LeadingNumber("12abc"), 12);
    EXPECT_EQ(recovery::LeadingNumber("abc"), 0);
    EXPECT_EQ(recovery::LeadingNumber("99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(recovery::PostDateFromCatalog("2015-09-16T17:29:47Z"), "2015-09-16 17:29:47");
}

TEST(RecoveryTitle, TheIdentifierIsAnAttributeOfTheRootOnly) {
    recovery::RootAttribute identifier("identifier");
    XmlError error;
    ASSERT_EQ(recovery::ParseXmlText(
                  fixtures::PackageMetadataXml("com.apple.pkg.RecoveryHDUpdate.15A204h"),
                  identifier, error),
              XmlResult::Parsed);
    EXPECT_EQ(identifier.Value(), "com.apple.pkg.RecoveryHDUpdate.15A204h");
    recovery::RootAttribute missing("identifier");
    ASSERT_EQ(
        recovery::ParseXmlText("<pkg-info><child identifier=\"a.b\"/></pkg-info>", missing, error),
        XmlResult::Parsed);
    EXPECT_FALSE(missing.Found());
}

}  // namespace
