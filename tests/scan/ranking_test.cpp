// The ranking on its own, row by row, as the user-interface thread runs it.
#include <gtest/gtest.h>

#include <algorithm>

#include "scan/local_time.h"
#include "scan/ranking.h"
#include "scan_harness.h"

namespace {

std::vector<std::wstring> Held(const TRanking& ranking) {
    std::vector<std::wstring> names;
    for (const TFileItem& item : ranking.Files()) {
        names.push_back(item.Name);
    }
    return names;
}

struct TArrival {
    const wchar_t* Name;
    std::int64_t Utc; // the file's instant
    bool HandedOff;
    std::vector<std::wstring> FilesAfter; // oldest first
    const wchar_t* DeletedRow;            // empty: none
    std::int64_t AfterAfter;
};

void Replay(int limit, const std::vector<TArrival>& arrivals, const std::vector<std::wstring>& finalRows) {
    TRanking ranking(limit);
    std::vector<std::pair<TRowId, std::wstring>> rows; // the list, in the order rows came
    for (const TArrival& arrival : arrivals) {
        SCOPED_TRACE(testing::Message()
                     << "arrival " << std::string(arrival.Name, arrival.Name + wcslen(arrival.Name)));
        ASSERT_EQ(arrival.HandedOff, ranking.Qualifies(arrival.Utc));
        std::vector<TRowId> removed;
        if (arrival.HandedOff) {
            rows.emplace_back(rows.size() + 1, arrival.Name);
            ranking.AddFile({arrival.Name, arrival.Utc, rows.back().first}, removed);
        }
        EXPECT_EQ(arrival.FilesAfter, Held(ranking));
        ASSERT_LE(removed.size(), 1u) << "one deletion for each file that pushes one out";
        std::wstring deleted;
        for (const TRowId id : removed) {
            const auto row =
                std::find_if(rows.begin(), rows.end(), [id](const auto& row) { return row.first == id; });
            ASSERT_NE(rows.end(), row);
            deleted = L"delete " + row->second;
            rows.erase(row);
        }
        EXPECT_EQ(*arrival.DeletedRow ? L"delete " + std::wstring(arrival.DeletedRow) : L"", deleted);
        EXPECT_EQ(arrival.AfterAfter, ranking.After());
    }
    std::vector<std::wstring> shown;
    for (const auto& row : rows) {
        shown.push_back(row.second);
    }
    EXPECT_EQ(finalRows, shown);
}

TEST(Ranking, ThreeFreshestTableRowByRow) {
    Replay(3,
           {
               {L"5", 5, true, {L"5"}, L"", 5},
               {L"9", 9, true, {L"5", L"9"}, L"", 5},
               {L"7", 7, true, {L"5", L"7", L"9"}, L"", 5},
               {L"7b", 7, true, {L"7b", L"7", L"9"}, L"5", 7},
               {L"2", 2, false, {L"7b", L"7", L"9"}, L"", 7},
               {L"8", 8, true, {L"7", L"8", L"9"}, L"7b", 7},
           },
           {L"9", L"7", L"8"});
}

TEST(Ranking, ZeroTakesNoFileAtAll) {
    Replay(0,
           {
               {L"5", 5, false, {}, L"", 0},
               {L"9", 9, false, {}, L"", 0},
           },
           {});
}

TEST(Ranking, OneKeepsTheFirstOfTheNewest) {
    Replay(1,
           {
               {L"3", 3, true, {L"3"}, L"", 3},
               {L"8", 8, true, {L"8"}, L"3", 8},
               {L"8b", 8, false, {L"8"}, L"", 8},
               {L"1", 1, false, {L"8"}, L"", 8},
           },
           {L"8"});
}

// By instant, not by the wall clock: in New York, 1 November 2026, the hour from 01:00 repeats. The
// file of 06:10Z (shown 01:10 -05:00) is newer than that of 05:50Z (shown 01:50 -04:00).
TEST(Ranking, TheLaterInstantOfTheRepeatedHourWins) {
    const std::int64_t early = FileTimeTicks(UtcFileTime(2026, 11, 1, 5, 50)),
                       late = FileTimeTicks(UtcFileTime(2026, 11, 1, 6, 10));
    Replay(1,
           {
               {L"01:50 -04:00", early, true, {L"01:50 -04:00"}, L"", early},
               {L"01:10 -05:00", late, true, {L"01:10 -05:00"}, L"01:50 -04:00", late},
               {L"01:55 -04:00", early + 3'000'000'000, false, {L"01:10 -05:00"}, L"", late},
           },
           {L"01:10 -05:00"});
    Replay(2,
           {
               {L"01:10 -05:00", late, true, {L"01:10 -05:00"}, L"", late},
               {L"01:50 -04:00", early, true, {L"01:50 -04:00", L"01:10 -05:00"}, L"", early},
           },
           {L"01:10 -05:00", L"01:50 -04:00"});
}

// The insert goes where FindIndex says: before every held file of the same or a later instant.
TEST(Ranking, FindIndexPlacesAFileBeforeItsEqualsAndLaterOnes) {
    TRanking ranking(10);
    std::vector<TRowId> removed;
    for (std::int64_t t : {1, 2, 2, 2, 5}) {
        ranking.AddFile({L"", t}, removed);
    }
    const std::pair<std::int64_t, std::size_t> cases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 4}, {5, 4}, {6, 5}};
    for (const auto& [x, index] : cases) {
        TRanking with = ranking;
        with.AddFile({L"new", x}, removed);
        const std::vector<std::wstring> held = Held(with);
        EXPECT_EQ(index, static_cast<std::size_t>(std::find(held.begin(), held.end(), L"new") - held.begin()))
            << x;
    }
    EXPECT_TRUE(removed.empty());
}

} // namespace
