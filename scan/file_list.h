#pragma once
// The ranking's entries, oldest first by instant, in short blocks: inserting at a position moves at
// most one block's entries, not all the later ones, and dropping the oldest moves none of the others.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "scan/sinks.h"

// One held file of the number mode.
struct TFileItem {
    std::wstring Name;
    std::int64_t Utc = 0; // its time, the instant: UTC ticks of the file time
    TRowId Item = 0;      // the row that shows this file
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

    // Where an entry goes: a block (blocks_.size() when after all) and the offset among its live
    // entries. Good until the list changes.
    struct TPlace {
        std::size_t Block = 0, Offset = 0;
    };

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear();
    const TFileItem& front() const { return blocks_.front().Items[blocks_.front().First]; }
    // Where an entry of instant utc goes: before every entry of the same or a later one.
    TPlace PlaceOf(std::int64_t utc) const;
    // Inserts at a place PlaceOf gave and gives back the new entry.
    TFileItem& InsertAt(TPlace place, TFileItem item);
    TFileItem& InsertInOrder(TFileItem item) { return InsertAt(PlaceOf(item.Utc), std::move(item)); }
    void pop_front();
    TIterator begin() const { return TIterator(this, 0, blocks_.empty() ? 0 : blocks_.front().First); }
    TIterator end() const { return TIterator(this, blocks_.size(), 0); }

  private:
    struct TBlock {
        std::vector<TFileItem> Items;
        std::size_t First = 0; // entries before it were dropped from the front
        std::size_t Count() const { return Items.size() - First; }
    };
    static constexpr std::size_t BlockSize = 64;

    std::vector<TBlock> blocks_;
    std::size_t size_ = 0;
};
