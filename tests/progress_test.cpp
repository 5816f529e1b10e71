#include "core/progress.h"

#include "app/main_window.h"
#include "core/ids.h"
#include "core/state.h"
#include "disk/format_size.h"
#include "tests/test_support.h"

namespace {

using core::LayoutProgress;
using ui::Rect;

// The status area of the main window: 440 x 16, text 60 x 13.
constexpr ui::Size kArea{440, 16};
constexpr ui::Size kText{60, 13};

TEST(LayoutProgress, DefaultsFillTheControlAndCentreTheText) {
    auto paint = LayoutProgress(kArea, kText, 50, "Working", 0, 0, -1);
    EXPECT_EQ(paint.background, (Rect{0, 0, 440, 16}));
    EXPECT_EQ(paint.bar, (Rect{0, 0, 220, 16}));
    EXPECT_EQ(paint.textX, 440 / 2 - 60 / 2);
    EXPECT_EQ(paint.textY, (16 - 13) / 2);
}

TEST(LayoutProgress, PercentIsClampedByMagnitude) {
    EXPECT_EQ(LayoutProgress(kArea, kText, 150, "", 0, 0, -1).bar.w, 440);
    EXPECT_EQ(LayoutProgress(kArea, kText, -30, "", 0, 0, -1).bar.w, 132);
    EXPECT_EQ(LayoutProgress(kArea, kText, INT32_MIN, "", 0, 0, -1).bar.w, 440);
    EXPECT_EQ(LayoutProgress(kArea, kText, 0, "", 0, 0, -1).bar.w, 0);
    // Truncating division: 33 % of 440 is 145.2.
    EXPECT_EQ(LayoutProgress(kArea, kText, 33, "", 0, 0, -1).bar.w, 145);
}

TEST(LayoutProgress, MarginsAndTopFollowTheirRules) {
    auto margin = LayoutProgress(kArea, kText, 100, "", 0, 20, -1);
    EXPECT_EQ(margin.background, (Rect{20, 0, 400, 16}));
    EXPECT_EQ(margin.textX, 20 + 200 - 30);
    auto wideMargin = LayoutProgress(kArea, kText, 100, "", 0, 440, -1);
    EXPECT_EQ(wideMargin.background, (Rect{0, 0, 440, 16}));

    auto thinBar = LayoutProgress(kArea, kText, 0, "", 14, 0, 1);
    EXPECT_EQ(thinBar.background, (Rect{0, 1, 440, 14}));
    auto topTooLow = LayoutProgress(kArea, kText, 0, "", 14, 0, 16);
    EXPECT_EQ(topTooLow.background.y, 2);
}

TEST(LayoutProgress, TallTextGrowsTheBar) {
    // 20 px text in a 10 px bar: the bar becomes 24 px, rounded, and sits at the bottom.
    auto paint = LayoutProgress({440, 30}, {50, 20}, 10, "", 10, 0, -1);
    EXPECT_EQ(paint.background, (Rect{0, 6, 440, 24}));
    EXPECT_EQ(paint.textY, 6 + 2);
    auto rounding = LayoutProgress({440, 30}, {50, 11}, 10, "", 9, 0, -1);
    EXPECT_EQ(rounding.background.h, 13);  // 13.2 rounds down
}

class RecordingTaskbar : public ui::TaskbarProgress {
public:
    std::vector<std::pair<char, int32_t>>* calls;
    explicit RecordingTaskbar(std::vector<std::pair<char, int32_t>>* c) : calls(c) {}
    int32_t GetState() const override { return 0; }
    int32_t GetValue() const override { return 0; }
    void SetState(int32_t s) override { calls->push_back({'s', s}); }
    void SetValue(int32_t v) override { calls->push_back({'v', v}); }
};

class DrawProgressTest : public test::AppTest {};

TEST_F(DrawProgressTest, MirrorsOnTheTaskbarInOrder) {
    app::BuildMainWindow();
    std::vector<std::pair<char, int32_t>> calls;
    core::TaskbarProgress = std::make_unique<RecordingTaskbar>(&calls);
    core::DrawProgress(core::ProgressBar, 150, "Copy", 0, 0, -1);
    core::DrawProgress(core::ProgressBar, 0, "Done", 0, 0, -1);
    using Call = std::pair<char, int32_t>;
    EXPECT_EQ(calls, (std::vector<Call>{{'s', 2}, {'v', 100}, {'v', 0}, {'s', 0}}));
    core::TaskbarProgress.reset();
    EXPECT_EQ(toolkit().StatusLines(), (std::vector<std::string>{"Copy [100%]", "Done"}));
}

TEST_F(DrawProgressTest, ShowStatusNeedsTheMainWindowAndText) {
    core::ShowStatus("too early", 2000);
    app::BuildMainWindow();
    core::ShowStatus("", 2000);
    core::ShowStatus("Wait", 0);
    EXPECT_EQ(toolkit().StatusLines(), (std::vector<std::string>{"Wait"}));
}

TEST(FormatDuration, ShowsOnlyTheLeadingUnitsThatMatter) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "00 s "},
        {5, "05 s "},
        {75, "01 m 15 s "},
        {3725, "01 h 02 m 05 s "},
        {86400, "1 d 00 h 00 m 00 s "},
        {90061, "1 d 01 h 01 m 01 s "},
        {604800, "1 w 0 d 00 h 00 m 00 s "},
        {694861, "1 w 1 d 01 h 01 m 01 s "},
        {int64_t(52) * 604800 + 59, "52 w 0 d 00 h 00 m 59 s "},
    };
    for (auto [seconds, text] : cases) EXPECT_EQ(core::FormatDuration(seconds), text) << seconds;
}

TEST(FormatSize, UsesSinglePrecisionUnitsWithAnExtraDigitFromGigabytes) {
    const std::tuple<int64_t, uint8_t, const char*> cases[] = {
        {0, 0, "0 B"},
        {512, 0, "512 B"},
        {1023, 0, "1023 B"},
        {1024, 0, "1 KB"},
        {1536, 1, "1.5 KB"},
        {209715200, 0, "200 MB"},
        {1073741823, 0, "1.0 GB"},  // just below 1 GiB: single precision rounds it up
        {15518924800, 0, "14.5 GB"},
        {4000787030016, 0, "3.6 TB"},
        {8011120640, 2, "7.461 GB"},
    };
    for (auto [bytes, decimals, text] : cases)
        EXPECT_EQ(disk::FormatSize(bytes, decimals), text) << bytes;
}

}  // namespace
