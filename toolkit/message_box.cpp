#include "toolkit/message_box.h"

#include "toolkit/handoff.h"
#include <algorithm>
#include <commctrl.h>

namespace {

TMessageBoxFunction testBox;
// The boxes open on this thread, innermost last.
thread_local std::vector<HWND> openBoxes;

// A Yes/No box has no Cancel button, so the system ignores Esc; ours answers No.
LRESULT CALLBACK BoxSubclass(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR yesNo) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && yesNo) {
        EndDialog(box, IDNO);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(box, BoxSubclass, 1);
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

// Centres the box on the screen when it is first activated, and lets Esc answer a Yes/No box.
struct TBoxHook {
    static inline thread_local HHOOK hook = nullptr;
    static inline thread_local bool yesNo = false;

    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE) {
            HWND box = reinterpret_cast<HWND>(wParam);
            wchar_t className[16] = {};
            GetClassNameW(box, className, 16);
            if (lstrcmpW(className, L"#32770") == 0) {
                MONITORINFO monitor{sizeof monitor};
                GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor);
                RECT r;
                GetWindowRect(box, &r);
                const RECT& area = monitor.rcWork;
                SetWindowPos(box, nullptr, area.left + (area.right - area.left - (r.right - r.left)) / 2,
                             area.top + (area.bottom - area.top - (r.bottom - r.top)) / 2, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                SetWindowSubclass(box, BoxSubclass, 1, yesNo);
                openBoxes.push_back(box);
                HHOOK done = hook;
                hook = nullptr;
                UnhookWindowsHookEx(done);
                return CallNextHookEx(nullptr, code, wParam, lParam);
            }
        }
        return CallNextHookEx(hook, code, wParam, lParam);
    }

    explicit TBoxHook(UINT flags) {
        yesNo = (flags & MB_TYPEMASK) == MB_YESNO;
        hook = SetWindowsHookExW(WH_CBT, Proc, nullptr, GetCurrentThreadId());
    }
    ~TBoxHook() {
        if (hook) {
            UnhookWindowsHookEx(hook);
            hook = nullptr;
        }
    }
};

struct TEnumState {
    HWND Except;
    std::vector<HWND>* Windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
    auto& state = *reinterpret_cast<TEnumState*>(data);
    if (window != state.Except && IsWindowVisible(window) && IsWindowEnabled(window)) {
        state.Windows->push_back(window);
    }
    return TRUE;
}

} // namespace

TDisabledTaskWindows::TDisabledTaskWindows(HWND except) : active_(GetActiveWindow()) {
    TEnumState state{except, &windows_};
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&state));
    for (HWND window : windows_) {
        EnableWindow(window, FALSE);
    }
}

TDisabledTaskWindows::~TDisabledTaskWindows() {
    for (HWND window : windows_) {
        if (IsWindow(window)) {
            EnableWindow(window, TRUE);
        }
    }
    if (active_ && IsWindow(active_) && IsWindowVisible(active_) && IsWindowEnabled(active_)) {
        SetActiveWindow(active_);
    }
}

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) {
    if (testBox) {
        return testBox(text, caption, flags);
    }
    TDisabledTaskWindows disabled;
    const std::size_t open = openBoxes.size();
    TBoxHook hook(flags);
    const int answer = MessageBoxW(HandOffWindow(), text.c_str(), caption.c_str(), flags);
    openBoxes.resize(std::min(openBoxes.size(), open));
    return answer;
}

bool EndMessageBox(int result) {
    while (!openBoxes.empty() && !IsWindow(openBoxes.back()))
        openBoxes.pop_back();
    return !openBoxes.empty() && EndDialog(openBoxes.back(), result);
}

void SetMessageBoxForTesting(TMessageBoxFunction function) {
    testBox = std::move(function);
}
