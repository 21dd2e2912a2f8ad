// The ranking's blocked list against a plain vector: the same entries in the same order through
// inserts anywhere, block splits and drops from the front.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "scan/file_list.h"

namespace {

std::vector<std::wstring> Names(const TFileList& list) {
    std::vector<std::wstring> names;
    for (const TFileItem& item : list) {
        names.push_back(item.Name);
    }
    return names;
}

TEST(FileList, MatchesAVectorThroughInsertsSplitsAndDrops) {
    std::mt19937 random(7);
    TFileList list;
    std::vector<TFileItem> expected;
    for (int step = 0; step < 20000; ++step) {
        // Grows to a few thousand entries, so blocks split many times, then shrinks and grows again.
        const bool grow = (step / 5000) % 2 == 0 ? random() % 4 != 0 : random() % 4 == 0;
        if (grow || expected.empty()) {
            const std::int64_t time = static_cast<std::int64_t>(random() % 1000);
            const auto at =
                std::lower_bound(expected.begin(), expected.end(), time,
                                 [](const TFileItem& item, std::int64_t t) { return item.Utc < t; });
            const std::wstring name = std::to_wstring(step);
            TFileItem& made = list.InsertAt(list.PlaceOf(time), TFileItem{name, time});
            ASSERT_EQ(name, made.Name);
            made.Item = static_cast<TRowId>(step);
            expected.insert(at, TFileItem{name, time, static_cast<TRowId>(step)});
        } else {
            ASSERT_EQ(expected.front().Name, list.front().Name);
            list.pop_front();
            expected.erase(expected.begin());
        }
        ASSERT_EQ(expected.size(), list.size());
        if (step % 97 == 0) {
            std::vector<std::wstring> names;
            for (const TFileItem& item : expected) {
                names.push_back(item.Name);
            }
            ASSERT_EQ(names, Names(list));
            std::size_t i = 0;
            for (const TFileItem& item : list) {
                ASSERT_EQ(expected[i].Item, item.Item);
                ++i;
            }
        }
    }
}

TEST(FileList, EmptiesAndStartsAgain) {
    TFileList list;
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.begin(), list.end());
    for (int i = 0; i < 300; ++i) {
        list.InsertInOrder({std::to_wstring(i), i});
    }
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(std::to_wstring(i), list.front().Name);
        list.pop_front();
    }
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.begin(), list.end());
    list.InsertInOrder({L"again", 5});
    EXPECT_EQ((std::vector<std::wstring>{L"again"}), Names(list));
    list.clear();
    EXPECT_TRUE(list.empty());
}

} // namespace
