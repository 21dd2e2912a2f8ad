#include "toolkit/format_settings.h"

#include <windows.h>

namespace {

std::wstring LocaleText(LCTYPE type, const std::wstring& fallback) {
    wchar_t buffer[128];
    int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, static_cast<int>(std::size(buffer)));
    if (length <= 1) {
        return fallback;
    }
    return std::wstring(buffer, static_cast<size_t>(length - 1));
}

int LocaleNumber(LCTYPE type, int fallback) {
    DWORD value = 0;
    if (!GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type | LOCALE_RETURN_NUMBER,
                         reinterpret_cast<LPWSTR>(&value), sizeof value / sizeof(wchar_t))) {
        return fallback;
    }
    return static_cast<int>(value);
}

} // namespace

TFormatSettings UserFormatSettings() {
    TFormatSettings settings;
    settings.ShortDatePattern = LocaleText(LOCALE_SSHORTDATE, L"");
    settings.DateSeparator = LocaleText(LOCALE_SDATE, L"/");
    settings.TimeSeparator = LocaleText(LOCALE_STIME, L":");
    settings.LeadingZeroHours = LocaleNumber(LOCALE_ITLZERO, 0) != 0;
    settings.TwelveHourClock = LocaleNumber(LOCALE_ITIME, 0) == 0;
    settings.AmSymbol = LocaleText(LOCALE_S1159, L"");
    settings.PmSymbol = LocaleText(LOCALE_S2359, L"");
    settings.SymbolBeforeTime = LocaleNumber(LOCALE_ITIMEMARKPOSN, 0) != 0;
    settings.ThousandSeparator = LocaleText(LOCALE_STHOUSAND, L"");
    for (int month = 0; month < 12; ++month) {
        settings.ShortMonthNames[month] = LocaleText(LOCALE_SABBREVMONTHNAME1 + month, L"");
        settings.LongMonthNames[month] = LocaleText(LOCALE_SMONTHNAME1 + month, L"");
    }
    // The locale counts from Monday (DAYNAME1); the settings count from Sunday.
    for (int day = 0; day < 7; ++day) {
        int fromMonday = (day + 6) % 7;
        settings.ShortDayNames[day] = LocaleText(LOCALE_SABBREVDAYNAME1 + fromMonday, L"");
        settings.LongDayNames[day] = LocaleText(LOCALE_SDAYNAME1 + fromMonday, L"");
    }
    return settings;
}
