// The real program as a process of its own, found by its windows.
#include "reliability/program.h"

#include <stdexcept>

namespace reliability {

namespace {

struct TFind {
    DWORD ProcessId;
    const wchar_t* Text;
    bool OtherProcess = false; // any process but ProcessId
    HWND Found = nullptr;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM data) {
    auto& find = *reinterpret_cast<TFind*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    RECT r{};
    GetWindowRect(window, &r);
    // The hidden owner window carries the title too, but has no size.
    if ((process == find.ProcessId) != find.OtherProcess && IsWindowVisible(window) && r.right - r.left > 1 &&
        TProgram::Text(window) == find.Text) {
        find.Found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK MatchChild(HWND window, LPARAM data) {
    auto& find = *reinterpret_cast<TFind*>(data);
    if (TProgram::Text(window) == find.Text) {
        find.Found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForTopLevel(TFind find, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&find));
        if (find.Found || GetTickCount64() >= end) {
            return find.Found;
        }
        Sleep(50);
    }
}

} // namespace

TProgram::TProgram(const std::wstring& arguments) {
    std::wstring commandLine = std::wstring(L"\"") + QUENWICK_EXE + L"\" " + arguments;
    STARTUPINFOW startup{sizeof startup};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process_)) {
        throw std::runtime_error("cannot start the program");
    }
    main_ = Window(L"Quenwick");
}

TProgram::~TProgram() {
    if (process_.hProcess) {
        if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process_.hProcess, 99);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}

HWND TProgram::Window(const wchar_t* title, DWORD ms) const {
    return WaitForTopLevel({process_.dwProcessId, title}, ms);
}

HWND TProgram::OtherProcessWindow(const wchar_t* title, DWORD ms) {
    return WaitForTopLevel({GetCurrentProcessId(), title, true}, ms);
}

HWND TProgram::Child(HWND parent, const wchar_t* text) {
    TFind find{0, text};
    EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

std::wstring TProgram::Text(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        &copied);
    return text;
}

std::wstring TProgram::Status() const {
    HWND bar = FindWindowExW(main_, nullptr, L"msctls_statusbar32", nullptr);
    return bar ? Text(bar) : L"";
}

long TProgram::Ends(DWORD ms) {
    if (WaitForSingleObject(process_.hProcess, ms) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
}

} // namespace reliability
