#pragma once
// Where the lines go: a console gets UTF-16 text as it is; a file or a pipe gets UTF-8, buffered.
#include <windows.h>
#include <cstdint>
#include <string>
#include <string_view>

#include "scan/date_time.h"

// The lines are made in UTF-8, the form files and pipes get: a hundred thousand of them are written
// in a few milliseconds. A name may hold half of a surrogate pair without the other (NTFS allows
// it), which UTF-8 has no form for: it becomes U+FFFD, or, for a path held until it is written, the
// three bytes its code would take (ED A0 80 to ED BF BF), so that the name can still be written
// exactly where the output allows it. False when the text held such a half.
bool AppendUtf8(std::wstring_view text, std::string& out, bool keepLoneSurrogates = false);
// Of a held path: whether it holds a lone surrogate; the path in UTF-8 with U+FFFD for each; the
// path in UTF-16 exactly as it was, or with each written as its escape (\uD800).
bool HoldsLoneSurrogate(std::string_view held);
void AppendStrictUtf8(std::string_view held, std::string& out);
std::wstring Wide(std::string_view held, bool escapeLoneSurrogates = false);
// Local time in ISO 8601 with milliseconds: 2026-12-07T14:30:15.250.
void AppendIsoText(TDateTime value, std::string& out);
// A file time in UTC ticks as a date-time value of UTC; 0 when it has no date in the years 1 to 9999.
TDateTime UtcValue(std::int64_t utcTicks);
// The difference of a local time from UTC, "+01:00" or "-05:00".
void AppendUtcOffset(TDateTime local, std::int64_t utcTicks, std::string& out);
// A JSON string of a held path: quotes and backslashes escaped, control characters and lone
// surrogates as their \u escapes, the rest UTF-8.
void AppendJsonString(std::string_view utf8, std::string& out);
// A field as spreadsheets read CSV: quoted, with inner quotes doubled, when it holds a separator
// (comma or semicolon, the list separator of many locales), a quote, a line break or outer blanks.
// The characters that decide are ASCII, so UTF-8 is read byte by byte.
void AppendCsvField(std::string_view text, std::string& out);

// Lines (path, tab, local time), CSV (by an --out name ending in .csv: path, local time, size),
// paths ended by NUL (-0), or one JSON object a line (--json, with the size).
enum class TOutputFormat { Lines, Csv, Null, Json };

// One file in the form asked for, its path as held. JSON escapes a lone surrogate and a console
// takes UTF-16, so there every name is written exactly; elsewhere such a name is written with U+FFFD
// in its place, and false says so.
bool AppendFile(TOutputFormat format, std::string_view held, TDateTime time, std::int64_t utc,
                std::uint64_t size, bool console, std::string& line);
// The first line of a CSV file, after its byte-order mark.
inline constexpr wchar_t CsvHeader[] = L"File,Date/Time,Size\r\n";

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
