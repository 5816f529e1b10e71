// The invariant checks of the fuzz targets: a broken one stops the run with its text, so
// libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/state.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "tests/instant_clock.h"
#include "ui/console/console_toolkit.h"

namespace fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "invariant broken at %s:%d: %s\n", file, line, what);
    std::abort();
}

// A folder of the run's own, made once and emptied by the target as it needs.
inline const std::filesystem::path& Scratch() {
    static const std::filesystem::path folder = [] {
        std::string name = std::filesystem::temp_directory_path() / "stickforge-fuzz-XXXXXX";
        if (!mkdtemp(name.data())) std::abort();
        return std::filesystem::path(name);
    }();
    return folder;
}

// The program's globals with an instant clock and a registry store in the scratch
// folder; once per run.
inline void QuietProgram() {
    static const bool ready = [] {
        platform::SetClock(std::make_unique<test::InstantClock>());
        platform::SetRegistryStoreFile((Scratch() / "registry").string());
        core::InitialiseGlobals();
        core::SetProgramLocation((Scratch() / "stickforge").string());
        return true;
    }();
    (void)ready;
}

// A console toolkit that writes nowhere, for one input: what it records goes with it, so
// an input's allocations are all freed by its end and the leak check stays quiet.
class QuietToolkit {
public:
    QuietToolkit() {
        static FILE* quiet = std::fopen("/dev/null", "w");
        ui::SetToolkit(
            std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{false, quiet, nullptr}));
    }
    ~QuietToolkit() { ui::SetToolkit(nullptr); }
    QuietToolkit(const QuietToolkit&) = delete;
    QuietToolkit& operator=(const QuietToolkit&) = delete;
};

// Well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
inline bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        unsigned char c = text[i];
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > text.size()) return false;
        uint32_t point = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = text[i + k];
            if ((next & 0xC0) != 0x80) return false;
            point = point << 6 | (next & 0x3F);
        }
        constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000))
            return false;
        i += length;
    }
    return true;
}

}  // namespace fuzz

#define FUZZ_CHECK(condition) ((condition) ? (void)0 : fuzz::Fail(#condition, __FILE__, __LINE__))
