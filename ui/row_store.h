#pragma once
// The rows behind the results list: the owner-data list view only displays them.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "scan/sinks.h"

struct TRow {
    std::wstring Path;
    std::wstring TimeText;
    TDateTime Time = 0;
    TRowId Id = 0;
};

class TRowStore {
public:
    TRowId Append(std::wstring path, std::wstring timeText, TDateTime time);
    // The row's position, or -1 when the store does not hold it.
    int IndexOf(TRowId id) const;
    void Erase(int index);
    void Clear();

    // The sorts, in two steps. The orders only read the rows, so they may be worked out on another
    // thread while this one paints them; ApplyOrder then moves the rows: row i takes the row that
    // stood at order[i].
    // Newest first by the exact time; rows with equal times keep their order.
    std::vector<std::uint32_t> OrderByTime() const;
    // Ascending by lstrcmpW on the paths; rows that compare equal keep their order.
    std::vector<std::uint32_t> OrderByName() const;
    void ApplyOrder(std::vector<std::uint32_t>& order);

    int Count() const { return static_cast<int>(rows_.size() - head_); }
    const TRow& operator[](int index) const { return *rows_[head_ + static_cast<std::size_t>(index)]; }
    TRow& operator[](int index) { return *rows_[head_ + static_cast<std::size_t>(index)]; }

private:
    void BuildSortedIndex() const;

    // Each row lives on its own, so that sorts and deletions move pointers, not rows: a million
    // rows are reordered in a few milliseconds.
    // The number mode deletes its oldest row, near the top, for every file that enters, so a
    // deletion moves the pointers on the shorter side: those before it move down, leaving an empty
    // slot at the front. The rows are rows_[head_] onwards.
    std::vector<std::unique_ptr<TRow>> rows_;
    std::size_t head_ = 0;
    using TSlot = std::unique_ptr<TRow>;
    TSlot* Begin() { return rows_.data() + head_; }
    const TSlot* Begin() const { return rows_.data() + head_; }
    const TSlot* End() const { return rows_.data() + rows_.size(); }
    TRowId nextId_ = 1;
    // Rows before this position were reordered by a sort; the rest were appended after it, so their
    // identities still ascend and a binary search finds them.
    std::size_t sortedCount_ = 0;
    // Identity -> position for the sorted rows, sorted by identity; built on the first lookup that
    // needs it and patched on deletion.
    mutable std::vector<std::pair<TRowId, std::uint32_t>> sortedIndex_;
    mutable bool sortedIndexBuilt_ = false;
};
