// The ranking on its own, row by row, as the user-interface thread runs it.
#include <gtest/gtest.h>

#include <algorithm>

#include "scan/ranking.h"

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
    double Time;
    bool HandedOff;
    std::vector<std::wstring> FilesAfter; // oldest first
    const wchar_t* DeletedRow;            // empty: none
    double AfterAfter;
};

void Replay(int limit, const std::vector<TArrival>& arrivals, const std::vector<std::wstring>& finalRows) {
    TRanking ranking(limit);
    std::vector<std::pair<TRowId, std::wstring>> rows; // the list, in the order rows came
    for (const TArrival& arrival : arrivals) {
        SCOPED_TRACE(testing::Message()
                     << "arrival " << std::string(arrival.Name, arrival.Name + wcslen(arrival.Name)));
        ASSERT_EQ(arrival.HandedOff, ranking.Qualifies(arrival.Time));
        std::vector<TRowId> removed;
        if (arrival.HandedOff) {
            rows.emplace_back(rows.size() + 1, arrival.Name);
            ranking.AddFile({arrival.Name, arrival.Time, rows.back().first}, removed);
        }
        EXPECT_EQ(arrival.FilesAfter, Held(ranking));
        ASSERT_LE(removed.size(), 1u) << "one deletion for each file that pushes one out";
        std::wstring deleted;
        for (const TRowId id : removed) {
            const auto row = std::find_if(rows.begin(), rows.end(), [id](const auto& row) { return row.first == id; });
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

TEST(Ranking, FindIndexIsTheLowerBound) {
    TRanking ranking(10);
    EXPECT_EQ(0, ranking.FindIndex(1));
    std::vector<TRowId> removed;
    for (double t : {1.0, 2.0, 2.0, 2.0, 5.0}) {
        ranking.AddFile({L"", t}, removed);
    }
    const std::pair<double, int> cases[] = {{0.5, 0}, {1, 0}, {1.5, 1}, {2, 1}, {3, 4}, {5, 4}, {6, 5}};
    for (const auto& [x, index] : cases) {
        EXPECT_EQ(index, ranking.FindIndex(x)) << x;
    }
}

} // namespace
