// A window's controls as a test expects them, written out independently of the
// program's own tables, and the check of one recorded control against its row.
#pragma once

#include <gtest/gtest.h>

#include "ui/console/console_toolkit.h"

namespace test {

struct ExpectedControl {
    int id;
    ui::ControlKind kind;
    ui::Rect rect;
    const char* text;
    const char* toolTip;
};

inline void ExpectControl(const ui::ConsoleToolkit::Control& control, int window,
                          const ExpectedControl& row) {
    EXPECT_EQ(control.window, window);
    EXPECT_EQ(control.kind, row.kind);
    EXPECT_EQ(control.rect, row.rect);
    EXPECT_EQ(control.text, row.text);
    EXPECT_EQ(control.toolTip, row.toolTip);
}

}  // namespace test
