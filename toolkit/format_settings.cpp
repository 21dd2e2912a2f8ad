#include "toolkit/format_settings.h"

#include <windows.h>
#include <algorithm>
#include <string_view>
#include <vector>

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
    settings.Grouping = LocaleText(LOCALE_SGROUPING, L"3;0");
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

std::wstring GroupedNumber(long long value, const TFormatSettings& settings) {
    std::wstring digits = std::to_wstring(value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                    : static_cast<unsigned long long>(value));
    // The group sizes, the last one repeated when the list ends with 0.
    std::vector<std::size_t> sizes;
    bool repeat = false;
    for (std::size_t at = 0; at <= settings.Grouping.size();) {
        const std::size_t end = std::min(settings.Grouping.find(L';', at), settings.Grouping.size());
        const std::wstring_view field = std::wstring_view(settings.Grouping).substr(at, end - at);
        const std::size_t size =
            field.size() == 1 && field[0] >= L'0' && field[0] <= L'9' ? field[0] - L'0' : 0;
        repeat = size == 0 && !sizes.empty();
        if (size == 0)
            break;
        sizes.push_back(size);
        at = end + 1;
    }
    std::wstring grouped;
    std::size_t left = digits.size(), group = 0;
    while (left > 0) {
        std::size_t size = group < sizes.size() ? sizes[group] : repeat ? sizes.back() : left;
        size = std::min(size, left);
        grouped.insert(0, digits, left - size, size);
        left -= size;
        ++group;
        if (left > 0)
            grouped.insert(0, settings.ThousandSeparator);
    }
    return (value < 0 ? L"-" : L"") + grouped;
}
