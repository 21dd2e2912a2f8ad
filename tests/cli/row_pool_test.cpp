// The command line holds its rows until the scan ends; those the ranking pushes out leave the pool.
#include "cli/row_pool.h"
#include <gtest/gtest.h>

#include "cli/output.h"

#include <algorithm>

namespace {

// Twenty thousand files through a ranking of ten, in batches as the scan hands them over, each row
// pushed out by later ones, from the oldest or from the middle, some in the batch that added them.
TEST(RowPoolTest, RowsPushedOutLeaveThePoolAndTheHeldKeepTheirPaths) {
    constexpr std::size_t held = 10, pathBytes = 15; // "C:\Ωf\" and eight digits in UTF-8
    const auto path = [](TRowId id) {
        const std::wstring digits = std::to_wstring(id);
        return L"C:\\\x03A9"
               L"f\\" +
               std::wstring(8 - digits.size(), L'0') + digits;
    };
    TRowPool pool;
    std::vector<TRowId> kept; // the ranking's rows in the order added
    TRowId next = 1;
    for (int batch = 0; batch < 2000; ++batch) {
        std::vector<TFoundRow> added;
        std::vector<TRowId> removed;
        for (int i = 0; i < 6 + batch % 9; ++i, ++next) {
            added.push_back({next, path(next), static_cast<TDateTime>(next), 0});
            kept.push_back(next);
        }
        while (kept.size() > held) {
            const auto gone = kept.begin() + (batch % 2 ? 4 : 0);
            removed.push_back(*gone);
            kept.erase(gone);
        }
        pool.Change(added, removed);
        // The pool holds the paths of Rows alone, and Rows few more than the rows held.
        ASSERT_LE(pool.Rows.size(), held + 2048) << batch;
        const auto last = std::find_if(pool.Rows.rbegin(), pool.Rows.rend(), [](const TRowPool::TRow& row) {
            return row.Length != TRowPool::Removed;
        });
        ASSERT_EQ(pool.Rows.size() * pathBytes, last->Offset + last->Length) << batch;
    }
    pool.DropRemoved();
    ASSERT_EQ(held, pool.Rows.size());
    for (std::size_t i = 0; i < held; ++i) {
        const TRowPool::TRow& row = pool.Rows[i];
        EXPECT_EQ(kept[i], row.Id);
        EXPECT_EQ(static_cast<TDateTime>(kept[i]), row.Time);
        std::string utf8;
        AppendUtf8(path(kept[i]), utf8);
        EXPECT_EQ(utf8, pool.Path(row));
    }
}

} // namespace
