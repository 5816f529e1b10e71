#include "download/download_callbacks.h"

#include "core/progress.h"
#include "core/state.h"
#include "tests/test_support.h"

namespace {

using namespace download;

TEST(DownloadCaptions, KnownTotalWithSpeedAndRemainingTime) {
    ProgressCaption caption =
        DownloadProgressCaption("C:\\tmp\\CloverISO-5151.tar.lzma", 1048576, 4194304, 2);
    EXPECT_EQ(caption.percent, 25);
    EXPECT_EQ(caption.text, "25% CloverISO-5151.tar.lzma (1.0 MB/4.0 MB) 512.0 KB/s Remain: " +
                                core::FormatDuration(6));
}

TEST(DownloadCaptions, NoPercentageOrRemainingTimeWithoutTotalOrSpeed) {
    ProgressCaption unknown = DownloadProgressCaption("/tmp/SUCatalog", 2048, 0, 2);
    EXPECT_EQ(unknown.percent, 0);
    EXPECT_EQ(unknown.text, "SUCatalog (2.0 KB/Unknown) 1.0 KB/s");
    // Fewer bytes than seconds: the speed is 0 and there is no time to tell.
    ProgressCaption stalled = DownloadProgressCaption("f", 3, 1000, 10);
    EXPECT_EQ(stalled.text, "0% f (3 B/1000 B) 0 B/s");
    ProgressCaption instant = DownloadProgressCaption("f", 500, 1000, 0);
    EXPECT_EQ(instant.text, "50% f (500 B/1000 B)");
}

TEST(DownloadCaptions, ResumeNotice) {
    EXPECT_EQ(ResumeNoticeCaption(666, 1000, 3).text,
              "67% ERROR, Attempt to resume downloading, #3 ...");
    EXPECT_EQ(ResumeNoticeCaption(666, 1000, 3).percent, 67);
    EXPECT_EQ(ResumeNoticeCaption(666, 0, 1).text, "ERROR, Attempt to resume downloading, #1 ...");
}

class DownloadReportTest : public test::AppTest {};

TEST_F(DownloadReportTest, EveryFailureIsShownSuccessIsNot) {
    DownloadRequest request;
    request.FileName = "/tmp/x.bin";
    request.HttpStatus = 404;
    ReportDownloadResult(request, kDownloadOk, 0, 0, 0);
    EXPECT_EQ(output().find("WEB_OK"), std::string::npos);
    ReportDownloadResult(request, kHttpStatusError, 0, 0, 0);
    ReportDownloadResult(request, kDownloadAborted, 0, 0, 0);
    ReportDownloadResult(request, 99, 0, 0, 0);
    std::string out = output();
    EXPECT_NE(out.find("[Error] Warning: HTTP status code = 404"), std::string::npos) << out;
    EXPECT_NE(out.find("[Information] Download aborted"), std::string::npos) << out;
    EXPECT_NE(out.find("Unexpected error = 99"), std::string::npos) << out;
}

TEST_F(DownloadReportTest, ProgressHonoursTheCancelFlag) {
    DownloadRequest request;
    request.FileName = "/tmp/x.bin";
    EXPECT_EQ(ShowDownloadProgress(request, 10, 100, 0), 1);
    core::TransferCancelFlag = 1;
    EXPECT_EQ(ShowDownloadProgress(request, 20, 100, 0), 0);
    core::TransferCancelFlag = 0;
    EXPECT_NE(output().find("File x.bin Download aborted"), std::string::npos);
}

}  // namespace
