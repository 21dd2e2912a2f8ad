// Local time with each time stamp's own daylight-saving rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
    TScanRun run;
    run.Ask(tree.Root(), true, 0, 0, false);
    run.Recorder.Settings.ShortDatePattern = L"yyyy-MM-dd";
    run.Recorder.Settings.TwelveHourClock = false;
    run.Recorder.Settings.LeadingZeroHours = true;
    std::wostringstream report;
    if (run.Run()) {
        for (const std::wstring& event : run.Recorder.Events) {
            if (event.rfind(L"row ", 0) == 0) {
                report << event.substr(event.find_last_of(L'\\') + 1) << L"\n";
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

TEST(DaylightSaving, JulyAndJanuaryFilesShowTheirOwnWallClockTime) {
    wchar_t parentText[32];
    if (GetEnvironmentVariableW(L"QUENWICK_DST_PARENT", parentText, 32)) {
        ReportRowsAsChild(static_cast<DWORD>(std::stoul(parentText)));
        return;
    }
    const DWORD self = GetCurrentProcessId();
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, EventName(self).c_str());
    ASSERT_TRUE(done);
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    using TUnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<TUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    ASSERT_TRUE(unixName);
    char* unixExe = unixName(exe);
    ASSERT_TRUE(unixExe);
    std::string command = "/usr/bin/env TZ=Europe/Berlin QUENWICK_DST_PARENT=" + std::to_string(self) +
                          " wine \"" + unixExe + "\" --gtest_filter=DaylightSaving.*";
    HeapFree(GetProcessHeap(), 0, unixExe);
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // A Unix process cannot be waited for; its report event can.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done, 60000));
    CloseHandle(done);
    std::ifstream file(std::filesystem::path(ReportPath(self)));
    std::stringstream report;
    report << file.rdbuf();
    file.close();
    DeleteFileW(ReportPath(self).c_str());
    // Berlin: UTC+2 in summer, UTC+1 in winter, whatever the season of the scan.
    const std::string rows = report.str();
    EXPECT_NE(std::string::npos, rows.find("july 2021-07-15 14:00:00\n")) << rows;
    EXPECT_NE(std::string::npos, rows.find("january 2021-01-15 13:00:00\n")) << rows;
}

} // namespace
