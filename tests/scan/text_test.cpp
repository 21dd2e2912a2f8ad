// Date-time values and texts, and the system's error texts.
#include <gtest/gtest.h>

#include "scan/date_time.h"
#include "scan/sys_error.h"

namespace {

SYSTEMTIME Fields(int year, int month, int day, int hour, int minute, int second, int ms) {
    return CalendarFields(year, month, day, hour, minute, second, ms);
}

TDateTime Value(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    TDateTime value = 0;
    EXPECT_TRUE(TryEncodeDateTime(Fields(year, month, day, hour, minute, second, ms), value));
    return value;
}

TEST(DateTimeValue, DayNumbersAndBounds) {
    EXPECT_EQ(0.0, Value(1899, 12, 30));
    EXPECT_EQ(1.0, Value(1899, 12, 31));
    EXPECT_EQ(-1.0, Value(1899, 12, 29));
    EXPECT_EQ(36526.0, Value(2000, 1, 1));
    EXPECT_EQ(2958465.0, Value(9999, 12, 31));
    EXPECT_EQ(-693593.0, Value(1, 1, 1));
    EXPECT_EQ(38053.5, Value(2004, 3, 7, 12));
    TDateTime value;
    for (SYSTEMTIME bad :
         {Fields(0, 12, 31, 0, 0, 0, 0), Fields(10000, 1, 1, 0, 0, 0, 0), Fields(2001, 2, 29, 0, 0, 0, 0),
          Fields(2000, 13, 1, 0, 0, 0, 0), Fields(2000, 1, 1, 24, 0, 0, 0)}) {
        EXPECT_FALSE(TryEncodeDateTime(bad, value)) << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay;
    }
}

TEST(DateTimeValue, DecodingGivesTheFieldsBackWithTheirMilliseconds) {
    const SYSTEMTIME cases[] = {Fields(2004, 3, 7, 9, 5, 3, 870),  Fields(2000, 2, 29, 23, 59, 59, 999),
                                Fields(1, 1, 1, 0, 0, 0, 1),       Fields(9999, 12, 31, 23, 59, 59, 999),
                                Fields(1850, 6, 15, 12, 30, 0, 0), Fields(2024, 12, 31, 0, 0, 4, 0)};
    for (const SYSTEMTIME& fields : cases) {
        TDateTime value = 0;
        ASSERT_TRUE(TryEncodeDateTime(fields, value));
        const SYSTEMTIME back = DecodeDateTime(value);
        EXPECT_EQ(fields.wYear, back.wYear);
        EXPECT_EQ(fields.wMonth, back.wMonth);
        EXPECT_EQ(fields.wDay, back.wDay);
        EXPECT_EQ(fields.wHour, back.wHour);
        EXPECT_EQ(fields.wMinute, back.wMinute);
        EXPECT_EQ(fields.wSecond, back.wSecond);
        EXPECT_EQ(fields.wMilliseconds, back.wMilliseconds);
    }
}

TFormatSettings German() {
    TFormatSettings settings;
    settings.ShortDatePattern = L"dd.MM.yyyy";
    settings.DateSeparator = L".";
    settings.LeadingZeroHours = true;
    settings.TwelveHourClock = false;
    return settings;
}

TEST(DateTimeText, FollowsTheRegionalSettings) {
    TFormatSettings us;
    us.ShortDatePattern = L"M/d/yyyy";
    TFormatSettings before = us;
    before.SymbolBeforeTime = true;
    before.AmSymbol = L"\x5348\x524D"; // 午前
    before.PmSymbol = L"\x5348\x5F8C"; // 午後
    before.ShortDatePattern = L"yyyy/MM/dd";
    TFormatSettings none;
    none.ShortDatePattern.clear();
    none.TwelveHourClock = false;
    TFormatSettings dashes = German();
    dashes.ShortDatePattern = L"yy/M/d";
    dashes.DateSeparator = L"-";
    TFormatSettings quoted = German();
    quoted.ShortDatePattern = L"d' de 'MMMM' de 'yyyy";
    quoted.LongMonthNames[2] = L"marzo";

    struct TCase {
        const TFormatSettings& Settings;
        TDateTime Value;
        const wchar_t* Text;
    };
    const TCase cases[] = {
        {German(), Value(2004, 3, 7, 9, 5, 3, 870), L"07.03.2004 09:05:03"},
        {German(), Value(2004, 3, 7, 23, 59, 59, 999), L"07.03.2004 23:59:59"},
        {us, Value(2004, 3, 7, 9, 5, 3, 870), L"3/7/2004 9:05:03 AM"},
        {us, Value(2004, 3, 7, 12, 0, 0), L"3/7/2004 12:00:00 PM"},
        {us, Value(2004, 3, 7, 0, 30, 0), L"3/7/2004 12:30:00 AM"},
        {us, Value(2004, 11, 17, 23, 1, 2), L"11/17/2004 11:01:02 PM"},
        {before, Value(2004, 3, 7, 15, 4, 5), L"2004/03/07 \x5348\x5F8C 3:04:05"},
        {none, Value(2004, 3, 7, 0, 0, 0), L"3/7/04 0:00:00"},
        {none, Value(1999, 12, 31, 18, 0, 0), L"12/31/99 18:00:00"},
        {dashes, Value(2009, 1, 2, 3, 4, 5), L"09-1-2 03:04:05"},
        {quoted, Value(2004, 3, 7, 0, 0, 0), L"7 de marzo de 2004 00:00:00"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(std::wstring(c.Text), DateTimeText(c.Value, c.Settings));
    }
}

// The user's settings read from the locale write what the system itself writes for them.
TEST(DateTimeText, UserSettingsMatchTheSystemsFormatting) {
    const TFormatSettings settings = UserFormatSettings();
    for (const SYSTEMTIME& fields :
         {Fields(2004, 3, 7, 9, 5, 3, 870), Fields(2021, 11, 28, 0, 0, 0, 0),
          Fields(1999, 12, 31, 23, 59, 59, 999), Fields(2010, 7, 4, 12, 7, 9, 0)}) {
        wchar_t date[100], time[100];
        ASSERT_GT(
            GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &fields, nullptr, date, 100, nullptr),
            0);
        ASSERT_GT(GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &fields, nullptr, time, 100), 0);
        TDateTime value = 0;
        ASSERT_TRUE(TryEncodeDateTime(fields, value));
        EXPECT_EQ(std::wstring(date) + L" " + time, DateTimeText(value, settings));
    }
}

TEST(SysErrorText, KnownUnknownAndNegativeCodes) {
    const std::wstring known = SysErrorText(ERROR_ACCESS_DENIED);
    ASSERT_GE(known.size(), 2u);
    EXPECT_EQ(L'\n', known.back());
    EXPECT_EQ(std::wstring::npos, known.find(L"Unspecified error"));

    EXPECT_EQ(L"Unspecified error (4390).", SysErrorText(4390));
    EXPECT_EQ(L"Unspecified error (987654321).", SysErrorText(987654321));
    const int negative = static_cast<int>(0x8000FFFFu + 0x0F000000u); // no such system message
    EXPECT_EQ(L"Unspecified error (" + std::to_wstring(negative) + L").", SysErrorText(negative));
    EXPECT_LT(negative, 0);
}

TEST(SysErrorText, LogLineIsOneLineEndingWithTheSignedCode) {
    struct TCase {
        int Code;
        std::wstring Text;
    };
    const int negative = static_cast<int>(0x8F00FFFFu);
    for (const TCase& c : {TCase{5, L""}, TCase{3, L""}, TCase{4390, L"Unspecified error (4390)."},
                           TCase{negative, L"Unspecified error (" + std::to_wstring(negative) + L")."}}) {
        const std::wstring line = LogLine(L"C:\\r\\b\\", c.Code);
        std::wstring text = SysErrorText(c.Code);
        while (!text.empty() && text.back() <= L' ') {
            text.pop_back();
        }
        if (!c.Text.empty()) {
            EXPECT_EQ(c.Text, text);
        }
        EXPECT_EQ(L"C:\\r\\b\\ - " + text + L" (" + std::to_wstring(c.Code) + L")", line);
        EXPECT_EQ(std::wstring::npos, line.find_first_of(L"\r\n"));
    }
}

} // namespace
