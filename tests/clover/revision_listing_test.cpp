#include "download/revision_listing.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "download/clover_addresses.h"
#include "download/github_releases.h"

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

// The releases API's answer as GitHub gives it: every Clover-NNNN-X64.iso.7z asset once,
// in the order listed, with its digest when one is published as sha256.
TEST(GithubReleases, EveryCloverArchiveWithItsDigest) {
    const std::string hex(64, 'a');
    auto archives = download::ArchivesInReleases(R"([
      {"tag_name": "5172", "assets": [
        {"name": "Clover-5172-X64.iso.7z", "digest": "sha256:)" +
                                                 std::string(64, 'A') + R"(",
         "browser_download_url": "https://github.com/r/download/5172/Clover-5172-X64.iso.7z"},
        {"name": "CloverV2-5172.zip", "digest": "sha256:00",
         "browser_download_url": "https://github.com/r/CloverV2-5172.zip"}]},
      {"tag_name": "5160", "assets": [
        {"name": "Clover-5160-X64.iso.7z", "digest": null,
         "browser_download_url": "https://github.com/r/Clover-5160-X64.iso.7z"},
        {"name": "Clover-5159-X64.iso.7z", "digest": "sha512:ff",
         "browser_download_url": "http://127.0.0.1:8080/Clover-5159-X64.iso.7z"}]},
      {"tag_name": "again", "assets": [
        {"name": "Clover-5172-X64.iso.7z", "browser_download_url": "https://elsewhere/x"}]},
      {"tag_name": "odd", "assets": [
        {"name": "Clover-5150-X64.iso.7z", "browser_download_url": "file:///etc/passwd"},
        {"name": "Clover-+5149-X64.iso.7z", "browser_download_url": "https://x/y"},
        {"name": "Clover-4294967296-X64.iso.7z", "browser_download_url": "https://x/y"},
        {"name": 5148, "browser_download_url": "https://x/y"},
        "not an asset"]},
      {"tag_name": "no assets"}, 17])");
    ASSERT_TRUE(archives);
    ASSERT_EQ(archives->size(), 3u);
    EXPECT_EQ((*archives)[0].revision, 5172);
    EXPECT_EQ((*archives)[0].url, "https://github.com/r/download/5172/Clover-5172-X64.iso.7z");
    EXPECT_EQ((*archives)[0].sha256, hex);
    EXPECT_EQ((*archives)[1].revision, 5160);
    EXPECT_EQ((*archives)[1].sha256, "");  // none published
    EXPECT_EQ((*archives)[2].revision, 5159);
    EXPECT_EQ((*archives)[2].sha256, "");  // not a digest this program can check
}

TEST(GithubReleases, AnAnswerThatIsNoListOfReleasesIsNone) {
    for (const char* answer :
         {"", "{\"message\": \"API rate limit exceeded\"}", "[{\"assets\": [", "<html>"})
        EXPECT_FALSE(download::ArchivesInReleases(answer)) << answer;
    auto none = download::ArchivesInReleases("[]");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

class CloverAddresses : public ::testing::Test {
protected:
    ~CloverAddresses() override {
        unsetenv("STICKFORGE_CLOVER_HOST");
        unsetenv("STICKFORGE_GITHUB_API");
    }
};

TEST_F(CloverAddresses, GithubsApiOrAMirrorOfItOrNone) {
    unsetenv("STICKFORGE_GITHUB_API");
    EXPECT_EQ(download::GithubReleasesUrl(),
              "https://api.github.com/repos/CloverHackyColor/CloverBootloader/releases"
              "?per_page=100");
    setenv("STICKFORGE_GITHUB_API", "http://127.0.0.1:8080/", 1);
    EXPECT_EQ(download::GithubReleasesUrl(),
              "http://127.0.0.1:8080/repos/CloverHackyColor/CloverBootloader/releases"
              "?per_page=100");
    EXPECT_TRUE(download::GithubAsked());
    setenv("STICKFORGE_GITHUB_API", "off", 1);
    EXPECT_FALSE(download::GithubAsked());
    setenv("STICKFORGE_CLOVER_HOST", "off", 1);
    EXPECT_FALSE(download::SourceForgeAsked());
}

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
