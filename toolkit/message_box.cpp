#include "toolkit/message_box.h"

#include "toolkit/handoff.h"

namespace {

TMessageBoxFunction testBox;

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

TDisabledTaskWindows::TDisabledTaskWindows(HWND except) {
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
}

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) {
    if (testBox) {
        return testBox(text, caption, flags);
    }
    HWND active = GetActiveWindow();
    int answer;
    {
        TDisabledTaskWindows disabled;
        answer = MessageBoxW(HandOffWindow(), text.c_str(), caption.c_str(), flags);
    }
    // Give the activation back to the window the box interrupted.
    if (active && IsWindow(active)) {
        SetActiveWindow(active);
    }
    return answer;
}

void SetMessageBoxForTesting(TMessageBoxFunction function) { testBox = std::move(function); }
