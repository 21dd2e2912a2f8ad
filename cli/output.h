#pragma once
// Where the lines go: a console gets UTF-16 text as it is; a file or a pipe gets UTF-8, buffered.
#include <string>
#include <windows.h>

#include "scan/date_time.h"

// Local time in ISO 8601 with milliseconds: 2026-12-07T14:30:15.250.
std::wstring IsoText(TDateTime value);
// A field as spreadsheets read CSV: quoted, with inner quotes doubled, when it holds a separator
// (comma or semicolon, the list separator of many locales), a quote, a line break or outer blanks.
std::wstring CsvField(const std::wstring& text);

bool IsConsole(HANDLE handle);

class TTextOutput {
  public:
    // handle may be null or invalid: the text then goes nowhere.
    explicit TTextOutput(HANDLE handle);
    TTextOutput(const TTextOutput&) = delete;
    TTextOutput& operator=(const TTextOutput&) = delete;
    ~TTextOutput() { Flush(); }

    bool Console() const { return console_; }
    void Write(const std::wstring& text) { Write(text.data(), text.size()); }
    void Write(const wchar_t* text, std::size_t length);
    // False once a write has failed (a full disk, a closed pipe); later text is dropped.
    bool Flush();
    bool Failed() const { return failed_; }
    DWORD Error() const { return error_; }

  private:
    bool WriteBytes(const char* bytes, std::size_t length);

    HANDLE handle_;
    bool console_;
    bool failed_ = false;
    DWORD error_ = 0;
    std::string bytes_;    // UTF-8 waiting for a file or pipe
    std::wstring pending_; // text waiting for a console
};
