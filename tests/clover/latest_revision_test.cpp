#include "download/latest_revision.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "app/main_window.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "tests/test_support.h"

namespace {

using Revisions = std::vector<int32_t>;

// A listing transfer that ended with the code, holding the page when there is one.
download::DownloadRequest Finished(int32_t code, const std::string& page = "") {
    download::DownloadRequest request;
    request.Mode = download::kIntoMemory;
    request.Result = code;
    if (!page.empty() && request.Buffer.Resize(int64_t(page.size())))
        std::memcpy(request.Buffer.data(), page.data(), page.size());
    return request;
}

class LatestRevision : public test::AppTest {
protected:
    LatestRevision() {
        // Three hours ahead of UTC, without daylight saving.
        const char* zone = std::getenv("TZ");
        if (zone) savedZone_ = zone;
        setenv("TZ", "XYZ-3", 1);
        tzset();
        app::BuildMainWindow();
        core::DownloadRevisions = {1234};
        download::SetRevisionCheckView([this](bool found) { views_.push_back(found); });
    }
    ~LatestRevision() override {
        download::SetRevisionCheckView(nullptr);
        if (savedZone_.empty())
            unsetenv("TZ");
        else
            setenv("TZ", savedZone_.c_str(), 1);
        tzset();
    }

    int32_t Parse(download::DownloadRequest& request) {
        return download::ParseRevisionListing(request, request.Result, request.Buffer.size(),
                                              request.Buffer.size(), 0);
    }
    std::string MenuTitle() {
        auto windows = toolkit().Windows();
        for (const ui::Menu& menu : windows[core::MainWindow].menus)
            if (menu.id == core::LatestCloverMenu) return menu.title;
        return "";
    }
    void OpenConfiguration() {
        toolkit().OpenWindow({core::ConfigurationWindow,
                              "Configuration",
                              {275, 465},
                              std::nullopt,
                              ui::WindowStyle::Dialog,
                              core::MainWindow});
    }
    std::vector<bool> views_;

private:
    std::string savedZone_;
};

TEST_F(LatestRevision, TheHighestOfTheDistinctRevisionsBecomesTheLatest) {
    auto request = Finished(download::kDownloadOk,
                            "<a href=\"CloverISO-3330.tar.lzma/download\">CloverISO-3330.tar.lzma"
                            "</a> <a>CloverISO-999.tar.lzma</a>");
    EXPECT_EQ(Parse(request), 0);
    EXPECT_EQ(request.Result, download::kDownloadOk);
    EXPECT_EQ(core::DownloadRevisions, (Revisions{3330, 999}));
    EXPECT_EQ(core::CloverLastRev, "3330");
    EXPECT_EQ(core::DownloadRevision, "3330");
    // The instant clock stands at 1700000001 s: 22:13:21 UTC on 14 November 2023.
    EXPECT_EQ(core::CloverLastRevCheckDate, "15.11.23 01:13:21");
    EXPECT_EQ(MenuTitle(), " Latest Clover: r3330");
    EXPECT_EQ(toolkit().StatusLines().back(), "Found Latest Clover r3330");
    EXPECT_TRUE(request.Buffer.empty());
    EXPECT_TRUE(views_.empty()) << "the dialog is closed";
}

TEST_F(LatestRevision, TheOpenDialogIsToldOfTheFinding) {
    OpenConfiguration();
    auto request = Finished(download::kDownloadOk, "CloverISO-03330.tar.lzma");
    Parse(request);
    EXPECT_EQ(core::DownloadRevisions, (Revisions{3330}));
    EXPECT_EQ(views_, (std::vector<bool>{true}));
}

TEST_F(LatestRevision, APageWithoutArchivesIsAFailedCheckWithABox) {
    core::CloverLastRev = "1234";
    core::CloverLastRevCheckDate = "01.02.20 03:04:05";
    std::string title = MenuTitle();
    auto request = Finished(download::kDownloadOk, "<html>No files here</html>");
    Parse(request);
    EXPECT_EQ(request.Result, 6);
    EXPECT_EQ(core::CloverLastRev, "0");
    EXPECT_EQ(core::CloverLastRevCheckDate, "01.02.20 03:04:05");
    EXPECT_EQ(core::DownloadRevisions, (Revisions{1234}));
    EXPECT_EQ(core::DownloadRevision, "0");
    EXPECT_NE(output().find("[Error] Warning: Not Found standart Clover archive distribution "
                            "file:\nCloverISO-NNNN.tar.lzma"),
              std::string::npos)
        << output();
    EXPECT_EQ(MenuTitle(), title);
}

TEST_F(LatestRevision, AFailedTransferIsReportedOnTheStatusLineOnly) {
    auto request = Finished(download::kHttpStatusError);
    request.HttpStatus = 404;
    Parse(request);
    EXPECT_EQ(toolkit().StatusLines().back(), "HTTP status code = 404");
    EXPECT_EQ(output().find("[Error]"), std::string::npos);
    EXPECT_EQ(core::CloverLastRev, "0");
    EXPECT_EQ(core::DownloadRevisions, (Revisions{1234})) << "the dialog is closed";

    request = Finished(download::kBadParameters);
    Parse(request);
    EXPECT_EQ(toolkit().StatusLines().back(), "Check procedure parameters");
    request = Finished(3);
    Parse(request);
    EXPECT_EQ(toolkit().StatusLines().back(), "Unexpected error = 3");
}

TEST_F(LatestRevision, AFailedTransferEmptiesTheListTheOpenDialogOffers) {
    OpenConfiguration();
    auto request = Finished(download::kConnectError);
    Parse(request);
    EXPECT_EQ(toolkit().StatusLines().back(), "Error opening the session to the given site");
    EXPECT_TRUE(core::DownloadRevisions.empty());
    EXPECT_EQ(views_, (std::vector<bool>{false}));
}

}  // namespace
