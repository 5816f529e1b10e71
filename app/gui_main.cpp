#include "app/startup.h"
#include "ui/native.h"

int main() {
    ui::SetToolkit(ui::CreateNativeToolkit());
    return app::EndProgram(app::RunProgram());
}
