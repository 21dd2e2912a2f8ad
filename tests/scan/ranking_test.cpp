// The ranking on its own, row by row, as the user-interface thread runs it.
#include <gtest/gtest.h>

#include "scan_harness.h"

namespace {

std::vector<std::wstring> Held(const TWorkThread& job) {
    std::vector<std::wstring> names;
    for (const TFileItem& item : job.Files) {
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
    TWorkThread job;
    TRecorder list;
    job.ListViewRef = &list;
    job.Limit = limit;
    for (const TArrival& arrival : arrivals) {
        SCOPED_TRACE(testing::Message()
                     << "arrival " << std::string(arrival.Name, arrival.Name + wcslen(arrival.Name)));
        ASSERT_EQ(arrival.HandedOff, job.Qualifies(job.Files.size(), job.After, arrival.Time));
        list.Events.clear();
        if (arrival.HandedOff) {
            job.CurrentFile = arrival.Name;
            job.CurrentTime = arrival.Time;
            job.AddFile();
        }
        EXPECT_EQ(arrival.FilesAfter, Held(job));
        const std::wstring deleted =
            *arrival.DeletedRow ? L"delete " + std::wstring(arrival.DeletedRow) : L"";
        EXPECT_EQ(deleted, list.Events.empty() || list.Events.back().rfind(L"delete ", 0) != 0
                               ? L""
                               : list.Events.back());
        EXPECT_EQ(arrival.AfterAfter, job.After);
    }
    EXPECT_EQ(finalRows, list.Rows());
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
    TWorkThread job;
    for (double t : {1.0, 2.0, 2.0, 2.0, 5.0}) {
        job.Files.push_back({L"", t});
    }
    const std::pair<double, int> cases[] = {{0.5, 0}, {1, 0}, {1.5, 1}, {2, 1}, {3, 4}, {5, 4}, {6, 5}};
    for (const auto& [x, index] : cases) {
        EXPECT_EQ(index, job.FindIndex(x)) << x;
    }
    job.Files.clear();
    EXPECT_EQ(0, job.FindIndex(1));
}

} // namespace
