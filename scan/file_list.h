#pragma once
// The ranking's entries, oldest first, in short blocks: inserting at a position moves at most one
// block's entries, not all the later ones, and dropping the oldest moves none of the others.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "scan/date_time.h"
#include "scan/sinks.h"

// One held file of the number mode.
struct TFileItem {
    std::wstring Name;
    TDateTime Time = 0;
    TRowId Item = 0; // the row that shows this file
    std::int64_t Utc = 0; // Time as the file time it came from, in UTC ticks
};

class TFileList {
  public:
    class TIterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TFileItem;
        using difference_type = std::ptrdiff_t;
        using pointer = const TFileItem*;
        using reference = const TFileItem&;
        TIterator() = default;
        TIterator(const TFileList* list, std::size_t block, std::size_t offset)
            : list_(list), block_(block), offset_(offset) {}
        const TFileItem& operator*() const { return list_->blocks_[block_].Items[offset_]; }
        const TFileItem* operator->() const { return &**this; }
        TIterator& operator++();
        TIterator operator++(int) {
            TIterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const TIterator& other) const = default;

      private:
        const TFileList* list_ = nullptr;
        std::size_t block_ = 0, offset_ = 0;
    };

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear();
    const TFileItem& front() const { return blocks_.front().Items[blocks_.front().First]; }
    // Inserts before every entry of the same or a later time and gives back the new entry.
    TFileItem& InsertInOrder(TFileItem item);
    void pop_front();
    // The number of entries whose Time is less than x: where an entry of time x goes, before those
    // of equal time.
    std::size_t LowerBound(TDateTime x) const;
    TIterator begin() const { return TIterator(this, 0, blocks_.empty() ? 0 : blocks_.front().First); }
    TIterator end() const { return TIterator(this, blocks_.size(), 0); }

  private:
    struct TBlock {
        std::vector<TFileItem> Items;
        std::size_t First = 0; // entries before it were dropped from the front
        std::size_t Count() const { return Items.size() - First; }
    };
    static constexpr std::size_t BlockSize = 64;
    // Where an entry of time x goes: its block (blocks_.size() when after all) and its offset there.
    std::pair<std::size_t, std::size_t> PlaceOf(TDateTime x) const;
    // Inserts before the index-th live entry of the block; block == blocks_.size() appends.
    TFileItem& InsertAt(std::size_t block, std::size_t index, TFileItem item);

    std::vector<TBlock> blocks_;
    std::size_t size_ = 0;
};
