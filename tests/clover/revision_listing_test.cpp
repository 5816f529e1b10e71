#include "download/revision_listing.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "download/clover_addresses.h"

namespace {

using download::RevisionsInListing;
using Revisions = std::vector<int32_t>;

TEST(RevisionListing, DistinctRevisionsInNumericOrderHighestFirst) {
    EXPECT_EQ(RevisionsInListing("<a href=\"CloverISO-999.tar.lzma\">CloverISO-3330.tar.lzma</a>"
                                 "<a>CloverISO-3330.tar.lzma</a> CloverISO-4000.tar.lzma"),
              (Revisions{4000, 3330, 999}));
}

TEST(RevisionListing, LeadingZerosVanish) {
    EXPECT_EQ(RevisionsInListing("CloverISO-03330.tar.lzma CloverISO-3330.tar.lzma"),
              (Revisions{3330}));
}

TEST(RevisionListing, AnyDigitsBeforeTheEndingCount) {
    EXPECT_EQ(RevisionsInListing("Clover_v2.3k_r4097.tar.lzma"), (Revisions{4097}));
    EXPECT_EQ(RevisionsInListing("12.tar.lzma34.tar.lzma"), (Revisions{34, 12}));
}

TEST(RevisionListing, NoMatchGivesNothing) {
    EXPECT_TRUE(RevisionsInListing("").empty());
    EXPECT_TRUE(
        RevisionsInListing("CloverISO-.tar.lzma CloverISO-4000.tar.xz 4000.tar lzma").empty());
}

TEST(RevisionListing, BytesThatAreNoTextDoNotStopTheSearch) {
    std::string page = std::string("\xff\xfe") + '\0' + "CloverISO-5100.tar.lzma\xc3";
    EXPECT_EQ(RevisionsInListing(page), (Revisions{5100}));
}

TEST(RevisionListing, NumbersBeyondThirtyTwoBitsAreNoRevisions) {
    EXPECT_EQ(RevisionsInListing("CloverISO-4294967296.tar.lzma CloverISO-2147483647.tar.lzma"
                                 " CloverISO-0002147483647.tar.lzma"),
              (Revisions{2147483647}));
}

class CloverAddresses : public ::testing::Test {
protected:
    ~CloverAddresses() override { unsetenv("STICKFORGE_CLOVER_HOST"); }
};

TEST_F(CloverAddresses, TheProjectsHostOverHttps) {
    unsetenv("STICKFORGE_CLOVER_HOST");
    EXPECT_EQ(download::CloverListingUrl(),
              "https://sourceforge.net/projects/cloverefiboot/files/Bootable_ISO/");
    EXPECT_EQ(download::CloverArchiveUrl("5151"),
              "https://sourceforge.net/projects/cloverefiboot/files/Bootable_ISO/"
              "CloverISO-5151.tar.lzma/download");
}

TEST_F(CloverAddresses, AMirrorReplacesSchemeAndHost) {
    setenv("STICKFORGE_CLOVER_HOST", "http://127.0.0.1:8080/", 1);
    EXPECT_EQ(download::CloverListingUrl(),
              "http://127.0.0.1:8080/projects/cloverefiboot/files/Bootable_ISO/");
    EXPECT_EQ(download::CloverArchiveUrl("5151"),
              "http://127.0.0.1:8080/projects/cloverefiboot/files/Bootable_ISO/"
              "CloverISO-5151.tar.lzma/download");
}

}  // namespace
