// Local time with each time stamp's own daylight-saving rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "scan/date_time.h"
#include "scan/local_time.h"
#include "scan_harness.h"
#include "toolkit/handoff.h"

namespace {

SYSTEMTIME Rule(int month, int dayOfWeek, int week, int hour) {
    SYSTEMTIME rule{};
    rule.wMonth = static_cast<WORD>(month);
    rule.wDayOfWeek = static_cast<WORD>(dayOfWeek);
    rule.wDay = static_cast<WORD>(week);
    rule.wHour = static_cast<WORD>(hour);
    return rule;
}

TIME_ZONE_INFORMATION Zone(LONG bias, SYSTEMTIME standard, SYSTEMTIME daylight, LONG daylightBias = -60) {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = bias;
    zone.StandardDate = standard;
    zone.DaylightDate = daylight;
    zone.DaylightBias = daylightBias;
    return zone;
}

// The cached per-year rule gives what the system's conversion gives, around every transition too.
TEST(LocalTime, AgreesWithTheSystemsConversionInSeveralZones) {
    struct TCase {
        const char* Name;
        TIME_ZONE_INFORMATION Zone;
    };
    const TCase cases[] = {
        {"New York", Zone(300, Rule(11, 0, 1, 2), Rule(3, 0, 2, 2))},
        {"Berlin", Zone(-60, Rule(10, 0, 5, 3), Rule(3, 0, 5, 2))},
        {"Sydney", Zone(-600, Rule(4, 0, 1, 3), Rule(10, 0, 1, 2))},
        {"Lord Howe", Zone(-630, Rule(4, 0, 1, 2), Rule(10, 0, 1, 2), -30)},
        {"Kolkata", Zone(-330, SYSTEMTIME{}, SYSTEMTIME{})},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLocalTimeConverter converter(c.Zone);
        std::vector<std::int64_t> instants;
        const std::int64_t hour = 36'000'000'000LL;
        const FILETIME from = UtcFileTime(1995, 1, 1), to = UtcFileTime(2035, 1, 1);
        auto ticks = [](FILETIME t) {
            return (static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        for (std::int64_t t = ticks(from); t < ticks(to); t += 7 * hour + 1234567) {
            instants.push_back(t);
        }
        // Minute by minute across the days of the transitions of some years.
        for (int year : {2001, 2021, 2024}) {
            for (int month : {3, 4, 10, 11}) {
                for (int day = 1; day <= 28; day += 1) {
                    for (int minute = -30; minute <= 30; minute += 1) {
                        instants.push_back(ticks(UtcFileTime(year, month, day, 1)) +
                                           600'000'000LL * minute * 16);
                    }
                }
            }
        }
        int mismatches = 0;
        for (std::int64_t t : instants) {
            const FILETIME utc{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
            SYSTEMTIME universal, expected, actual;
            ASSERT_TRUE(FileTimeToSystemTime(&utc, &universal));
            ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&c.Zone, &universal, &expected));
            ASSERT_TRUE(converter.ToLocal(utc, actual));
            if (memcmp(&expected, &actual, sizeof expected) != 0 && ++mismatches <= 3) {
                ADD_FAILURE() << expected.wYear << "-" << expected.wMonth << "-" << expected.wDay << " "
                              << expected.wHour << ":" << expected.wMinute << " expected, got "
                              << actual.wYear << "-" << actual.wMonth << "-" << actual.wDay << " "
                              << actual.wHour << ":" << actual.wMinute;
            }
        }
        EXPECT_EQ(0, mismatches);
    }
}

TEST(LocalTime, TimesWithoutALocalDateFail) {
    TLocalTimeConverter converter(Zone(-600, SYSTEMTIME{}, SYSTEMTIME{}));
    SYSTEMTIME local;
    EXPECT_FALSE(converter.ToLocal(FILETIME{0xFFFFFFFF, 0xFFFFFFFF}, local));
    EXPECT_FALSE(converter.ToLocal(FILETIME{0xFFFFFFFF, 0x7FFFFFFF}, local));
    EXPECT_TRUE(converter.ToLocal(FILETIME{0, 0}, local));
    EXPECT_EQ(1601, local.wYear);
    EXPECT_EQ(10, local.wHour);
    TLocalTimeConverter west(Zone(300, SYSTEMTIME{}, SYSTEMTIME{}));
    EXPECT_FALSE(west.ToLocal(FILETIME{0, 0}, local)); // before 1601 locally
}

// A local moment back to an instant: the repeated hour means its first occurrence, the skipped hour
// is read with the daylight bias, as the system's own conversion does; minute by minute around each
// transition the two agree.
TEST(LocalTime, LocalMomentsBecomeInstantsAsTheSystemMakesThem) {
    const TIME_ZONE_INFORMATION newYork = Zone(300, Rule(11, 0, 1, 2), Rule(3, 0, 2, 2)),
                                sydney = Zone(-600, Rule(4, 0, 1, 3), Rule(10, 0, 1, 2));
    const struct {
        const char* Name;
        const TIME_ZONE_INFORMATION& Zone;
        SYSTEMTIME Local;
        FILETIME Utc;
    } cases[] = {
        {"New York, summer", newYork, CalendarFields(2026, 7, 15, 12), UtcFileTime(2026, 7, 15, 16)},
        {"New York, winter", newYork, CalendarFields(2026, 1, 15, 12), UtcFileTime(2026, 1, 15, 17)},
        {"New York, repeated hour", newYork, CalendarFields(2026, 11, 1, 1, 30),
         UtcFileTime(2026, 11, 1, 5, 30)},
        {"New York, after the repeat", newYork, CalendarFields(2026, 11, 1, 2), UtcFileTime(2026, 11, 1, 7)},
        {"New York, skipped hour", newYork, CalendarFields(2026, 3, 8, 2, 30),
         UtcFileTime(2026, 3, 8, 6, 30)},
        {"Sydney, summer", sydney, CalendarFields(2026, 1, 15, 12), UtcFileTime(2026, 1, 15, 1)},
        {"Sydney, winter", sydney, CalendarFields(2026, 7, 15, 12), UtcFileTime(2026, 7, 15, 2)},
        {"Sydney, repeated hour", sydney, CalendarFields(2026, 4, 5, 2, 30), UtcFileTime(2026, 4, 4, 15, 30)},
        {"Sydney, skipped hour", sydney, CalendarFields(2026, 10, 4, 2, 30),
         UtcFileTime(2026, 10, 3, 15, 30)},
    };
    const auto systems = [](const TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& local) {
        SYSTEMTIME universal;
        FILETIME utc{};
        EXPECT_TRUE(TzSpecificLocalTimeToSystemTime(&zone, &local, &universal));
        SystemTimeToFileTime(&universal, &utc);
        return FileTimeTicks(utc);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::int64_t utc = 0;
        ASSERT_TRUE(TLocalTimeConverter(c.Zone).ToUtc(c.Local, utc));
        EXPECT_EQ(FileTimeTicks(c.Utc), utc);
        EXPECT_EQ(systems(c.Zone, c.Local), utc);
        int mismatches = 0;
        for (int minute = -24 * 60; minute <= 24 * 60; minute += 7) {
            const FILETIME wall =
                FileTimeOfTicks(FileTimeTicks(UtcFileTime(c.Local.wYear, c.Local.wMonth, c.Local.wDay)) +
                                minute * 600'000'000LL);
            SYSTEMTIME local;
            ASSERT_TRUE(FileTimeToSystemTime(&wall, &local));
            ASSERT_TRUE(TLocalTimeConverter(c.Zone).ToUtc(local, utc));
            if (utc != systems(c.Zone, local) && ++mismatches <= 3) {
                ADD_FAILURE() << local.wMonth << "-" << local.wDay << " " << local.wHour << ":"
                              << local.wMinute;
            }
        }
    }
    SYSTEMTIME beforeFileTimes = CalendarFields(1600, 12, 31, 12);
    std::int64_t utc = 0;
    EXPECT_FALSE(TLocalTimeConverter(newYork).ToUtc(beforeFileTimes, utc));
}

// Wine takes its zone from TZ when a process starts, so the walk's check runs in a child started
// with TZ set; the child writes the rows it saw for the parent.
std::wstring ReportPath(DWORD parent) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"qnwk-dst-" + std::to_wstring(parent) + L".txt";
}

std::wstring EventName(DWORD parent) {
    return L"Local\\QuenwickDaylightReport-" + std::to_wstring(parent);
}

void ReportRowsAsChild(DWORD parent) {
    THandOffScope handOff;
    TTempTree tree;
    tree.File(L"july", UtcFileTime(2021, 7, 15, 12, 0, 0));
    tree.File(L"january", UtcFileTime(2021, 1, 15, 12, 0, 0));
    // New York's repeated hour of 2026: 01:50 -04:00, then 01:10 -05:00.
    tree.File(L"early", UtcFileTime(2026, 11, 1, 5, 50));
    tree.File(L"late", UtcFileTime(2026, 11, 1, 6, 10));
    TDateTime repeated = 0;
    TryEncodeDateTime(CalendarFields(2026, 11, 1, 1, 30), repeated);
    const struct {
        const wchar_t* Name;
        bool ByDate;
        int Newest;
        TDateTime After;
    } runs[] = {{L"all", true, 0, 0}, {L"newest 1", false, 1, 0}, {L"after 01:30", true, 0, repeated}};
    std::wostringstream report;
    for (const auto& r : runs) {
        TScanRun run;
        run.Ask(tree.Root(), r.ByDate, r.Newest, r.After, false);
        run.Recorder.Settings.ShortDatePattern = L"yyyy-MM-dd";
        run.Recorder.Settings.TwelveHourClock = false;
        run.Recorder.Settings.LeadingZeroHours = true;
        if (!run.Run()) {
            continue;
        }
        // The rows held at the end, each with its time as shown.
        for (const std::wstring& path : run.Recorder.Rows()) {
            for (const std::wstring& event : run.Recorder.Events) {
                if (event.starts_with(L"row " + path + L" ")) {
                    report << r.Name << L": " << event.substr(event.find_last_of(L'\\') + 1) << L"\n";
                }
            }
        }
    }
    std::ofstream file(std::filesystem::path(ReportPath(parent)));
    const std::wstring text = report.str();
    file << std::string(text.begin(), text.end());
    file.close();
    HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(parent).c_str());
    SetEvent(done);
    CloseHandle(done);
}

// The report of a child started with TZ set to zone; empty, with a failure, when none came.
std::string ChildReport(const char* zone) {
    const DWORD self = GetCurrentProcessId();
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, EventName(self).c_str());
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    using TUnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<TUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* unixExe = done && unixName ? unixName(exe) : nullptr;
    if (!unixExe) {
        ADD_FAILURE() << "cannot start the child";
        return {};
    }
    std::string command = std::string("/usr/bin/env TZ=") + zone +
                          " QUENWICK_DST_PARENT=" + std::to_string(self) + " wine \"" + unixExe +
                          "\" --gtest_filter=DaylightSaving.*";
    HeapFree(GetProcessHeap(), 0, unixExe);
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    // A Unix process cannot be waited for; its report event can.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done, 60000));
    CloseHandle(done);
    std::ifstream file(std::filesystem::path(ReportPath(self)));
    std::stringstream report;
    report << file.rdbuf();
    file.close();
    DeleteFileW(ReportPath(self).c_str());
    return report.str();
}

// Each zone's rows: wall-clock times by each time stamp's own rule; the ranking and the moment
// compare instants, so in New York the later file of the repeated hour wins and 01:30 is its first
// occurrence (05:30Z), after which both files come.
TEST(DaylightSaving, RowsShowTheirOwnWallClockTimeAndCompareInstants) {
    wchar_t parentText[32];
    if (GetEnvironmentVariableW(L"QUENWICK_DST_PARENT", parentText, 32)) {
        ReportRowsAsChild(static_cast<DWORD>(std::stoul(parentText)));
        return;
    }
    const struct {
        const char* Zone;
        std::vector<std::string> Rows, Absent;
    } zones[] = {
        {"Europe/Berlin",
         {"all: july 2021-07-15 14:00:00\n", "all: january 2021-01-15 13:00:00\n",
          "all: early 2026-11-01 06:50:00\n", "all: late 2026-11-01 07:10:00\n",
          "newest 1: late 2026-11-01 07:10:00\n", "after 01:30: early ", "after 01:30: late "},
         {"newest 1: early", "after 01:30: j"}},
        {"America/New_York",
         {"all: july 2021-07-15 08:00:00\n", "all: january 2021-01-15 07:00:00\n",
          "all: early 2026-11-01 01:50:00\n", "all: late 2026-11-01 01:10:00\n",
          "newest 1: late 2026-11-01 01:10:00\n", "after 01:30: early 2026-11-01 01:50:00\n",
          "after 01:30: late 2026-11-01 01:10:00\n"},
         {"newest 1: early", "after 01:30: j"}},
    };
    for (const auto& zone : zones) {
        SCOPED_TRACE(zone.Zone);
        const std::string rows = ChildReport(zone.Zone);
        for (const std::string& row : zone.Rows) {
            EXPECT_NE(std::string::npos, rows.find(row)) << row << " in\n" << rows;
        }
        for (const std::string& row : zone.Absent) {
            EXPECT_EQ(std::string::npos, rows.find(row)) << row << " in\n" << rows;
        }
    }
}

} // namespace
