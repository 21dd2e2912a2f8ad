#pragma once
// The date-time value: days since 30 December 1899 00:00, local time, the fraction the time of day.
#include "toolkit/format_settings.h"
#include <windows.h>
#include <cstdint>
#include <string>

using TDateTime = double;

// Calendar fields from their numbers; the day of the week stays 0.
SYSTEMTIME CalendarFields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                          int ms = 0);
// 28 to 31 by the Gregorian calendar; month from 1 to 12.
int DaysInMonth(int year, int month);
// Day number plus the time of day (milliseconds included); false outside the years 1 to 9999.
bool TryEncodeDateTime(const SYSTEMTIME& local, TDateTime& result);
// Calendar fields of a value (milliseconds truncated, never rounded up).
SYSTEMTIME DecodeDateTime(TDateTime value);
// The current local date and time; tests may replace the clock.
TDateTime Now();
void SetClockForTesting(TDateTime (*clock)());
// The current instant in UTC ticks (a file time as one number); tests may replace this clock too.
std::int64_t NowUtc();
void SetUtcClockForTesting(std::int64_t (*clock)());
// Milliseconds that only ever go forward, whatever is done to the date and time: for intervals.
// Tests may replace this clock as well.
std::uint64_t SteadyMilliseconds();
void SetSteadyClockForTesting(std::uint64_t (*clock)());

// Short date pattern, one space, hours:mm:ss with the AM/PM symbol where the settings place it.
std::wstring DateTimeText(TDateTime value, const TFormatSettings& settings);
// The same text appended to out: a list writes one for each row it draws or copies.
void AppendDateTimeText(std::wstring& out, TDateTime value, const TFormatSettings& settings);
