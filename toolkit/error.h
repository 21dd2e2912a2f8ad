#pragma once
// Failures that reach the user: a message in UTF-16, and the text of the general error report.
#include <windows.h>
#include <exception>
#include <string>

class TError : public std::exception {
  public:
    explicit TError(std::wstring message);
    const std::wstring& Message() const { return message_; }
    const char* what() const noexcept override { return narrow_.c_str(); }

  private:
    std::wstring message_;
    std::string narrow_;
};

// The system's message text for a code as the system gives it (normally ending with a line break);
// empty when it has none that fits into 256 characters.
std::wstring SystemMessage(DWORD code);

// "System Error.  Code: %d." and the system's text on a second line, or "A call to an OS function
// failed" when there is no code.
[[noreturn]] void RaiseLastOSError(DWORD code = GetLastError());

// The message of any failure: a TError's own text, another exception's what() in the ANSI code page.
std::wstring ExceptionMessage(const std::exception_ptr& failure);

// The report appends a full stop when the message's last character sorts after the full stop.
std::wstring ErrorReportText(std::wstring message);
