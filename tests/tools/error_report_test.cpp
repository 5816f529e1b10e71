// Faults of each kind in a child process: the report it prints, its exit code, the
// settings file it leaves alone and the AutoRun policy it puts back.
#include "app/error_report.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "core/state.h"
#include "platform/registry.h"
#include "tests/test_support.h"

namespace {

struct ChildResult {
    int exitCode = -1;
    std::string report;
};

class ErrorReportTest : public ::testing::Test {
protected:
    ErrorReportTest() {
        setenv("STICKFORGE_REGISTRY", scratch.file("registry").c_str(), 1);
        platform::SetRegistryStoreFile(scratch.file("registry"));
        test::WriteFile(settingsFile(), settingsText);
    }
    ~ErrorReportTest() override { unsetenv("STICKFORGE_REGISTRY"); }

    std::string settingsFile() { return scratch.file("stickforge.ini"); }

    ChildResult Run(const std::string& kind) {
        std::string errors = scratch.file("stderr");
        pid_t child = fork();
        if (child == 0) {
            if (!freopen(errors.c_str(), "w", stderr)) _exit(125);
            execl(FAULT_CHILD, FAULT_CHILD, kind.c_str(), scratch.path().c_str(), nullptr);
            _exit(126);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status),
                test::ReadFile(errors)};
    }

    test::ScratchFolder scratch;
    const std::string settingsText = "[Main Settings]\r\nWinX = 12\r\n";
};

void ExpectRegisterBlock(const std::string& report) {
    EXPECT_NE(report.find("\nRegister content:\n"), std::string::npos) << report;
    for (const char* name : {"RAX", "RBX", "RCX", "RDX", "RBP", "RSI", "RDI", "RSP", "R8", "R15"})
        EXPECT_NE(report.find(std::string("\n") + name + " = "), std::string::npos) << name;
}

TEST_F(ErrorReportTest, EachFaultKindIsReportedWithItsCodeAndEndsTheProcess) {
    const struct {
        const char* kind;
        const char* message;
        const char* code;
        int signal;
    } cases[] = {
        {"segv", "Invalid memory access", "-1073741819", SIGSEGV},
        {"worker-segv", "Invalid memory access", "-1073741819", SIGSEGV},
        {"fpe", "Division by zero ", "-1073741676", SIGFPE},
        {"ill", "Illegal instruction", "-1073741795", SIGILL},
        {"trap", "Debugger breakpoint reached", "-2147483645", SIGTRAP},
        {"bus", "Memory page error", "-1073741818", SIGBUS},
        {"stack", "Stack overflow", "-1073741571", SIGSEGV},
        {"worker-stack", "Stack overflow", "-1073741571", SIGSEGV},
        // An exception nothing caught: the code Windows gives it, the end abort gives.
        {"throw", "Unknown error code", "-529697949", SIGABRT},
        {"worker-throw", "Unknown error code", "-529697949", SIGABRT},
    };
    for (const auto& fault : cases) {
        SCOPED_TRACE(fault.kind);
        ChildResult result = Run(fault.kind);
        EXPECT_EQ(result.exitCode, 128 + fault.signal);
        const std::string& report = result.report;
        EXPECT_NE(report.find("[OnError Info] A program error was detected:\n\n"),
                  std::string::npos)
            << report;
        EXPECT_NE(report.find(std::string("\nError Message:   ") + fault.message + "\n"),
                  std::string::npos);
        EXPECT_NE(report.find(std::string("\nError Code:      ") + fault.code + "\n"),
                  std::string::npos);
        EXPECT_NE(report.find("\nCode Address:    "), std::string::npos);
        bool access = fault.code == std::string("-1073741819");
        EXPECT_EQ(report.find("\nTarget Address:  16\n") != std::string::npos, access);
        EXPECT_EQ(report.find("Target Address:") != std::string::npos, access);
        ExpectRegisterBlock(report);
        EXPECT_EQ(test::ReadFile(settingsFile()), settingsText);
    }
}

TEST_F(ErrorReportTest, TheAutoRunPolicyIsPutBackAfterAFault) {
    for (auto [kind, signal] : {std::pair{"segv", SIGSEGV}, std::pair{"worker-throw", SIGABRT}}) {
        ASSERT_TRUE(
            platform::WriteRegistryDword(core::AutoRunKeyPath, core::AutoRunValueName, 145));
        EXPECT_EQ(Run(kind).exitCode, 128 + signal) << kind;
        EXPECT_EQ(platform::ReadRegistryDword(core::AutoRunKeyPath, core::AutoRunValueName), 145u)
            << kind;
    }
}

TEST(ErrorReportText, AnAccessViolationHasFiveFaultLinesAnyOtherFour) {
    platform::FaultInfo fault;
    fault.code = 0x12345678;
    fault.codeAddress = uint64_t(-2);
    std::string text = app::ErrorReportText(fault);
    EXPECT_EQ(text,
              "A program error was detected:\r\rError Message:   Unknown error code\r"
              "Error Code:      305419896\rCode Address:    -2\r"
              "Sourcecode line: Enable OnError lines support to get code line information.\r"
              "\rRegister content:\r");
    fault.code = 0xC0000005;
    fault.targetAddress = 4096;
    EXPECT_NE(app::ErrorReportText(fault).find("\rTarget Address:  4096\rSourcecode line: "),
              std::string::npos);
    EXPECT_EQ(app::FaultMessage(0xC0000091), "Floating-point overflow (exponent to great)");
}

}  // namespace
