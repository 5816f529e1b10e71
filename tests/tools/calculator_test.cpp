// The FixDsdtMask calculator through the main loop's dispatch, on the console toolkit.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/dispatch.h"
#include "app/main_window.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "tests/test_support.h"
#include "tools/fixdsdt_mask.h"

namespace {

using ui::EventKind;

int Box(int bit) { return core::CalculatorBitFirst + bit; }

class CalculatorTest : public test::AppTest {
protected:
    CalculatorTest() {
        core::VersionText = core::BuildVersionText(19);
        core::CloverLastRev = "Not Checked";
        app::BuildMainWindow();
    }
    void Open(const char* mask) {
        core::FixDsdtMask = mask;
        app::DispatchEvent({EventKind::Menu, core::MainWindow, core::CalculatorItem});
    }
    void Press(int control) {
        app::DispatchEvent({EventKind::Control, core::CalculatorWindow, control});
    }
    // A click toggles the box first, as the check box itself does.
    void Click(int bit) {
        toolkit().SetState(Box(bit), !toolkit().GetState(Box(bit)));
        Press(Box(bit));
    }
    uint32_t Ticked() {
        uint32_t boxes = 0;
        for (int bit = 0; bit < 32; ++bit)
            if (toolkit().GetState(Box(bit))) boxes |= 1u << bit;
        return boxes;
    }
    bool MainEnabled() { return toolkit().Windows().at(core::MainWindow).enabled; }
};

TEST_F(CalculatorTest, OpensOverTheDisabledMainWindowWithTheMaskTicked) {
    Open("87E7FBF1");
    auto windows = toolkit().Windows();
    ASSERT_TRUE(windows.count(core::CalculatorWindow));
    EXPECT_EQ(windows[core::CalculatorWindow].spec.title, "Clover FixDsdtMask Calculator");
    EXPECT_EQ(windows[core::CalculatorWindow].spec.client, (ui::Size{535, 400}));
    EXPECT_FALSE(MainEnabled());
    // Bits 0, 4-9, 11-18, 21-26 and 31 ticked; 1-3, 10, 19, 20 and 27-30 clear.
    EXPECT_EQ(Ticked(), 0x87E7FBF1u);
    EXPECT_EQ(toolkit().GetText(core::CalculatorHexText), "0x87E7FBF1");
    EXPECT_EQ(toolkit().GetText(core::CalculatorBinaryText), "10000111111001111111101111110001");
}

TEST_F(CalculatorTest, LayoutHasTwoColumnsOfSixteenBoxesFromRow35) {
    Open("00000000");
    auto controls = toolkit().Controls();
    for (int row = 0; row < 16; ++row) {
        ui::Rect left = controls.at(Box(row)).rect;
        EXPECT_EQ(left.y, 35 + 20 * row) << row;
        int rightBit = row == 0 ? 31 : 15 + row;
        ui::Rect right = controls.at(Box(rightBit)).rect;
        EXPECT_EQ(right.y, left.y) << rightBit;
        EXPECT_GT(right.x, left.x + left.w - 1) << rightBit;
    }
    EXPECT_EQ(controls.at(core::CalculatorBitsFrame).text, "FIX BITS");
    EXPECT_EQ(controls.at(core::CalculatorMaskFrame).text, "FixDsdtMask");
    EXPECT_EQ(controls.at(core::CalculatorInfoFrame).text, "Info");
    EXPECT_EQ(controls.at(core::CalculatorHexText).style.textColour, 0x0000FF);
    EXPECT_TRUE(controls.at(core::CalculatorInfoText).style.multiLine);
    for (int bit : {29, 30}) {
        EXPECT_EQ(controls.at(Box(bit)).text, "Not yet used");
        EXPECT_FALSE(controls.at(Box(bit)).enabled);
    }
    EXPECT_EQ(controls.at(core::CalculatorFull).text, "Full");
    EXPECT_EQ(controls.at(core::CalculatorClear).text, "Clear");
    EXPECT_EQ(controls.at(core::CalculatorDefault).text, "Default");
    EXPECT_EQ(controls.at(core::CalculatorOk).text, "OK");
    // Inside the client area, and the buttons side by side above the wide OK.
    for (const auto& [id, control] : controls) {
        if (control.window != core::CalculatorWindow) continue;
        EXPECT_LE(control.rect.x + control.rect.w, 535) << id;
        EXPECT_LE(control.rect.y + control.rect.h, 400) << id;
    }
    ui::Rect ok = controls.at(core::CalculatorOk).rect;
    EXPECT_GT(ok.y, controls.at(core::CalculatorFull).rect.y);
    EXPECT_GT(ok.w, controls.at(core::CalculatorFull).rect.w * 2);
}

TEST_F(CalculatorTest, UntickingNewWayCutsTheMaskAndDisablesBits16To26Only) {
    Open("87E7FBF1");
    Click(31);
    EXPECT_EQ(core::FixDsdtMask, "0000FBF1");
    EXPECT_EQ(toolkit().GetText(core::CalculatorHexText), "0x0000FBF1");
    EXPECT_EQ(toolkit().GetText(core::CalculatorInfoFrame), "NewWay_80000000");
    for (int bit = 16; bit <= 26; ++bit) EXPECT_FALSE(toolkit().ControlEnabled(Box(bit))) << bit;
    for (int bit : {27, 28}) EXPECT_TRUE(toolkit().ControlEnabled(Box(bit))) << bit;
    // The boxes keep their ticks; only the mask lost them.
    EXPECT_EQ(Ticked(), 0x07E7FBF1u);

    // Any other click sums all 32 boxes again, the disabled ones included.
    Click(1);
    EXPECT_EQ(core::FixDsdtMask, "07E7FBF3");
    EXPECT_EQ(toolkit().GetText(core::CalculatorInfoFrame), "FixDarwin_0002");
    EXPECT_EQ(toolkit().GetText(core::CalculatorBinaryText), "00000111111001111111101111110011");

    Click(31);
    EXPECT_EQ(core::FixDsdtMask, "87E7FBF3");
    for (int bit = 16; bit <= 26; ++bit) EXPECT_TRUE(toolkit().ControlEnabled(Box(bit))) << bit;
}

TEST_F(CalculatorTest, BitTwentySevenAndTwentyEightStayTickedWhenNewWayGoes) {
    Open("98000000");
    Click(31);
    EXPECT_EQ(core::FixDsdtMask, "00000000");
    EXPECT_TRUE(toolkit().GetState(Box(27)));
    EXPECT_TRUE(toolkit().GetState(Box(28)));
}

TEST_F(CalculatorTest, PresetsSetTheBoxesAndTheInfo) {
    Open("12345678");
    Click(5);
    Press(core::CalculatorFull);
    EXPECT_EQ(core::FixDsdtMask, "9FFFFFFF");
    EXPECT_EQ(Ticked(), 0x9FFFFFFFu);  // never the two reserved bits
    EXPECT_EQ(toolkit().GetText(core::CalculatorInfoFrame), "");
    EXPECT_EQ(toolkit().GetText(core::CalculatorInfoText), "");
    EXPECT_EQ(toolkit().GetText(core::CalculatorHexText), "0x9FFFFFFF");

    Press(core::CalculatorClear);
    EXPECT_EQ(core::FixDsdtMask, "00000000");
    EXPECT_EQ(Ticked(), 0u);

    Press(core::CalculatorDefault);
    EXPECT_EQ(core::FixDsdtMask, "87E7FBF1");
    EXPECT_EQ(Ticked(), 0x87E7FBF1u);
    EXPECT_EQ(toolkit().GetText(core::CalculatorInfoFrame), "Set the NewWay mask");
    EXPECT_EQ(toolkit().GetText(core::CalculatorInfoText),
              "New way mask for the safe booting 0x87E7FBF1.");
}

TEST_F(CalculatorTest, OkAndTheCloseBoxReenableTheMainWindow) {
    Open("87E7FBF1");
    Press(core::CalculatorOk);
    EXPECT_FALSE(toolkit().WindowExists(core::CalculatorWindow));
    EXPECT_TRUE(MainEnabled());

    Open("87E7FBF1");
    Click(0);
    app::DispatchEvent({EventKind::CloseBox, core::CalculatorWindow, 0});
    EXPECT_FALSE(toolkit().WindowExists(core::CalculatorWindow));
    EXPECT_TRUE(MainEnabled());
    EXPECT_EQ(core::FixDsdtMask, "87E7FBF0");  // kept in memory for the next save
}

TEST(FixDsdtMask, InfoTextsAreWrittenForEveryBitAndOnlyBit27IsRussian) {
    const auto& bits = tools::DsdtFixBits();
    for (int bit = 0; bit < 32; ++bit) {
        std::string text = bits[bit].infoText;
        EXPECT_FALSE(text.empty()) << bit;
        bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return c > 0; });
        EXPECT_EQ(ascii, bit != 27) << bit;
        EXPECT_EQ(bits[bit].usable, bit != 29 && bit != 30) << bit;
    }
    EXPECT_STREQ(bits[27].infoTitle, "AddHDMI_8000000");
    EXPECT_STREQ(bits[16].infoTitle, "FIX_DARWIN_10000");
}

TEST(FixDsdtMask, TextsAndNames) {
    EXPECT_EQ(tools::MaskText(0xFBF1), "0000FBF1");
    EXPECT_EQ(tools::BinaryText(1), std::string(31, '0') + "1");
    EXPECT_EQ(tools::ParseMask("0x87e7fbf1"), 0x87E7FBF1u);
    EXPECT_EQ(tools::ParseMask("FF"), 0xFFu);
    EXPECT_FALSE(tools::ParseMask("0x123456789"));
    EXPECT_FALSE(tools::ParseMask("0x"));
    EXPECT_FALSE(tools::ParseMask("12G4"));
    // Box names are told apart by case; the reserved boxes have no name to set.
    EXPECT_EQ(tools::FindFixBit("Darwin"), 1);
    EXPECT_EQ(tools::FindFixBit("DARWIN"), 16);
    EXPECT_FALSE(tools::FindFixBit("darwin"));
    EXPECT_FALSE(tools::FindFixBit("Not yet used"));
    EXPECT_EQ(tools::MaskAfterClick(0x07E7FBF1, 31), 0xFBF1u);
    EXPECT_EQ(tools::MaskAfterClick(0x07E7FBF1, 3), 0x07E7FBF1u);
}

}  // namespace
