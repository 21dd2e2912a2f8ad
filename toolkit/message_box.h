#pragma once
// Message boxes that are modal to the whole program, and the disabling that makes them so.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// Disables every visible and enabled top-level window of this thread; enables again, when it ends,
// those of them that still exist, and activates again the window that was active, so that its
// focused control gets the focus back (the owner of a closed box would otherwise be the program's
// hidden window).
class TDisabledTaskWindows {
  public:
    explicit TDisabledTaskWindows(HWND except = nullptr);
    TDisabledTaskWindows(const TDisabledTaskWindows&) = delete;
    TDisabledTaskWindows& operator=(const TDisabledTaskWindows&) = delete;
    ~TDisabledTaskWindows();

  private:
    std::vector<HWND> windows_;
    HWND active_ = nullptr;
};

// MessageBoxW owned by the application's hidden window, every other window disabled meanwhile,
// centred on the screen; in a Yes/No box Esc answers No.
int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags);

// Ends the innermost box that ShowMessageBox has open, as if answered with result: for a question
// that no longer needs an answer. False when none is open.
bool EndMessageBox(int result);

// Tests see the boxes instead of answering them; an empty function restores the real boxes.
using TMessageBoxFunction =
    std::function<int(const std::wstring& text, const std::wstring& caption, UINT flags)>;
void SetMessageBoxForTesting(TMessageBoxFunction function);
