#include "ui/control_table.h"

namespace ui {

void CreateControls(int window, std::span<const ControlRow> rows) {
    Toolkit& toolkit = UI();
    for (const ControlRow& row : rows)
        toolkit.CreateControl(window, row.id, row.kind, row.rect, row.text, row.toolTip, row.style);
}

}  // namespace ui
