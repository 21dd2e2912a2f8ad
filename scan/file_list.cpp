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

std::size_t TFileList::Locate(std::size_t& index) const {
    // At most a few hundred blocks (N is at most 32767): a linear pass costs less than a lookup table.
    std::size_t block = 0;
    while (block < blocks_.size() && index >= blocks_[block].Count()) {
        index -= blocks_[block].Count();
        ++block;
    }
    return block;
}

const TFileItem& TFileList::operator[](std::size_t index) const {
    if (index >= size_) {
        throw std::out_of_range("TFileList index");
    }
    const std::size_t block = Locate(index);
    return blocks_[block].Items[blocks_[block].First + index];
}

TFileItem& TFileList::insert(std::size_t index, TFileItem item) {
    if (index > size_) {
        throw std::out_of_range("TFileList index");
    }
    std::size_t block = Locate(index);
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

std::size_t TFileList::LowerBound(TDateTime x) const {
    std::size_t before = 0;
    for (const TBlock& block : blocks_) {
        if (block.Items.back().Time >= x) {
            const auto first = block.Items.begin() + static_cast<std::ptrdiff_t>(block.First);
            const auto found =
                std::lower_bound(first, block.Items.end(), x,
                                 [](const TFileItem& item, TDateTime value) { return item.Time < value; });
            return before + static_cast<std::size_t>(found - first);
        }
        before += block.Count();
    }
    return before;
}
