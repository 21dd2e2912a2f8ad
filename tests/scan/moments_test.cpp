// The moments people say (local midnights, the last hour) and the store of the last scans' starts.
#include <gtest/gtest.h>

#include "scan/last_scans.h"
#include "scan/moments.h"
#include "scan/scan_request.h"
#include "scan_harness.h"
#include "toolkit/registry.h"

namespace {

// A zone 'bias' minutes behind UTC whose rules change on the given Sunday (5: the last) of a month.
TIME_ZONE_INFORMATION Zone(LONG bias, int standardMonth, int standardWeek, int standardHour,
                           int daylightMonth, int daylightWeek, int daylightHour) {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = bias;
    zone.StandardDate = {0, WORD(standardMonth), 0, WORD(standardWeek), WORD(standardHour)};
    zone.DaylightDate = {0, WORD(daylightMonth), 0, WORD(daylightWeek), WORD(daylightHour)};
    zone.DaylightBias = -60;
    return zone;
}

// Each moment from a fixed now: a local midnight by the rules of its own date, the day a local one,
// and a midnight that daylight saving skips (Havana's, 8 March 2026) is the instant the day begins.
TEST(Moments, DaysBeginAtTheirLocalMidnightAndTheLastHourIsCountedOnTheInstant) {
    using enum TMoment;
    const TIME_ZONE_INFORMATION newYork = Zone(300, 11, 1, 2, 3, 2, 2), havana = Zone(300, 11, 1, 1, 3, 2, 0),
                                sydney = Zone(-600, 4, 1, 3, 10, 1, 2);
    const struct {
        const char* Name;
        const TIME_ZONE_INFORMATION& Zone;
        FILETIME Now;
        TMoment Moment;
        FILETIME Expected;
    } cases[] = {
        {"NY today", newYork, UtcFileTime(2026, 3, 9, 15), Today, UtcFileTime(2026, 3, 9, 4)},
        {"NY yesterday", newYork, UtcFileTime(2026, 3, 9, 15), Yesterday, UtcFileTime(2026, 3, 8, 5)},
        {"NY 7 days", newYork, UtcFileTime(2026, 3, 9, 15), LastWeek, UtcFileTime(2026, 3, 2, 5)},
        {"NY last hour", newYork, UtcFileTime(2026, 3, 9, 15, 20, 5, 7), LastHour,
         UtcFileTime(2026, 3, 9, 14, 20, 5, 7)},
        {"NY evening, UTC ahead", newYork, UtcFileTime(2026, 3, 9, 3, 30), Today, UtcFileTime(2026, 3, 8, 5)},
        {"Havana skipped", havana, UtcFileTime(2026, 3, 8, 12), Today, UtcFileTime(2026, 3, 8, 5)},
        {"Havana yesterday", havana, UtcFileTime(2026, 3, 9, 12), Yesterday, UtcFileTime(2026, 3, 8, 5)},
        {"Havana next day", havana, UtcFileTime(2026, 3, 9, 12), Today, UtcFileTime(2026, 3, 9, 4)},
        {"Havana 7 days", havana, UtcFileTime(2026, 3, 14, 12), LastWeek, UtcFileTime(2026, 3, 7, 5)},
        {"Sydney yesterday", sydney, UtcFileTime(2026, 10, 5), Yesterday, UtcFileTime(2026, 10, 3, 14)},
        {"Sydney 7 days", sydney, UtcFileTime(2027, 1, 3), LastWeek, UtcFileTime(2026, 12, 26, 13)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TLocalTimeConverter zone(c.Zone);
        std::int64_t instant = 0;
        ASSERT_TRUE(MomentInstant(c.Moment, FileTimeTicks(c.Now), zone, instant));
        EXPECT_EQ(FileTimeTicks(c.Expected), instant)
            << (instant - FileTimeTicks(c.Expected)) / 600'000'000 << " minutes off";
    }
    std::int64_t instant = 0;
    TLocalTimeConverter zone(newYork);
    EXPECT_FALSE(MomentInstant(Today, 0, zone, instant)) << "1601 has no local day here";
}

// 33 roots written in an order other than their starts': the earliest start is forgotten; a root is
// one however it is written; a root written again keeps its place and leaves the others alone.
TEST(LastScans, TheNewest32RootsAreKeptEachByItsOwnRoot) {
    RegDeleteTreeW(HKEY_CURRENT_USER, LastScansKey);
    const auto root = [](int i) { return RootPathFromText(L"C:\\data\\root" + std::to_wstring(i)); };
    const auto start = [](int i) { return 1000 + (i * 7 + 5) % 33; }; // the earliest is root 4's
    for (int i = 0; i < 33; ++i)
        RememberScanStart(root(i), start(i));
    const auto count = [] {
        const auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, LastScansKey);
        return key ? key->ValueNames().size() : 0;
    };
    EXPECT_EQ(LastScansKept, count());
    EXPECT_FALSE(LastScanStart(root(4)));
    const std::pair<std::wstring, std::optional<std::int64_t>> lookups[] = {
        {L"C:\\data\\root7", start(7)},
        {L"c:/DATA/Root7/", start(7)},
        {L"  \"C:\\data\\root32\"", start(32)},
        {L"C:\\data\\root33", {}},
        {L"C:\\data", {}},
        {L"C:\\data\\root3\\sub", {}}};
    for (const auto& [typed, expected] : lookups)
        EXPECT_EQ(expected, LastScanStart(RootPathFromText(typed))) << testing::PrintToString(typed);
    RememberScanStart(RootPathFromText(L"c:\\DATA\\ROOT7"), 5000);
    EXPECT_EQ(5000, LastScanStart(root(7)));
    EXPECT_EQ(start(8), LastScanStart(root(8)));
    EXPECT_EQ(LastScansKept, count());
    // A start older than all (a clock set back) still stays; the earliest of the others goes.
    RememberScanStart(root(40), 1);
    EXPECT_EQ(1, LastScanStart(root(40)));
    EXPECT_FALSE(LastScanStart(root(23))) << "root 23 had the earliest start left";
    EXPECT_EQ(LastScansKept, count());
    RegDeleteTreeW(HKEY_CURRENT_USER, LastScansKey);
}

} // namespace
