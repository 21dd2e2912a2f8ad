#include <windows.h>
#include <cwchar>
#include <gtest/gtest.h>
#include <string>

#include "scan/filters.h"
#include "scan/scan_request.h"
#include "ui/search_rules.h"

namespace {

constexpr double Second = 1.0 / 86400.0;

TFormatSettings WithTimeSeparator(const wchar_t* separator) {
    TFormatSettings settings;
    settings.TimeSeparator = separator;
    return settings;
}

struct RunningTimeCase {
    double seconds;
    const wchar_t* expected;
};

TEST(RunningTimeText, PicksThePatternByLengthAndPrefixesWholeDays) {
    const RunningTimeCase cases[] = {
        {0.5, L"0.500"},
        {7, L"7.000"},
        {0.0004, L"0.000"},
        {59.9994, L"59.999"},
        {59.9996, L"1:00"},
        {5 * 60 + 7, L"5:07"},
        {59 * 60 + 59, L"59:59"},
        {3600 + 2 * 60 + 3, L"1:02:03"},
        {23 * 3600 + 59 * 60 + 59, L"23:59:59"},
        {25 * 3600, L"1 day 1:00:00"},
        {24 * 3600 + 30, L"1 day 0:00:30"},
        {50 * 3600, L"2 days 2:00:00"},
        {26 * 3600, L"1 day 2:00:00"},
    };
    const TFormatSettings settings = WithTimeSeparator(L":");
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, RunningTimeText(c.seconds * Second, settings)) << c.seconds << " s";
}

TEST(RunningTimeText, UsesTheUsersTimeSeparatorButAFullStopBeforeMilliseconds) {
    const TFormatSettings settings = WithTimeSeparator(L".");
    EXPECT_EQ(L"1.02.03", RunningTimeText((3600 + 2 * 60 + 3) * Second, settings));
    EXPECT_EQ(L"5.07", RunningTimeText((5 * 60 + 7) * Second, settings));
    EXPECT_EQ(L"12.300", RunningTimeText(12.3 * Second, WithTimeSeparator(L"h")));
}

TEST(CompletionText, CarriesTheCountAndTheRunningTime) {
    EXPECT_EQ(L"Successfully processed 1234 files for 12.300.",
              CompletionText(1234, 12.3 * Second, WithTimeSeparator(L":")));
    EXPECT_EQ(L"Successfully processed 5000000000 files for 1 day 1:00:00.",
              CompletionText(5'000'000'000LL, 25 * 3600 * Second, WithTimeSeparator(L":")));
    EXPECT_EQ(L"Stopped on an error after 7 files for 0.500.",
              CompletionText(7, 0.5 * Second, WithTimeSeparator(L":"), true));
}

// One full path with one backslash at its end, whatever way it was typed.
TEST(RootPathFromText, IsOneFullPathEndingWithOneBackslash) {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring here = current;
    if (here.back() != L'\\')
        here += L'\\';
    const std::wstring volume = L"Volume{26a21bda-a627-11d7-9931-806e6f6e6963}";
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:", L"C:\\"},
        {L"C:\\", L"C:\\"},
        {L"D:\\data", L"D:\\data\\"},
        {L"D:\\data\\", L"D:\\data\\"},
        {L"Z:/tmp/tree", L"Z:\\tmp\\tree\\"},
        {L"D:/data/", L"D:\\data\\"},
        {L" \t D:\\x  ", L"D:\\x\\"},
        {L"\\\\server\\share\\dir", L"\\\\server\\share\\dir\\"},
        {L"tree", here + L"tree\\"},
        {L"D:\\a\\..\\b", L"D:\\b\\"},
        {L" \"D:\\data\\small\" ", L"D:\\data\\small\\"},
        {L"\\\\?\\D:\\data\\dot.", L"D:\\data\\dot.\\"},
        {L"\\\\?\\UNC\\server\\share", L"\\\\server\\share\\"},
        // \\?\ exactly, blanks and dots at its end included; \\.\ resolved; a volume's path kept whole.
        {L" \\\\?\\D:\\data\\sp \r\n", L"D:\\data\\sp \\"},
        {L" \"\\\\?\\D:\\data\\sp \" ", L"D:\\data\\sp \\"},
        {L"\\\\?\\D:\\a\\..\\b.", L"D:\\a\\..\\b.\\"},
        {L"\\\\?\\D:", L"D:\\"},
        {L"\\\\.\\D:\\a\\..\\b", L"D:\\b\\"},
        {L"\\\\.\\UNC\\server\\share\\a", L"\\\\server\\share\\a\\"},
        {L"\\\\?\\" + volume, L"\\\\?\\" + volume + L"\\"},
        {L"\\\\.\\" + volume + L"\\x", L"\\\\?\\" + volume + L"\\x\\"},
        {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\\x ",
         L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\\x \\"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expected, RootPathFromText(text)) << std::string(text.begin(), text.end());
}

TEST(NumberFromText, TakesDigitsBringsThemIntoRangeAndOtherwiseTheLastValid) {
    const std::pair<const wchar_t*, int> cases[] = {
        {L"250", 250},    {L"0", 0},    {L"32767", 32767}, {L"50000", 32767}, {L"99999999999999", 32767},
        {L"1,000", 1000}, {L"007", 7},  {L" 3 ", 3},       {L"", 42},         {L"-5", 42},
        {L"abc", 42},     {L"1e2", 42}, {L"0x10", 42},     {L",5", 42},       {L"12.5", 42},
    };
    for (const auto& [text, number] : cases)
        EXPECT_EQ(number, NumberFromText(text, 42, 32767, L",")) << std::string(text, text + wcslen(text));
}

// The status bar's second part, its figures in the user's digit grouping.
TEST(CountsText, TellsFilesRowsPausesAndFiltersInTheUsersGrouping) {
    TFormatSettings western, indian, spaced;
    indian.Grouping = L"3;2;0";
    spaced.ThousandSeparator = L"\u00a0";
    struct Case {
        TScanCounts Counts;
        const TFormatSettings& Settings;
        const wchar_t* Expected;
    } cases[] = {
        {{0, 0, false, 0, false, 0, false}, western, L"0 files seen, 0 rows"},
        {{1, 1, false, 0, false, 1, true}, western, L"Paused: 1 file seen, 1 row"},
        {{300000, 0, true, 0, false, 0, false}, western, L"0 of 300,000 files match the names, 0 rows"},
        {{1, 1, true, 1, true, 1, false}, western, L"1 of 1 file matches the names, 1 folder skipped, 1 row"},
        {{123456789, 0, false, 0, false, 1000, false}, indian, L"12,34,56,789 files seen, 1,000 rows"},
        {{-1, 0, false, 0, false, 1000000, false}, spaced, L"-1 files seen, 1\u00a0000\u00a0000 rows"},
        // The end: a Stop, a missing root, masks without a wildcard that took no name.
        {{29633, 29633, false, 0, false, 100, false, true}, western, L"Stopped: 29,633 files seen, 100 rows"},
        {{0, 0, true, 0, true, 0, false, true, true, L"*a*"}, western, L"The folder was not found"},
        {{300, 0, true, 0, false, 0, false, false, false, L"*report*"},
         western,
         L"0 of 300 files match the names (did you mean *report*?)"},
        {{3000, 0, true, 2, true, 0, false, true, false, L"*a*; *b*"},
         western,
         L"Stopped: 0 of 3,000 files match the names (did you mean *a*; *b*?), 2 folders skipped"},
        {{300, 1, true, 0, false, 1, false, false, false, L"*report*"},
         western,
         L"1 of 300 files match the names, 1 row"},
        {{0, 0, true, 0, false, 0, false, false, false, L"*report*"},
         western,
         L"0 of 0 files match the names, 0 rows"},
        // The selection, once it holds more than one row.
        {{5, 5, false, 0, false, 5, false, false, false, L"", 1}, western, L"5 files seen, 5 rows"},
        {{5000, 0, false, 0, false, 5000, true, false, false, L"", 4321, 4'410'000},
         western,
         L"Paused: 5,000 files seen, 5,000 rows, 4,321 selected, 4.20 MB"},
        {{2, 0, false, 0, false, 2, false, false, false, L"", 2, 0},
         western,
         L"2 files seen, 2 rows, 2 selected, 0 bytes"},
        // The changed mode: new and changed while the walk goes on, all four once settled.
        {{1200, 1200, false, 0, false, 3, false, false, false, L"", 0, 0, true, {2, 1, 0, 0}, false, L"X"},
         western,
         L"2 new, 1 changed since X (1,200 files seen)"},
        {{7, 7, false, 0, false, 1, false, true, false, L"", 2, 0, true, {1, 0, 0, 0}, false, L"X"},
         western,
         L"Stopped: 1 new, 0 changed since X (7 files seen), 2 selected, 0 bytes"},
        {{9,
          9,
          false,
          0,
          false,
          18,
          false,
          false,
          false,
          L"",
          0,
          0,
          true,
          {12, 3, 2, 1, 4, 0},
          true,
          L"X",
          true},
         western,
         L"12 new, 3 changed, 2 deleted, 1 moved since X, 4 not seen; the filters differ: compared where "
         L"both "
         L"scans looked"},
        {{5, 5, false, 0, false, 0, false, false, false, L"", 0, 0, true},
         western,
         L"5 files seen; no earlier scan to compare with: this one is kept"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.Expected, CountsText(c.Counts, c.Settings));
}

// Each mask without a wildcard, widened; the hint, typed back, takes a name that holds the mask.
TEST(MaskHint, WidensEachMaskWithoutAWildcard) {
    const struct {
        const wchar_t *Masks, *Hint, *Taken;
    } cases[] = {
        {L"report", L"*report*", L"Annual REPORT 2024.docx"},
        {L"*.txt; memo, report ", L"*memo*; *report*", L"memo 2024.docx"},
        {L"a?c; *.doc", L"", nullptr},
        {L"", L"", nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Hint, MaskHint(c.Masks));
        if (!c.Taken)
            continue;
        TScanFilters hinted, typed;
        std::wstring error;
        ASSERT_TRUE(hinted.Set(L"", MaskHint(c.Masks), error) && typed.Set(L"", c.Masks, error));
        EXPECT_TRUE(hinted.TakesName(c.Taken));
        EXPECT_FALSE(typed.TakesName(c.Taken)) << "the masks as typed leave it out";
    }
}

TEST(SearchEnableRules, FollowTheJobStateAndTheTrimmedPath) {
    struct Case {
        const wchar_t* path;
        TJobState job;
        bool start, pause, stop;
    };
    const Case cases[] = {
        {L"C:\\", TJobState::None, true, false, false},     {L"", TJobState::None, false, false, false},
        {L" \t\r\n", TJobState::None, false, false, false}, {L"C:\\", TJobState::Running, false, true, true},
        {L"C:\\", TJobState::Paused, true, false, true},    {L"   ", TJobState::Paused, false, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.start, StartEnabled(c.path, c.job)) << c.path;
        EXPECT_EQ(c.pause, PauseEnabled(c.job));
        EXPECT_EQ(c.stop, StopEnabled(c.job));
    }
}

TEST(ThresholdFromPickers, TakesTheDateOfOneAndTheTimeOfDayOfTheOther) {
    const double march1 = 46082; // 1 March 2026
    const double pickerDate = march1 + 10.25 / 24;
    const double pickerTime = march1 + 40 + 14.5 / 24;
    EXPECT_DOUBLE_EQ(march1 + 14.5 / 24, ThresholdFromPickers(pickerDate, pickerTime));
    // 29 December 1899, 06:00 is day -1 plus a quarter: -0.75.
    EXPECT_NEAR(-1 + 14.5 / 24, ThresholdFromPickers(-0.75, pickerTime), 1e-9);
    EXPECT_NEAR(march1 + 0.25, ThresholdFromPickers(pickerDate, -0.75), 1e-9);
}

} // namespace
