#include "scan/date_time.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr std::int64_t MsPerDay = 86'400'000;

// Days from 30 December 1899 to the given date of the proleptic Gregorian calendar.
std::int64_t DayNumber(int year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + 25569; // 1970-01-01 is day 25569
}

TDateTime (*clockForTesting)() = nullptr;
std::int64_t (*utcClockForTesting)() = nullptr;
std::uint64_t (*steadyClockForTesting)() = nullptr;

} // namespace

SYSTEMTIME CalendarFields(int year, int month, int day, int hour, int minute, int second, int ms) {
    SYSTEMTIME fields{};
    fields.wYear = static_cast<WORD>(year);
    fields.wMonth = static_cast<WORD>(month);
    fields.wDay = static_cast<WORD>(day);
    fields.wHour = static_cast<WORD>(hour);
    fields.wMinute = static_cast<WORD>(minute);
    fields.wSecond = static_cast<WORD>(second);
    fields.wMilliseconds = static_cast<WORD>(ms);
    return fields;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool TryEncodeDateTime(const SYSTEMTIME& local, TDateTime& result) {
    if (local.wYear < 1 || local.wYear > 9999 || local.wMonth < 1 || local.wMonth > 12 || local.wDay < 1 ||
        local.wDay > DaysInMonth(local.wYear, local.wMonth) || local.wHour > 23 || local.wMinute > 59 ||
        local.wSecond > 59 || local.wMilliseconds > 999) {
        return false;
    }
    const std::int64_t ms =
        local.wHour * 3'600'000LL + local.wMinute * 60'000LL + local.wSecond * 1'000LL + local.wMilliseconds;
    result = static_cast<double>(DayNumber(local.wYear, local.wMonth, local.wDay)) +
             static_cast<double>(ms) / static_cast<double>(MsPerDay);
    return true;
}

SYSTEMTIME DecodeDateTime(TDateTime value) {
    // Values carry whole milliseconds; rounding to the nearest one undoes the binary fraction, and
    // the seconds are then cut, never rounded up.
    const std::int64_t total = std::llround(value * static_cast<double>(MsPerDay));
    std::int64_t days = total / MsPerDay;
    std::int64_t ms = total % MsPerDay;
    if (ms < 0) {
        ms += MsPerDay;
        --days;
    }
    // Civil date from a day count (1970-01-01 based).
    const std::int64_t z = days - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2);

    SYSTEMTIME fields{};
    fields.wYear = static_cast<WORD>(year);
    fields.wMonth = static_cast<WORD>(month);
    fields.wDay = static_cast<WORD>(day);
    fields.wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 6) % 7); // day 0 was a Saturday
    fields.wHour = static_cast<WORD>(ms / 3'600'000);
    fields.wMinute = static_cast<WORD>(ms / 60'000 % 60);
    fields.wSecond = static_cast<WORD>(ms / 1'000 % 60);
    fields.wMilliseconds = static_cast<WORD>(ms % 1'000);
    return fields;
}

TDateTime Now() {
    if (clockForTesting) {
        return clockForTesting();
    }
    SYSTEMTIME local;
    GetLocalTime(&local);
    TDateTime value = 0;
    TryEncodeDateTime(local, value);
    return value;
}

void SetClockForTesting(TDateTime (*clock)()) {
    clockForTesting = clock;
}

std::int64_t NowUtc() {
    if (utcClockForTesting) {
        return utcClockForTesting();
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                                     now.dwLowDateTime);
}

void SetUtcClockForTesting(std::int64_t (*clock)()) {
    utcClockForTesting = clock;
}

std::uint64_t SteadyMilliseconds() {
    return steadyClockForTesting ? steadyClockForTesting() : GetTickCount64();
}

void SetSteadyClockForTesting(std::uint64_t (*clock)()) {
    steadyClockForTesting = clock;
}

namespace {

// Appends value with at least digits digits, zeros in front.
void AppendNumber(std::wstring& out, int value, int digits) {
    wchar_t text[12];
    int length = 0;
    do {
        text[length++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value > 0 && length < 12);
    for (int i = length; i < digits; ++i) {
        out += L'0';
    }
    while (length > 0) {
        out += text[--length];
    }
}

void AppendDate(std::wstring& out, const SYSTEMTIME& fields, const TFormatSettings& settings) {
    static const std::wstring fallback = L"M/d/yy";
    const std::wstring& pattern = settings.ShortDatePattern.empty() ? fallback : settings.ShortDatePattern;
    for (size_t i = 0; i < pattern.size();) {
        const wchar_t letter = pattern[i];
        size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == letter) {
            ++run;
        }
        switch (letter) {
        case L'd':
            if (run >= 4) {
                out += settings.LongDayNames[fields.wDayOfWeek];
            } else if (run == 3) {
                out += settings.ShortDayNames[fields.wDayOfWeek];
            } else {
                AppendNumber(out, fields.wDay, static_cast<int>(run));
            }
            break;
        case L'M':
            if (run >= 4) {
                out += settings.LongMonthNames[fields.wMonth - 1];
            } else if (run == 3) {
                out += settings.ShortMonthNames[fields.wMonth - 1];
            } else {
                AppendNumber(out, fields.wMonth, static_cast<int>(run));
            }
            break;
        case L'y':
            if (run <= 2) {
                AppendNumber(out, fields.wYear % 100, static_cast<int>(run));
            } else {
                AppendNumber(out, fields.wYear, 4);
            }
            break;
        case L'g':
            break; // era names: the Gregorian calendar needs none
        case L'/':
            for (size_t k = 0; k < run; ++k) {
                out += settings.DateSeparator;
            }
            break;
        case L'\'': {
            // Quoted literal; '' inside stands for one quote.
            size_t j = i + 1;
            for (; j < pattern.size(); ++j) {
                if (pattern[j] == L'\'') {
                    if (j + 1 < pattern.size() && pattern[j + 1] == L'\'') {
                        out += L'\'';
                        ++j;
                        continue;
                    }
                    break;
                }
                out += pattern[j];
            }
            i = j + 1;
            continue;
        }
        default:
            out.append(run, letter);
            break;
        }
        i += run;
    }
}

} // namespace

void AppendDateTimeText(std::wstring& out, TDateTime value, const TFormatSettings& settings) {
    const SYSTEMTIME fields = DecodeDateTime(value);
    AppendDate(out, fields, settings);
    out += L' ';
    const std::wstring* symbol = nullptr;
    int hour = fields.wHour;
    if (settings.TwelveHourClock) {
        hour = hour % 12 == 0 ? 12 : hour % 12;
        symbol = fields.wHour < 12 ? &settings.AmSymbol : &settings.PmSymbol;
        if (symbol->empty()) {
            symbol = nullptr;
        }
    }
    if (symbol && settings.SymbolBeforeTime) {
        out += *symbol;
        out += L' ';
    }
    AppendNumber(out, hour, settings.LeadingZeroHours ? 2 : 1);
    out += settings.TimeSeparator;
    AppendNumber(out, fields.wMinute, 2);
    out += settings.TimeSeparator;
    AppendNumber(out, fields.wSecond, 2);
    if (symbol && !settings.SymbolBeforeTime) {
        out += L' ';
        out += *symbol;
    }
}

std::wstring DateTimeText(TDateTime value, const TFormatSettings& settings) {
    std::wstring text;
    AppendDateTimeText(text, value, settings);
    return text;
}
