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

std::uint64_t SteadyMilliseconds() { return steadyClockForTesting ? steadyClockForTesting() : GetTickCount64(); }

void SetSteadyClockForTesting(std::uint64_t (*clock)()) { steadyClockForTesting = clock; }

namespace {

std::wstring Number(int value, int digits) {
    std::wstring text = std::to_wstring(value);
    if (static_cast<int>(text.size()) < digits) {
        text.insert(0, static_cast<size_t>(digits) - text.size(), L'0');
    }
    return text;
}

std::wstring DateText(const SYSTEMTIME& fields, const TFormatSettings& settings) {
    const std::wstring& pattern =
        settings.ShortDatePattern.empty() ? std::wstring(L"M/d/yy") : settings.ShortDatePattern;
    std::wstring text;
    for (size_t i = 0; i < pattern.size();) {
        const wchar_t letter = pattern[i];
        size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == letter) {
            ++run;
        }
        switch (letter) {
        case L'd':
            if (run >= 4) {
                text += settings.LongDayNames[fields.wDayOfWeek];
            } else if (run == 3) {
                text += settings.ShortDayNames[fields.wDayOfWeek];
            } else {
                text += Number(fields.wDay, static_cast<int>(run));
            }
            break;
        case L'M':
            if (run >= 4) {
                text += settings.LongMonthNames[fields.wMonth - 1];
            } else if (run == 3) {
                text += settings.ShortMonthNames[fields.wMonth - 1];
            } else {
                text += Number(fields.wMonth, static_cast<int>(run));
            }
            break;
        case L'y':
            if (run <= 2) {
                text += Number(fields.wYear % 100, static_cast<int>(run));
            } else {
                text += Number(fields.wYear, 4);
            }
            break;
        case L'g':
            break; // era names: the Gregorian calendar needs none
        case L'/':
            for (size_t k = 0; k < run; ++k) {
                text += settings.DateSeparator;
            }
            break;
        case L'\'': {
            // Quoted literal; '' inside stands for one quote.
            size_t j = i + 1;
            for (; j < pattern.size(); ++j) {
                if (pattern[j] == L'\'') {
                    if (j + 1 < pattern.size() && pattern[j + 1] == L'\'') {
                        text += L'\'';
                        ++j;
                        continue;
                    }
                    break;
                }
                text += pattern[j];
            }
            i = j + 1;
            continue;
        }
        default:
            text.append(run, letter);
            break;
        }
        i += run;
    }
    return text;
}

} // namespace

std::wstring DateTimeText(TDateTime value, const TFormatSettings& settings) {
    const SYSTEMTIME fields = DecodeDateTime(value);
    int hour = fields.wHour;
    if (settings.TwelveHourClock) {
        hour = hour % 12 == 0 ? 12 : hour % 12;
    }
    std::wstring time = Number(hour, settings.LeadingZeroHours ? 2 : 1) + settings.TimeSeparator +
                        Number(fields.wMinute, 2) + settings.TimeSeparator + Number(fields.wSecond, 2);
    if (settings.TwelveHourClock) {
        const std::wstring& symbol = fields.wHour < 12 ? settings.AmSymbol : settings.PmSymbol;
        if (!symbol.empty()) {
            time = settings.SymbolBeforeTime ? symbol + L' ' + time : time + L' ' + symbol;
        }
    }
    return DateText(fields, settings) + L' ' + time;
}
