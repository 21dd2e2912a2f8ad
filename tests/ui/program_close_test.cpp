// The program itself, closed during a scan: it must end at once with exit code 0, settings stored,
// whether its scan runs, is paused, or waits for a hand-off nobody serves any more.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "reliability/program.h"
#include "toolkit/registry.h"

namespace {

using reliability::TProgram;

// A big tree that every machine here has: the scan is still going when the window closes.
constexpr wchar_t ScanRoot[] = L"Z:\\usr";

bool WaitUntilEnabled(HWND window) {
    for (int i = 0; i < 200 && !IsWindowEnabled(window); ++i)
        Sleep(25);
    return IsWindowEnabled(window) != FALSE;
}

enum class TCloseWhen { Running, Paused, QuestionHeldOpen };

class ProgramCloseTest : public testing::TestWithParam<TCloseWhen> {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel"); }
};

TEST_P(ProgramCloseTest, EndsWithExitCodeZeroAndStoresTheSettings) {
    TProgram program(ScanRoot);
    HWND main = program.Main();
    ASSERT_NE(nullptr, main);
    HWND start = TProgram::Child(main, L"&Start"), pause = TProgram::Child(main, L"&Pause");
    ASSERT_TRUE(start && pause);
    ASSERT_TRUE(WaitUntilEnabled(start));
    PostMessageW(start, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntilEnabled(pause)) << "the scan did not start";
    if (GetParam() == TCloseWhen::Paused) {
        PostMessageW(pause, BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntilEnabled(start)) << "the scan did not pause";
    }

    PostMessageW(main, WM_CLOSE, 0, 0);
    HWND question = program.Window(L"Confirm");
    ASSERT_NE(nullptr, question) << "no stop question";
    if (GetParam() == TCloseWhen::QuestionHeldOpen) {
        Sleep(500); // the scan goes on meanwhile, served by the question's own message loop
    }
    PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(question, IDYES)));

    EXPECT_EQ(0, program.Ends()) << "the program did not end at once with exit code 0";
    auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, L"Software\\Dovrel\\qnwk");
    ASSERT_TRUE(key) << "no settings stored";
    EXPECT_EQ(std::wstring(ScanRoot), key->ReadString(L"Path").value_or(L"(none)"));
    EXPECT_EQ(100, key->ReadInteger(L"Number").value_or(-1));
}

INSTANTIATE_TEST_SUITE_P(During, ProgramCloseTest,
                         testing::Values(TCloseWhen::Running, TCloseWhen::Paused, TCloseWhen::QuestionHeldOpen));

} // namespace
