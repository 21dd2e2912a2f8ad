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
    std::array<std::wstring, 12> ShortMonthNames;
    std::array<std::wstring, 12> LongMonthNames;
    std::array<std::wstring, 7> ShortDayNames; // Sunday first
    std::array<std::wstring, 7> LongDayNames;  // Sunday first
};

// Reads the settings of the user's default locale.
TFormatSettings UserFormatSettings();
