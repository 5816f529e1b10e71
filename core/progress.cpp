#include "core/progress.h"

#include <atomic>
#include <cmath>
#include <cstdlib>

#include "core/ids.h"
#include "platform/clock.h"

namespace core {

std::unique_ptr<ui::TaskbarProgress> TaskbarProgress;

namespace {

std::atomic<bool> readingPauses{true};

int32_t ClampPercent(int32_t percent) {
    int64_t magnitude = std::llabs(int64_t(percent));  // INT32_MIN must not overflow
    return magnitude > 100 ? 100 : int32_t(magnitude);
}

void MirrorOnTaskbar(int32_t percent) {
    if (!TaskbarProgress) return;
    if (percent == 0) {
        TaskbarProgress->SetValue(0);
        TaskbarProgress->SetState(0);
    } else {
        TaskbarProgress->SetState(2);
        TaskbarProgress->SetValue(percent);
    }
}

}  // namespace

ui::StatusPaint LayoutProgress(ui::Size control, ui::Size text, int32_t percent,
                               const std::string& label, int32_t barHeight, int32_t leftMargin,
                               int32_t top) {
    if (barHeight == 0) barHeight = control.h;
    percent = ClampPercent(percent);
    int32_t w = control.w;
    if (leftMargin < control.w)
        w -= 2 * leftMargin;
    else
        leftMargin = 0;
    if (text.h > barHeight) barHeight = int32_t(std::lround(text.h * 1.2));
    if (top < 0 || top >= control.h) top = control.h - barHeight;

    ui::StatusPaint paint;
    paint.background = {leftMargin, top, w, barHeight};
    paint.bar = {leftMargin, top, int32_t(int64_t(percent) * w / 100), barHeight};
    paint.text = label;
    paint.textX = leftMargin + w / 2 - text.w / 2;
    paint.textY = top + (barHeight - text.h) / 2;
    paint.percent = percent;
    return paint;
}

void DrawProgress(int32_t control, int32_t percent, const std::string& text, int32_t barHeight,
                  int32_t leftMargin, int32_t top) {
    MirrorOnTaskbar(ClampPercent(percent));
    ui::Toolkit& toolkit = ui::UI();
    ui::StatusPaint paint = LayoutProgress(toolkit.ControlSize(control), toolkit.MeasureText(text),
                                           percent, text, barHeight, leftMargin, top);
    toolkit.PaintStatus(control, paint);
}

void DrawStatus(const std::string& text, int32_t percent) {
    DrawProgress(ProgressBar, percent, text, 0, 0, -1);
}

void ShowStatus(const std::string& text, int64_t waitMs) {
    if (text.empty() || !ui::HasToolkit() || !ui::UI().WindowExists(MainWindow)) return;
    DrawStatus(text);
    ReadingPause(waitMs);
}

void ReadingPause(int64_t waitMs) {
    if (readingPauses) platform::SystemClock().SleepMs(waitMs);
}

void KeepReadingPauses(bool keep) { readingPauses = keep; }

std::string FormatDuration(int64_t seconds) {
    auto twoDigits = [](int64_t value) {
        std::string text = std::to_string(value);
        return text.size() < 2 ? "0" + text : text;
    };
    int64_t weeks = seconds / 604800, rest = seconds % 604800;
    int64_t days = rest / 86400;
    rest %= 86400;
    int64_t hours = rest / 3600;
    rest %= 3600;
    int64_t minutes = rest / 60, secs = rest % 60;

    std::string text;
    if (weeks) text += std::to_string(weeks) + " w ";
    if (weeks || days) text += std::to_string(days) + " d ";
    if (weeks || days || hours) text += twoDigits(hours) + " h ";
    if (weeks || days || hours || minutes) text += twoDigits(minutes) + " m ";
    return text + twoDigits(secs) + " s ";
}

}  // namespace core
