#include "tools/calculator.h"

#include <vector>

#include "core/ids.h"
#include "core/settings.h"
#include "tools/fixdsdt_mask.h"
#include "ui/control_table.h"

namespace tools {
namespace {

using core::CalculatorBitFirst;
using ui::ControlKind;
using ui::ControlRow;

constexpr int kBlue = 0x0000FF;
constexpr int kFirstRowY = 35;
constexpr int kRowStep = 20;
constexpr int kBitsPerColumn = 16;

int BitBox(int bit) { return CalculatorBitFirst + bit; }

// The right column: NewWay on top, then bits 16 to 30.
int RightColumnBit(int row) { return row == 0 ? kNewWayBit : kBitsPerColumn + row - 1; }

ControlRow BitRow(int bit, int x, int row) {
    const DsdtFixBit& fix = DsdtFixBits()[bit];
    ui::ControlStyle style;
    style.disabled = !fix.usable;
    return {BitBox(bit),
            ControlKind::CheckBox,
            {x, kFirstRowY + row * kRowStep, 125, 20},
            fix.boxName,
            "",
            style};
}

std::vector<ControlRow> CalculatorRows() {
    ui::ControlStyle blue, info;
    blue.textColour = kBlue;
    info.multiLine = true;
    std::vector<ControlRow> rows = {
        {core::CalculatorBitsFrame, ControlKind::GroupFrame, {5, 5, 290, 360}, "FIX BITS", "", {}},
        {core::CalculatorNewWayFrame, ControlKind::GroupFrame, {145, 22, 145, 338}, "", "", {}},
    };
    for (int row = 0; row < kBitsPerColumn; ++row) rows.push_back(BitRow(row, 15, row));
    for (int row = 0; row < kBitsPerColumn; ++row)
        rows.push_back(BitRow(RightColumnBit(row), 155, row));
    std::vector<ControlRow> right = {
        {core::CalculatorMaskFrame,
         ControlKind::GroupFrame,
         {300, 5, 230, 70},
         "FixDsdtMask",
         "",
         {}},
        {core::CalculatorBinaryText,
         ControlKind::CenteredText,
         {305, 27, 220, 15},
         BinaryText(0xFFFFFFFF),
         "",
         {}},
        {core::CalculatorHexText,
         ControlKind::CenteredText,
         {305, 49, 220, 15},
         "0xFFFFFFFF",
         "",
         blue},
        {core::CalculatorInfoFrame, ControlKind::GroupFrame, {300, 80, 230, 240}, "Info", "", {}},
        {core::CalculatorInfoText, ControlKind::EditBox, {310, 98, 210, 212}, "", "", info},
        {core::CalculatorFull, ControlKind::Button, {305, 330, 70, 25}, "Full", "", {}},
        {core::CalculatorClear, ControlKind::Button, {382, 330, 70, 25}, "Clear", "", {}},
        {core::CalculatorDefault, ControlKind::Button, {459, 330, 66, 25}, "Default", "", {}},
        {core::CalculatorOk, ControlKind::Button, {176, 372, 183, 22}, "OK", "", {}},
    };
    rows.insert(rows.end(), right.begin(), right.end());
    return rows;
}

uint32_t CurrentMask() { return ParseMask(core::FixDsdtMask).value_or(kDefaultMask); }

uint32_t CheckedBoxes() {
    uint32_t boxes = 0;
    for (int bit = 0; bit < kMaskBits; ++bit)
        if (ui::UI().GetState(BitBox(bit))) boxes |= 1u << bit;
    return boxes;
}

void ShowMaskTexts(uint32_t mask) {
    ui::UI().SetText(core::CalculatorHexText, "0x" + MaskText(mask));
    ui::UI().SetText(core::CalculatorBinaryText, BinaryText(mask));
}

}  // namespace

void OpenCalculatorWindow() {
    ui::WindowSpec spec{core::CalculatorWindow,
                        "Clover FixDsdtMask Calculator",
                        {535, 400},
                        {},
                        ui::WindowStyle::Dialog,
                        core::MainWindow};
    if (!ui::UI().OpenWindow(spec)) return;
    ui::UI().EnableWindow(core::MainWindow, false);
    ui::CreateControls(core::CalculatorWindow, CalculatorRows());
    RefreshCalculator();
}

void RefreshCalculator() {
    if (!ui::UI().WindowExists(core::CalculatorWindow)) return;
    uint32_t mask = CurrentMask();
    for (int bit = 0; bit < kMaskBits; ++bit) ui::UI().SetState(BitBox(bit), mask >> bit & 1);
    // The texts always show the mask the boxes hold, not the one of the last click.
    ShowMaskTexts(mask);
}

void ToggleCalculatorBit(int control) {
    int bit = control - CalculatorBitFirst;
    if (bit < 0 || bit >= kMaskBits) return;
    const DsdtFixBit& fix = DsdtFixBits()[bit];
    SetCalculatorInfo(fix.infoTitle, fix.infoText);
    uint32_t boxes = CheckedBoxes();
    if (bit == kNewWayBit) {
        bool newWay = boxes >> kNewWayBit & 1;
        for (int dependent = kNewWayFirstDependent; dependent <= kNewWayLastDependent; ++dependent)
            ui::UI().EnableControl(BitBox(dependent), newWay);
    }
    uint32_t mask = MaskAfterClick(boxes, bit);
    core::FixDsdtMask = MaskText(mask);
    ShowMaskTexts(mask);
}

void SetCalculatorInfo(const std::string& caption, const std::string& text) {
    ui::UI().SetText(core::CalculatorInfoFrame, caption);
    ui::UI().SetText(core::CalculatorInfoText, text);
}

}  // namespace tools
