#pragma once
// Where the lines go: a console gets UTF-16 text as it is; a file or a pipe gets UTF-8, buffered.
#include <windows.h>
#include <string>
#include <string_view>

#include "scan/file_lines.h"

class TTextOutput {
  public:
    // handle may be null or invalid: the text then goes nowhere.
    explicit TTextOutput(HANDLE handle);
    TTextOutput(const TTextOutput&) = delete;
    TTextOutput& operator=(const TTextOutput&) = delete;
    ~TTextOutput() { Flush(); }

    bool Console() const { return console_; }
    HANDLE Handle() const { return handle_; }
    void Write(const std::wstring& text) { Write(text.data(), text.size()); }
    void Write(const wchar_t* text, std::size_t length);
    void WriteUtf8(std::string_view text);
    // False once a write has failed (a full disk, a closed pipe); later text is dropped.
    bool Flush();
    bool Failed() const { return failed_; }
    DWORD Error() const { return error_; }
    // The write failed because the reader of the pipe went away (| more quit, | head done): Windows
    // says the pipe is being closed or has ended, Wine that no process is on its other end.
    bool ReaderGone() const {
        return failed_ &&
               (error_ == ERROR_NO_DATA || error_ == ERROR_BROKEN_PIPE || error_ == ERROR_PIPE_NOT_CONNECTED);
    }

  private:
    bool WriteBytes(const char* bytes, std::size_t length);
    void Fail(DWORD error);

    HANDLE handle_;
    bool console_;
    bool failed_ = false;
    DWORD error_ = 0;
    std::string bytes_;    // UTF-8 waiting for a file or pipe
    std::wstring pending_; // text waiting for a console
};
