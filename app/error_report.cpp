#include "app/error_report.h"

#include <array>
#include <utility>

#include "app/startup.h"
#include "ui/toolkit.h"

namespace app {
namespace {

constexpr std::array<std::pair<uint32_t, const char*>, 20> kFaultMessages = {{
    {0xC0000005, "Invalid memory access"},
    {0xC000008C, "Array bounds exceeded"},
    {0x80000003, "Debugger breakpoint reached"},
    {0x80000002, "Misaligned data access"},
    {0xC000008D, "Denormal floating-point operand"},
    {0xC000008E, "Division by zero (floating-point)"},
    {0xC000008F, "Inexact floating-point result"},
    {0xC0000090, "Invalid floating-point operation"},
    {0xC0000091, "Floating-point overflow (exponent to great)"},
    {0xC0000092, "Floating-point stack overflow or underflow"},
    {0xC0000093, "Floating-point underflow (exponent too small)"},
    {0xC000001D, "Illegal instruction"},
    {0xC0000006, "Memory page error"},
    {0xC0000094, "Division by zero "},
    {0xC0000095, "Integer overflow"},
    {0xC0000026, "Exception handler returned unknown value"},
    {0xC0000025, "Exception handler tried to continue after non-continuable exception"},
    {0xC0000096, "Privileged instruction"},
    {0x80000004, "Single step trap"},
    {0xC00000FD, "Stack overflow"},
}};

constexpr char kEnd = '\r';

// Numbers in signed decimal: a code of 0xC0000005 reads -1073741819.
std::string Signed(uint32_t value) { return std::to_string(int32_t(value)); }
std::string Signed(uint64_t value) { return std::to_string(int64_t(value)); }

}  // namespace

std::string FaultMessage(uint32_t code) {
    for (const auto& [known, message] : kFaultMessages)
        if (known == code) return message;
    return "Unknown error code";
}

std::string ErrorReportText(const platform::FaultInfo& fault) {
    std::string text = "A program error was detected:";
    text += kEnd;
    text += kEnd;
    text += "Error Message:   " + FaultMessage(fault.code) + kEnd;
    text += "Error Code:      " + Signed(fault.code) + kEnd;
    text += "Code Address:    " + Signed(fault.codeAddress) + kEnd;
    if (fault.code == 0xC0000005) text += "Target Address:  " + Signed(fault.targetAddress) + kEnd;
    text += "Sourcecode line: Enable OnError lines support to get code line information.";
    text += kEnd;
    text += kEnd;
    text += "Register content:";
    text += kEnd;
    for (int i = 0; i < fault.registerCount; ++i)
        text +=
            std::string(fault.registers[i].name) + " = " + Signed(fault.registers[i].value) + kEnd;
    return text;
}

void ReportProgramError(const platform::FaultInfo& fault) {
    std::string text = ErrorReportText(fault);
    if (ui::HasToolkit()) {
        ui::UI().MessageBox("OnError Info", text, ui::Icon::None, ui::Buttons::Ok);
    } else {
        for (char& c : text)
            if (c == kEnd) c = '\n';
        platform::WriteToStandardError(text.data(), text.size());
    }
    // The policy was switched off for this run only; a crash must not leave it so.
    RestoreAutoRun();
}

void InstallErrorReport() { platform::InstallFaultHandler(ReportProgramError); }

}  // namespace app
