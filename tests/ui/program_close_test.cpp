// The program itself, closed during a scan: it must end at once with exit code 0, settings stored,
// whether its scan runs, is paused, or waits for a hand-off nobody serves any more.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "toolkit/registry.h"

namespace {

// A big tree that every machine here has: the scan is still going when the window closes.
constexpr wchar_t ScanRoot[] = L"Z:\\usr";

struct TFind {
    DWORD ProcessId;
    const wchar_t* Text;
    HWND Found = nullptr;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM data) {
    auto& find = *reinterpret_cast<TFind*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    RECT r{};
    GetWindowRect(window, &r);
    // The hidden owner window carries the title too, but has no size.
    if (process == find.ProcessId && IsWindowVisible(window) && r.right - r.left > 1 && lstrcmpW(text, find.Text) == 0) {
        find.Found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK MatchChild(HWND window, LPARAM data) {
    auto& find = *reinterpret_cast<TFind*>(data);
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    if (lstrcmpW(text, find.Text) == 0) {
        find.Found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWindow(DWORD processId, const wchar_t* title) {
    for (int i = 0; i < 300; ++i) {
        TFind find{processId, title};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&find));
        if (find.Found)
            return find.Found;
        Sleep(50);
    }
    return nullptr;
}

HWND Child(HWND parent, const wchar_t* text) {
    TFind find{0, text};
    EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

bool WaitUntilEnabled(HWND window) {
    for (int i = 0; i < 200 && !IsWindowEnabled(window); ++i)
        Sleep(25);
    return IsWindowEnabled(window) != FALSE;
}

enum class TCloseWhen { Running, Paused, QuestionHeldOpen };

class ProgramCloseTest : public testing::TestWithParam<TCloseWhen> {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel"); }
    void TearDown() override {
        if (process.hProcess) {
            TerminateProcess(process.hProcess, 99);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel");
    }
    PROCESS_INFORMATION process{};
};

TEST_P(ProgramCloseTest, EndsWithExitCodeZeroAndStoresTheSettings) {
    std::wstring commandLine = std::wstring(L"\"") + QUENWICK_EXE + L"\" " + ScanRoot;
    STARTUPINFOW startup{sizeof startup};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    HWND main = WaitForWindow(process.dwProcessId, L"Quenwick");
    ASSERT_NE(nullptr, main);
    HWND start = Child(main, L"&Start"), pause = Child(main, L"&Pause");
    ASSERT_TRUE(start && pause);
    ASSERT_TRUE(WaitUntilEnabled(start));
    PostMessageW(start, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntilEnabled(pause)) << "the scan did not start";
    if (GetParam() == TCloseWhen::Paused) {
        PostMessageW(pause, BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntilEnabled(start)) << "the scan did not pause";
    }

    PostMessageW(main, WM_CLOSE, 0, 0);
    HWND question = WaitForWindow(process.dwProcessId, L"Confirm");
    ASSERT_NE(nullptr, question) << "no stop question";
    if (GetParam() == TCloseWhen::QuestionHeldOpen) {
        Sleep(500); // the scan goes on meanwhile, served by the question's own message loop
    }
    PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(question, IDYES)));

    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 15000)) << "the program did not end";
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode);
    auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, L"Software\\Dovrel\\qnwk");
    ASSERT_TRUE(key) << "no settings stored";
    EXPECT_EQ(std::wstring(ScanRoot), key->ReadString(L"Path").value_or(L"(none)"));
    EXPECT_EQ(100, key->ReadInteger(L"Number").value_or(-1));
}

INSTANTIATE_TEST_SUITE_P(During, ProgramCloseTest,
                         testing::Values(TCloseWhen::Running, TCloseWhen::Paused, TCloseWhen::QuestionHeldOpen));

} // namespace
