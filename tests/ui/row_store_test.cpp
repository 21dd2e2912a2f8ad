#include "ui/row_store.h"
#include <windows.h>
#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <shlwapi.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
std::vector<std::wstring> Paths(const TRowStore& store) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < store.Count(); ++i)
        paths.push_back(store[i].Path);
    return paths;
}

// The sorts as the results list makes them: the order first, then the move.
void SortByTime(TRowStore& store) {
    std::vector<std::uint32_t> order = store.OrderByTime();
    store.ApplyOrder(order);
}
void SortByName(TRowStore& store, bool descending = false) {
    std::vector<std::uint32_t> order = store.OrderByName(descending);
    store.ApplyOrder(order);
}
bool LogicallyBefore(const std::wstring& a, const std::wstring& b) {
    return StrCmpLogicalW(a.c_str(), b.c_str()) < 0;
}

// The rows hold instants, UTC ticks. Day numbers are days since 30 December 1899.
constexpr std::int64_t kDay = 864'000'000'000;
constexpr std::int64_t Instant(std::int64_t dayNumber) {
    return (dayNumber + 109205) * kDay;
}
constexpr std::int64_t kJune1975 = Instant(27546);
constexpr std::int64_t kJune2020 = Instant(43983);
} // namespace

// The ranking keeps the N newest rows and deletes the oldest by identity while the user sorts the
// list in between. Every held row must stay findable at its real position, nothing else may remain,
// and rows added after a sort come after the sorted ones.
TEST(RowStore, RankingFindsAndDeletesRowsAcrossSortsWhileRowsArrive) {
    struct THeld {
        std::int64_t Utc;
        TRowId Id;
        std::uint64_t Size;
    };
    // Sizes of 4 GB and more are held aside from the rows; they must follow their rows through
    // deletions and the compactions that reuse the deleted rows' room.
    const auto sizeOf = [](int file) -> std::uint64_t {
        return file % 5 == 0 ? (std::uint64_t{1} << 53) + file : file % 7 == 0 ? 0xFFFFFFFFull + file : file;
    };
    for (int limit : {1, 3, 50, 1500}) {
        std::mt19937 random(static_cast<unsigned>(limit));
        TRowStore store;
        std::vector<THeld> held; // oldest first, a later equal time before earlier ones
        int countAtSort = -1;
        TRowId firstIdAfterSort = 0;
        for (int file = 0; file < 2000; ++file) {
            // Times mostly rise, with jitter and ties, so rows keep coming and going all through the walk.
            const std::int64_t time = Instant(40000) + (file + random() % 300) * kDay / 100;
            if (static_cast<int>(held.size()) == limit && time <= held.front().Utc)
                continue;
            const std::wstring path = L"C:\\tree\\f" + std::to_wstring(random() % 100000) + L".txt";
            const TRowId id = store.Append(path, time, sizeOf(file));
            if (countAtSort >= 0 && firstIdAfterSort == 0)
                firstIdAfterSort = id;
            const auto at = std::lower_bound(held.begin(), held.end(), time,
                                             [](const THeld& h, std::int64_t t) { return h.Utc < t; });
            held.insert(at, {time, id, sizeOf(file)});
            if (static_cast<int>(held.size()) > limit) {
                const int position = store.IndexOf(held.front().Id);
                ASSERT_GE(position, 0) << "file " << file;
                store.Erase(position);
                ASSERT_EQ(-1, store.IndexOf(held.front().Id));
                held.erase(held.begin());
                const int next = store.IndexOf(held.front().Id);
                ASSERT_GE(next, 0);
                ASSERT_EQ(held.front().Id, store[next].Id);
            }
            if (file % 397 == 396) {
                if (file % 2)
                    SortByName(store, file % 3 == 0);
                else
                    SortByTime(store);
                countAtSort = store.Count();
                firstIdAfterSort = 0;
            }
            ASSERT_EQ(held.size(), static_cast<std::size_t>(store.Count()));
        }
        for (const THeld& h : held) {
            const int position = store.IndexOf(h.Id);
            ASSERT_GE(position, 0);
            EXPECT_EQ(h.Id, store[position].Id);
            EXPECT_EQ(h.Utc, store[position].Utc);
            EXPECT_EQ(h.Size, store[position].Size);
            EXPECT_EQ(h.Size, store.Size(position));
        }
        // Rows appended since the last sort stand at the end in the order they came.
        if (firstIdAfterSort != 0 && store.IndexOf(firstIdAfterSort) >= 0) {
            for (int i = store.IndexOf(firstIdAfterSort) + 1; i < store.Count(); ++i)
                EXPECT_LT(store[i - 1].Id, store[i].Id);
        }
    }
}

TEST(RowStore, IdentitiesOfDeletedAndClearedRowsAreNotFound) {
    TRowStore store;
    std::vector<TRowId> ids;
    for (int i = 0; i < 6; ++i)
        ids.push_back(store.Append(L"p" + std::to_wstring(i), Instant(i)));
    store.Erase(store.IndexOf(ids[2]));
    SortByTime(store);
    store.Erase(store.IndexOf(ids[4]));
    EXPECT_EQ(-1, store.IndexOf(ids[2]));
    EXPECT_EQ(-1, store.IndexOf(ids[4]));
    EXPECT_EQ((std::vector<std::wstring>{L"p5", L"p3", L"p1", L"p0"}), Paths(store));
    for (int i : {0, 1, 3, 5})
        EXPECT_EQ(L"p" + std::to_wstring(i), store[store.IndexOf(ids[i])].Path);
    store.Clear();
    const TRowId fresh = store.Append(L"new", Instant(1));
    EXPECT_EQ(0, store.IndexOf(fresh));
    for (TRowId id : ids)
        EXPECT_EQ(-1, store.IndexOf(id));
    EXPECT_EQ(-1, store.IndexOf(0));
    EXPECT_EQ(-1, store.IndexOf(fresh + 1));
}

// Newest first by the instant, never by the text: under a two-digit-year pattern "75" would read as
// 2075, and in New York's repeated hour of 1 November 2026 the file shown 01:10 (06:10Z) is newer
// than the one shown 01:50 (05:50Z). Equal times keep the order in which the rows came.
TEST(RowStore, SortByTimeIsNewestFirstByInstantAndStable) {
    constexpr std::int64_t hour = kDay / 24, minute = hour / 60;
    TRowStore store;
    store.Append(L"old", kJune1975);
    store.Append(L"same-a", kJune2020);
    store.Append(L"01:50 -04:00", Instant(46327) + 5 * hour + 50 * minute);
    store.Append(L"new", kJune2020 + 10'000'000);
    store.Append(L"01:10 -05:00", Instant(46327) + 6 * hour + 10 * minute);
    store.Append(L"same-b", kJune2020);
    store.Append(L"same-c", kJune2020);
    const std::vector<std::wstring> newestFirst = {L"01:10 -05:00", L"01:50 -04:00", L"new", L"same-a",
                                                   L"same-b",       L"same-c",       L"old"};
    SortByTime(store);
    EXPECT_EQ(newestFirst, Paths(store));
    SortByTime(store);
    EXPECT_EQ(newestFirst, Paths(store));
    std::vector<std::uint32_t> order = store.OrderByTime(true);
    store.ApplyOrder(order);
    EXPECT_EQ((std::vector<std::wstring>{L"old", L"same-a", L"same-b", L"same-c", L"new", L"01:50 -04:00",
                                         L"01:10 -05:00"}),
              Paths(store));
}

// Largest first by the exact number: past 4 GB, whose sizes are held aside from the rows, and past
// 2^53, where a double would lose the last byte. Equal sizes keep their order in either direction.
TEST(RowStore, SortBySizeIsLargestFirstByTheExactNumberAndStable) {
    const std::uint64_t fourGB = std::uint64_t{1} << 32, past53 = (std::uint64_t{1} << 53) + 1;
    const std::pair<const wchar_t*, std::uint64_t> rows[] = {
        {L"1024-a", 1024},     {L"0-a", 0},      {L"2^53+1", past53},     {L"1023", 1023},
        {L"2^53", past53 - 1}, {L"4G", fourGB},  {L"1048575", 1'048'575}, {L"0-b", 0},
        {L"4G+1", fourGB + 1}, {L"1024-b", 1024}};
    TRowStore store;
    for (const auto& [path, size] : rows)
        store.Append(path, kJune2020, size);
    const std::vector<std::wstring> largestFirst = {L"2^53+1", L"2^53",   L"4G+1", L"4G",  L"1048575",
                                                    L"1024-a", L"1024-b", L"1023", L"0-a", L"0-b"};
    const std::vector<std::wstring> smallestFirst = {L"0-a",     L"0-b", L"1023", L"1024-a", L"1024-b",
                                                     L"1048575", L"4G",  L"4G+1", L"2^53",   L"2^53+1"};
    for (const bool ascending : {false, true, false}) {
        std::vector<std::uint32_t> order = store.OrderBySize(ascending);
        store.ApplyOrder(order);
        EXPECT_EQ(ascending ? smallestFirst : largestFirst, Paths(store)) << ascending;
    }
    EXPECT_EQ(past53, store.Size(0));
}

// The name sort must give the shell's logical order (numbers by value, case ignored, punctuation,
// accents, other scripts), keep equal paths in their order in both directions, and a time sort
// afterwards restores newest first.
TEST(RowStore, SortByNameFollowsStrCmpLogicalWThenTimeRestoresNewestFirst) {
    const std::vector<std::wstring> paths = {
        L"C:\\data\\b.txt",
        L"C:\\data\\B.txt",
        L"C:\\data\\a-b.txt",
        L"C:\\data\\ab.txt",
        L"C:\\data\\a b.txt",
        L"C:\\data\\\u00e9t\u00e9.txt",
        L"C:\\data\\ete.txt",
        L"C:\\data\\\u65e5\u672c.txt",
        L"C:\\data\\10.txt",
        L"C:\\data\\9.txt",
        L"C:\\data\\co'op.txt",
        L"C:\\Data\\z.txt",
        L"C:\\data\\b.txt",
        L"D:\\x",
        L"C:\\data",
        L"C:\\data\\\u0444\u0430\u0439\u043b.txt",
        L"C:\\data\\f 10",
        L"C:\\data\\f 2",
        L"C:\\data\\F 1",
        L"C:\\data\\f 02",
        L"C:\\d1\\x",
        L"C:\\d\\x",
        L"C:\\d10\\x",
        L"C:\\d9\\x1.2",
    };
    TRowStore store;
    for (std::size_t i = 0; i < paths.size(); ++i)
        store.Append(paths[i], Instant(44000 + static_cast<std::int64_t>(i % 5)));
    std::vector<std::pair<std::wstring, TRowId>> expected;
    for (int i = 0; i < store.Count(); ++i)
        expected.emplace_back(store[i].Path, store[i].Id);
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return LogicallyBefore(a.first, b.first); });

    SortByName(store);
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(store.Count()));
    for (int i = 0; i < store.Count(); ++i) {
        EXPECT_EQ(expected[i].first, store[i].Path) << "position " << i;
        EXPECT_EQ(expected[i].second, store[i].Id) << "position " << i;
    }
    // Descending: the reverse, with equal paths still in their order.
    SortByName(store, true);
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return LogicallyBefore(b.first, a.first); });
    for (int i = 0; i < store.Count(); ++i)
        EXPECT_EQ(expected[i].second, store[i].Id) << "descending, position " << i;
    // Numbers past any integer type still go by value.
    TRowStore numbers;
    for (const wchar_t* name : {L"x100000000000000000000", L"x99999999999999999999", L"x007"})
        numbers.Append(name, Instant(1));
    SortByName(numbers);
    EXPECT_EQ((std::vector<std::wstring>{L"x007", L"x99999999999999999999", L"x100000000000000000000"}),
              Paths(numbers));

    SortByName(store);
    SortByTime(store);
    for (int i = 1; i < store.Count(); ++i) {
        EXPECT_GE(store[i - 1].Utc, store[i].Utc);
        if (store[i - 1].Utc == store[i].Utc) {
            EXPECT_LE(StrCmpLogicalW(store[i - 1].Path.c_str(), store[i].Path.c_str()), 0);
        }
    }
}

// Past the room for names or rows a row is refused before anything is written: the rows held keep
// their names, and a deletion makes room again.
TEST(RowStore, RefusesRowsBeyondItsRoomAndKeepsWhatItHolds) {
    TRowStore names({4, 64, 100}),
        rows({20, std::uint64_t{1} << 32, 3}); // names: four blocks of 16 characters
    std::vector<TRowId> ids;
    EXPECT_THROW(for (int i = 0;; ++i)
                     ids.push_back(names.Append(L"C:\\f\\name" + std::to_wstring(i), Instant(i))),
                 std::length_error);
    ASSERT_EQ(8u, ids.size()); // "nameN" and its length: two to a block
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(L"C:\\f\\name" + std::to_wstring(i), names[names.IndexOf(ids[i])].Path);
    EXPECT_THROW(for (int i = 0; i < 4; ++i) rows.Append(L"r", Instant(i)), std::length_error);
    rows.Erase(0);
    EXPECT_NO_THROW(rows.Append(L"r", Instant(3)));
}

// Large lists make their sort keys on several threads; the pieces must still form one order.
TEST(RowStore, LargeSortByNameIsInLogicalOrderAndStable) {
    std::mt19937 random(11);
    const wchar_t* const names[] = {L"Report",       L"report", L"r\u00e9port", L"re-port",
                                    L"\u65e5\u8a18", L"_x",     L"9",           L"10"};
    TRowStore store;
    for (int i = 0; i < 60000; ++i)
        store.Append(L"C:\\root\\d" + std::to_wstring(random() % 40) + L"\\" + names[random() % 8] +
                         std::to_wstring(random() % 500),
                     Instant(i));
    SortByName(store);
    ASSERT_EQ(60000, store.Count());
    for (int i = 1; i < store.Count(); ++i) {
        const int order = StrCmpLogicalW(store[i - 1].Path.c_str(), store[i].Path.c_str());
        ASSERT_LE(order, 0) << "position " << i;
        if (order == 0) {
            ASSERT_LT(store[i - 1].Id, store[i].Id) << "position " << i;
        }
    }
}
