#pragma once
// The switches of a scan without a window, read into one request.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/output.h"
#include "scan/date_time.h"
#include "scan/local_time.h"
#include "scan/scan_request.h"

struct TCommandLine {
    enum class TAction { Scan, Help, Version };
    TAction Action = TAction::Scan;
    TScanRequest Scan;    // its Root as given
    std::wstring OutPath; // empty: standard output
    TOutputFormat Format = TOutputFormat::Lines;
    // --since last: the moment is the start of the last completed scan of the root, looked up once
    // the root is known.
    bool SinceLast = false;
    // --changed: the changes since the kept snapshot of the root and filters, or of Baseline's file.
    bool Changed = false;
    std::wstring Baseline;
};

// True when these arguments ask for a scan without a window: the first one begins with "--" or
// is "-0".
bool IsCommandLineScan(const std::vector<std::wstring>& arguments);

// Reads the arguments; on a bad one, false and error holds one line that names it. nowUtc is the
// moment --within and --since count back from, by the zone's rules for today and yesterday.
bool ParseArguments(const std::vector<std::wstring>& arguments, const FILETIME& nowUtc, TCommandLine& request,
                    std::wstring& error, TLocalTimeConverter zone = TLocalTimeConverter());

// "2026-12-07", "2026-12-07T14:30" or "2026-12-07 14:30:15.250" (seconds and one to three digits of
// their fraction optional), local time.
bool ParseMoment(const std::wstring& text, TDateTime& moment);
// "90s", "15m", "2h", "3d": the instant that long before nowUtc, in UTC ticks; a duration reaching
// before the earliest file time gives one before every file.
bool ParseWithin(const std::wstring& text, const FILETIME& nowUtc, std::int64_t& instant);

std::wstring HelpText();

// The text in double quotes, as the messages name a path or an argument.
std::wstring Quoted(const std::wstring& text);
