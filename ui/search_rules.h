#pragma once
// Plain rules of the search control, kept apart from the window so they read and test alone.
#include "scan/date_time.h"
#include "scan/snapshot_compare.h"
#include "toolkit/format_settings.h"
#include <cstdint>
#include <string>

// The number a scan takes from the number box: a number written with digits (and the user's digit
// grouping), a larger one than max brought down to max. Anything else, an empty box included,
// gives lastValid.
int NumberFromText(const std::wstring& text, int lastValid, int max, const std::wstring& thousandSeparator);

// The system error code that explains a ShellExecute result of 32 or less. The shell's own codes
// (0 and 26 to 32) are not system error codes: 31, no association, would read as "general failure".
int ShellErrorCode(long long result);

enum class TJobState { None, Running, Paused };
bool StartEnabled(const std::wstring& pathText, TJobState job);
bool PauseEnabled(TJobState job);
bool StopEnabled(TJobState job);

// The threshold of the date mode: the date picker's whole days plus the time picker's time of day.
TDateTime ThresholdFromPickers(TDateTime date, TDateTime time);

// What the status bar's second part tells of a scan, during it and after it.
struct TScanCounts {
    std::int64_t Files = 0;      // every file seen
    std::int64_t NamesTaken = 0; // of them, those the name masks take
    bool NameMasks = false;
    std::int64_t FoldersSkipped = 0;
    bool SkipPatterns = false;
    std::int64_t Rows = 0;
    bool Paused = false;
    // Known at the end only: the scan was stopped, the root folder is not there, and what the masks
    // without a wildcard may have meant ("*report*"), said when no file's name was taken.
    bool Stopped = false;
    bool RootMissing = false;
    std::wstring MaskHint;
    std::int64_t Selected = 0;       // rows selected in the list, named when more than one
    std::uint64_t SelectedBytes = 0; // the selected rows' sizes together
    // The changed mode: the changes so far (deleted and moved once settled, at the end of a scan that
    // ran to it), since the earlier scan's start as the user reads it; none without an earlier snapshot.
    bool Comparing = false;
    TChangeCounts Changes;
    bool Settled = false;
    std::wstring Since;
    bool FiltersDiffer = false;
};
// "Paused: 12 of 300,000 files match the names, 4 folders skipped, 12 rows", each figure in the
// user's digit grouping; the name masks and the skip patterns are named only when there are any,
// the selection (", 3 selected, 4.21 MB") only when it holds more than one row.
// After a Stop "Stopped: ..."; for a missing root "The folder was not found"; where masks took no
// file of some, the hint instead of the rows: "0 of 300 files match the names (did you mean *report*?)".
std::wstring CountsText(const TScanCounts& counts, const TFormatSettings& settings);
// A size as the shell writes it, in 1024-based units with about three figures: "812 bytes", "4.06 KB".
std::wstring SizeText(std::uint64_t bytes);
// Every byte, in the user's digit grouping: "1,048,575 bytes".
std::wstring ExactSizeText(std::uint64_t bytes, const TFormatSettings& settings);
// Whether a list of patterns holds any: more than separators and blanks.
bool HasPatterns(const std::wstring& text);
// The masks of a list written without * or ?, each between two *: "*report*; *memo*". A name
// mask without a wildcard takes that one name only, which is seldom what was meant.
std::wstring MaskHint(const std::wstring& masks);

// "s.zzz" under a minute, "m:ss" under an hour, "h:mm:ss" from there, prefixed with the whole days.
std::wstring RunningTimeText(TDateTime duration, const TFormatSettings& settings);
// A scan that a failure ended is not called a success: "Stopped on an error after %d files for %s."
std::wstring CompletionText(std::int64_t fileCount, TDateTime duration, const TFormatSettings& settings,
                            bool failed = false);
