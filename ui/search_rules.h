#pragma once
// Plain rules of the search control, kept apart from the window so they read and test alone.
#include <cstdint>
#include <string>
#include "scan/date_time.h"
#include "toolkit/format_settings.h"

// The root folder as the job gets it: the text as typed, with one backslash appended unless it
// already ends with one.
std::wstring RootPathFromText(const std::wstring& text);

// Trimmed of leading and trailing characters at or below U+0020.
std::wstring TrimControls(const std::wstring& text);

enum class TJobState { None, Running, Paused };
bool StartEnabled(const std::wstring& pathText, TJobState job);
bool PauseEnabled(TJobState job);
bool StopEnabled(TJobState job);

// The threshold of the date mode: the date picker's whole days plus the time picker's time of day.
TDateTime ThresholdFromPickers(TDateTime date, TDateTime time);

// "s.zzz" under a minute, "m:ss" under an hour, "h:mm:ss" from there, prefixed with the whole days.
std::wstring RunningTimeText(TDateTime duration, const TFormatSettings& settings);
std::wstring CompletionText(std::int64_t fileCount, TDateTime duration, const TFormatSettings& settings);
