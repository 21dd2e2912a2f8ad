#pragma once
// The real program started as a process of its own, for the tests that watch it end.
#include <windows.h>
#include <string>

namespace reliability {

// The real program as a process of its own, found by its windows.
class TProgram {
  public:
    explicit TProgram(const std::wstring& arguments);
    ~TProgram();
    HWND Main() const { return main_; }
    // A visible top-level window of the program with this title, waited for up to ms.
    HWND Window(const wchar_t* title, DWORD ms = 15000) const;
    // A visible top-level window with this title of a process other than the test's own, waited for
    // up to ms: the program started by another program.
    static HWND OtherProcessWindow(const wchar_t* title, DWORD ms = 15000);
    // A child control by its text.
    static HWND Child(HWND parent, const wchar_t* text);
    static std::wstring Text(HWND window);
    std::wstring Status() const;
    // Waits for the end; the exit code, or -1 on time-out.
    long Ends(DWORD ms = 15000);

  private:
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

} // namespace reliability
