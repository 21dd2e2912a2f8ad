#pragma once
// The user's regional date and time settings, as a value.
#include <array>
#include <string>

struct TFormatSettings {
    // Windows notation: d, dd, M, MM, MMM, MMMM, y, yy, yyyy; '/' stands for DateSeparator;
    // text in single quotes is literal. Empty when the system gives none.
    std::wstring ShortDatePattern;
    std::wstring DateSeparator = L"/";
    std::wstring TimeSeparator = L":";
    bool LeadingZeroHours = false;
    bool TwelveHourClock = true;
    std::wstring AmSymbol = L"AM";
    std::wstring PmSymbol = L"PM";
    bool SymbolBeforeTime = false;
    // Between groups of three digits, as a spin control writes its number.
    std::wstring ThousandSeparator = L",";
    // The sizes of the digit groups from the right, as LOCALE_SGROUPING gives them: "3;0" repeats
    // groups of three, "3;2;0" gives one of three and then twos (12,34,567), "3" one group only.
    std::wstring Grouping = L"3;0";
    std::array<std::wstring, 12> ShortMonthNames;
    std::array<std::wstring, 12> LongMonthNames;
    std::array<std::wstring, 7> ShortDayNames; // Sunday first
    std::array<std::wstring, 7> LongDayNames;  // Sunday first
};

// Reads the settings of the user's default locale.
TFormatSettings UserFormatSettings();

// A whole number in the user's digit grouping: 1,234,567.
std::wstring GroupedNumber(long long value, const TFormatSettings& settings);
