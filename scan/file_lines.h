#pragma once
// The lines that name found files, as the console writes them and the window saves them: UTF-8
// text, CSV, paths ended by NUL, or JSON lines.
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
// The same onto the end of text, which keeps its room.
void AppendWide(std::string_view held, std::wstring& text, bool escapeLoneSurrogates = false);
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
// What the changes mode adds to CSV and JSON after the columns every line has: how the file changed
// and what the kept snapshot had of it (nothing for a new file).
struct TChangeColumns {
    const char* Kind = ""; // "new", "changed", "deleted" or "moved"
    bool HasOld = false;
    std::string_view OldHeld; // the old path, held as the paths are
    std::uint64_t OldSize = 0;
    std::int64_t OldUtc = 0;
};
bool AppendFile(TOutputFormat format, std::string_view held, TDateTime time, std::int64_t utc,
                std::uint64_t size, bool console, std::string& line, const TChangeColumns* change = nullptr);
// The first line of a CSV file, after its byte-order mark, and the one of the changes mode.
inline constexpr wchar_t CsvHeader[] = L"File,Date/Time,Size\r\n";
inline constexpr wchar_t ChangesCsvHeader[] = L"File,Date/Time,Size,Change,Old path,Old size,Old UTC\r\n";
// The start of a file of the format: for CSV its byte-order mark and header, for the others nothing.
void AppendFileStart(TOutputFormat format, std::string& out, bool changes = false);
