// The packed-resource format: what the build's packer writes, and the resources it
// embedded in the program.
#include <gtest/gtest.h>
#include <lzma.h>
#include <zip.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "buildtools/packer/resource_packer.h"
#include "resources/lzma_stream.h"
#include "resources/packed_resources.h"
#include "resources/resource_format.h"
#include "tests/zip_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Little32(const Bytes& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Compressible text with some noise, large enough for long matches.
Bytes Sample(size_t size) {
    std::mt19937 random(7);
    Bytes bytes;
    while (bytes.size() < size) {
        std::string line = "line " + std::to_string(random() % 500) + " of the sample\n";
        bytes.insert(bytes.end(), line.begin(), line.end());
    }
    bytes.resize(size);
    return bytes;
}

std::vector<buildtools::PackEntry> Entries() {
    return {{"7z.dll", Sample(200000), 1451606400, false},
            {"7z.exe", Sample(70000), 1451606400, true},
            {"sub/readme.txt", Text("hello"), 1451606400, false}};
}

Bytes Decode(const Bytes& resource) {
    auto header = resources::ReadResourceHeader(resource);
    if (!header) return {};
    Bytes out(header->unpackedSize);
    size_t produced =
        resources::DecodeLzma(std::span(resource).subspan(resources::kResourceHeaderBytes), out);
    out.resize(produced);
    return out;
}

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(ResourcePacker, RoundTripGivesBackTheStoredZip) {
    Bytes zip = buildtools::StoredZip(Entries());
    ASSERT_FALSE(zip.empty());
    test::ZipListing listing = test::ListZip(AsString(zip));
    EXPECT_EQ(listing.names, (std::vector<std::string>{"7z.dll", "7z.exe", "sub/readme.txt"}));
    EXPECT_EQ(listing.methods, (std::vector<int>{ZIP_CM_STORE, ZIP_CM_STORE, ZIP_CM_STORE}));

    Bytes resource = buildtools::PackResource(zip);
    ASSERT_GT(resource.size(), 17u);
    EXPECT_LT(resource.size(), zip.size() / 4);  // the LZMA layer does the compressing
    EXPECT_EQ(Decode(resource), zip);
}

TEST(ResourcePacker, HeaderFieldsAreTheFormats) {
    Bytes zip = buildtools::StoredZip(Entries());
    Bytes resource = buildtools::PackResource(zip);
    ASSERT_FALSE(resource.empty());
    EXPECT_EQ(Little32(resource, 0), zip.size());
    EXPECT_EQ(Little32(resource, 4), resource.size() - 12);
    EXPECT_EQ(Little32(resource, 8), resources::Crc32(zip));
    EXPECT_EQ(resource[12], 0x5D);
    EXPECT_EQ(Little32(resource, 13), 0x01000000u);
}

// A decoder that refuses an end marker and must use up the whole stream: the packer
// wrote exactly the range coder's bytes for the data and nothing after them.
TEST(ResourcePacker, StreamHasNoEndMarker) {
    Bytes zip = buildtools::StoredZip(Entries());
    Bytes resource = buildtools::PackResource(zip);
    ASSERT_FALSE(resource.empty());
    lzma_options_lzma options{};
    options.lc = 3;
    options.pb = 2;
    options.dict_size = 1 << 24;
    options.ext_flags = 0;
    lzma_set_ext_size(options, zip.size());
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    resources::LzmaStream stream;
    ASSERT_EQ(lzma_raw_decoder(stream.get(), filters), LZMA_OK);
    Bytes out(zip.size() + 16);
    stream.get()->next_in = resource.data() + 17;
    stream.get()->avail_in = resource.size() - 17;
    stream.get()->next_out = out.data();
    stream.get()->avail_out = out.size();
    EXPECT_EQ(lzma_code(stream.get(), LZMA_FINISH), LZMA_STREAM_END);
    EXPECT_EQ(stream.get()->total_out, zip.size());
    EXPECT_EQ(stream.get()->avail_in, 0u);
}

TEST(ResourcePacker, NothingToPackGivesNothing) {
    EXPECT_TRUE(buildtools::StoredZip({}).empty());
    EXPECT_TRUE(buildtools::PackResource({}).empty());
}

TEST(ResourceFormat, DecodingStopsAtTheBufferAndReportsShortStreams) {
    Bytes zip = buildtools::StoredZip(Entries());
    Bytes resource = buildtools::PackResource(zip);
    ASSERT_FALSE(resource.empty());
    std::span<const uint8_t> lzma = std::span(resource).subspan(12);

    Bytes shorter(zip.size() - 1000);
    EXPECT_EQ(resources::DecodeLzma(lzma, shorter), shorter.size());
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), zip.begin()));

    Bytes whole(zip.size());
    EXPECT_LT(resources::DecodeLzma(lzma.first(lzma.size() / 2), whole), zip.size());
    EXPECT_EQ(resources::DecodeLzma(lzma.first(3), whole), 0u);
    Bytes badProperties(lzma.begin(), lzma.end());
    badProperties[0] = 225;
    EXPECT_EQ(resources::DecodeLzma(badProperties, whole), 0u);
    EXPECT_FALSE(resources::ReadResourceHeader(std::span(resource).first(11)));
}

TEST(ResourceFormat, Crc32IsZlibs) {
    EXPECT_EQ(resources::Crc32(Text("123456789")), 0xCBF43926u);
    EXPECT_EQ(resources::Crc32({}), 0u);
}

// The resources the build embedded: each decodes whole with a matching CRC into a ZIP of
// stored entries named as the platform's files.
void ExpectResource(std::span<const uint8_t> resource, std::vector<std::string> names) {
    Bytes bytes(resource.begin(), resource.end());
    auto header = resources::ReadResourceHeader(bytes);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->packedSize, bytes.size() - 12);
    Bytes zip = Decode(bytes);
    ASSERT_EQ(zip.size(), header->unpackedSize);
    EXPECT_EQ(resources::Crc32(zip), header->crc);
    test::ZipListing listing = test::ListZip(AsString(zip));
    EXPECT_EQ(listing.names, names);
    for (int method : listing.methods) EXPECT_EQ(method, ZIP_CM_STORE);
}

TEST(EmbeddedResources, ArchiverAndScriptsArePacked) {
    EXPECT_STREQ(resources::ArchiverFileName, "7zz");
    EXPECT_STREQ(resources::CloverScriptFileName, "unpack_clover_iso.sh");
    EXPECT_STREQ(resources::RecoveryScriptFileName, "unpack_rechdupdate_pkg.sh");
    ExpectResource(resources::SevenZipPack, {"7zz"});
    ExpectResource(resources::CloverScriptPack, {"unpack_clover_iso.sh"});
    ExpectResource(resources::RecoveryScriptPack, {"unpack_rechdupdate_pkg.sh"});
}

TEST(EmbeddedResources, DriverPacksHoldBothDriversOrNothing) {
    for (std::span<const uint8_t> pack :
         {resources::HfsDrivers32Pack, resources::HfsDrivers64Pack}) {
        if (pack.empty()) continue;  // the build was given no drivers
        ExpectResource(pack, {"AppleMNT.sys", "AppleHFS.sys"});
    }
}

}  // namespace
