#pragma once
// The rows behind the results list: the owner-data list view only displays them.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include "scan/sinks.h"

struct TRow {
    std::wstring Path;
    std::wstring TimeText;
    TDateTime Time = 0;
    TRowId Id = 0;
    // Set only while a sort carries the selection along with the rows.
    bool Selected = false;
};

class TRowStore {
public:
    TRowId Append(std::wstring path, std::wstring timeText, TDateTime time);
    // The row's position, or -1 when the store does not hold it.
    int IndexOf(TRowId id) const;
    void Erase(int index);
    void Clear();

    // Newest first by the exact time; rows with equal times keep their order.
    void SortByTime();
    // Ascending by lstrcmpW on the paths; rows that compare equal keep their order.
    void SortByName();

    int Count() const { return static_cast<int>(rows_.size()); }
    const TRow& operator[](int index) const { return rows_[index]; }
    TRow& operator[](int index) { return rows_[index]; }

private:
    void ApplyOrder(std::vector<std::uint32_t>& order);
    void BuildSortedIndex() const;

    std::vector<TRow> rows_;
    TRowId nextId_ = 1;
    // Rows before this position were reordered by a sort; the rest were appended after it, so their
    // identities still ascend and a binary search finds them.
    std::size_t sortedCount_ = 0;
    // Identity -> position for the sorted rows, sorted by identity; built on the first lookup that
    // needs it and patched on deletion.
    mutable std::vector<std::pair<TRowId, std::uint32_t>> sortedIndex_;
    mutable bool sortedIndexBuilt_ = false;
};
