// Clover's FixDsdtMask: one bit per DSDT fix, its check box name and its explanation.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tools {

struct DsdtFixBit {
    const char* boxName;    // the check box text, also the name the CLI takes
    const char* infoTitle;  // shown as the "Info" frame's title
    const char* infoText;
    bool usable;  // false for the two reserved bits
};

constexpr int kMaskBits = 32;
constexpr int kNewWayBit = 31;
// Bits that mean something only with NewWay set and are disabled without it.
constexpr int kNewWayFirstDependent = 16;
constexpr int kNewWayLastDependent = 26;

const std::array<DsdtFixBit, kMaskBits>& DsdtFixBits();

constexpr uint32_t kFullMask = 0x9FFFFFFF;
constexpr uint32_t kClearMask = 0x00000000;
constexpr uint32_t kDefaultMask = 0x87E7FBF1;

// "87E7FBF1": eight upper-case hexadecimal digits.
std::string MaskText(uint32_t mask);
// The 32-digit binary text, most significant bit first.
std::string BinaryText(uint32_t mask);
// The stored setting's value (hexadecimal digits, with or without "0x"); none when it is
// not a hexadecimal number of at most 8 digits.
std::optional<uint32_t> ParseMask(const std::string& text);

// The mask after a click on one box, given the state of all 32 boxes after the click:
// the boxes' sum, cut to the low 16 bits when the click cleared NewWay.
uint32_t MaskAfterClick(uint32_t boxes, int clickedBit);

bool IsNewWayDependent(int bit);

// The bit whose box carries this name (exact case: "Darwin" and "DARWIN" differ); none
// for an unknown or reserved name.
std::optional<int> FindFixBit(const std::string& boxName);

}  // namespace tools
