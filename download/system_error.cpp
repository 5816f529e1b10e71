#include "download/system_error.h"

#include "platform/error_text.h"
#include "ui/toolkit.h"

namespace download {

void ShowSystemError(uint32_t code) { ShowErrorText(platform::SystemErrorText(code)); }

void ShowErrorText(const std::string& text) {
    if (ui::HasToolkit()) ui::UI().MessageBox("Error", text, ui::Icon::Error, ui::Buttons::Ok);
}

}  // namespace download
