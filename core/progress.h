// The status line with its progress bar, the pausing status text and duration texts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/toolkit.h"

namespace core {

// The main window's taskbar progress; null where the platform has none.
extern std::unique_ptr<ui::TaskbarProgress> TaskbarProgress;

// Computes one drawing of the status area of a control of the given size.
ui::StatusPaint LayoutProgress(ui::Size control, ui::Size text, int32_t percent,
                               const std::string& label, int32_t barHeight, int32_t leftMargin,
                               int32_t top);

void DrawProgress(int32_t control, int32_t percent, const std::string& text, int32_t barHeight,
                  int32_t leftMargin, int32_t top);

// The usual call: the status line of the main window.
void DrawStatus(const std::string& text, int32_t percent = 0);

// Shows text in the status line, then pauses the calling thread for waitMs so that it can
// be read (ReadingPause).
void ShowStatus(const std::string& text, int64_t waitMs);

// The pause after a status text that the next one would replace before it could be read.
// A front end whose status lines stay where they were written (the command-line tool)
// turns these pauses off; the window keeps them.
void ReadingPause(int64_t waitMs);
void KeepReadingPauses(bool keep);

std::string FormatDuration(int64_t seconds);

}  // namespace core
