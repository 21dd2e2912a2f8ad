#include "scan/file_list.h"

#include <algorithm>
#include <stdexcept>

TFileList::TIterator& TFileList::TIterator::operator++() {
    if (++offset_ == list_->blocks_[block_].Items.size()) {
        ++block_;
        offset_ = block_ < list_->blocks_.size() ? list_->blocks_[block_].First : 0;
    }
    return *this;
}

void TFileList::clear() {
    blocks_.clear();
    size_ = 0;
}

TFileItem& TFileList::InsertAt(TPlace place, TFileItem item) {
    // Before the index-th live entry of the block; past the last block, appended.
    std::size_t block = place.Block, index = place.Offset;
    if (block == blocks_.size()) {
        // Appending: the last block takes it while it has room.
        if (block > 0 && blocks_[block - 1].Items.size() < 2 * BlockSize) {
            --block;
            index = blocks_[block].Count();
        } else {
            blocks_.emplace_back();
        }
    }
    TBlock& target = blocks_[block];
    auto position = target.Items.insert(
        target.Items.begin() + static_cast<std::ptrdiff_t>(target.First + index), std::move(item));
    ++size_;
    if (target.Items.size() < 2 * BlockSize) {
        return *position;
    }
    // A full block splits in two halves of its live entries.
    const std::size_t at = target.First + index;
    const std::size_t middle = target.First + target.Count() / 2;
    TBlock second;
    second.Items.assign(std::make_move_iterator(target.Items.begin() + static_cast<std::ptrdiff_t>(middle)),
                        std::make_move_iterator(target.Items.end()));
    target.Items.erase(target.Items.begin() + static_cast<std::ptrdiff_t>(middle), target.Items.end());
    target.Items.erase(target.Items.begin(),
                       target.Items.begin() + static_cast<std::ptrdiff_t>(target.First));
    target.First = 0;
    const std::size_t firstCount = target.Items.size();
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(block) + 1, std::move(second));
    return at < middle ? blocks_[block].Items[at - (middle - firstCount)]
                       : blocks_[block + 1].Items[at - middle];
}

void TFileList::pop_front() {
    if (size_ == 0) {
        throw std::out_of_range("TFileList is empty");
    }
    TBlock& first = blocks_.front();
    first.Items[first.First] = TFileItem{};
    ++first.First;
    --size_;
    if (first.Count() == 0) {
        blocks_.erase(blocks_.begin());
    }
}

TFileList::TPlace TFileList::PlaceOf(std::int64_t utc) const {
    // Blocks are in time order, so their newest entries are too: a binary search over the blocks,
    // however many a large N holds, then one within the block.
    const auto block = std::partition_point(blocks_.begin(), blocks_.end(),
                                            [utc](const TBlock& b) { return b.Items.back().Utc < utc; });
    if (block == blocks_.end()) {
        return {blocks_.size(), 0};
    }
    const auto first = block->Items.begin() + static_cast<std::ptrdiff_t>(block->First);
    const auto found =
        std::lower_bound(first, block->Items.end(), utc,
                         [](const TFileItem& item, std::int64_t value) { return item.Utc < value; });
    return {static_cast<std::size_t>(block - blocks_.begin()), static_cast<std::size_t>(found - first)};
}
