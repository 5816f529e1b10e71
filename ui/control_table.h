// A window's controls as a table: one row per control, created in the table's order.
#pragma once

#include <span>
#include <string>

#include "ui/toolkit.h"

namespace ui {

struct ControlRow {
    int id = 0;
    ControlKind kind = ControlKind::Text;
    Rect rect;
    std::string text;
    std::string toolTip;
    ControlStyle style = {};
};

void CreateControls(int window, std::span<const ControlRow> rows);

}  // namespace ui
