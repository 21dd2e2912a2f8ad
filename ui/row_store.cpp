#include "ui/row_store.h"
#include <algorithm>
#include <cstring>
#include <numeric>
#include <thread>
#include <windows.h>

TRowId TRowStore::Append(std::wstring path, std::wstring timeText, TDateTime time) {
    const TRowId id = nextId_++;
    rows_.push_back(std::make_unique<TRow>(TRow{std::move(path), std::move(timeText), time, id}));
    return id;
}

int TRowStore::IndexOf(TRowId id) const {
    if (id == 0 || id >= nextId_) return -1;
    const TSlot* tail = Begin() + sortedCount_;
    if (tail != End() && id >= (*tail)->Id) {
        const TSlot* it = std::lower_bound(tail, End(), id,
                                         [](const auto& row, TRowId value) { return row->Id < value; });
        return it != End() && (*it)->Id == id ? static_cast<int>(it - Begin()) : -1;
    }
    if (sortedCount_ == 0) return -1;
    if (!sortedIndexBuilt_) BuildSortedIndex();
    const auto it = std::lower_bound(sortedIndex_.begin(), sortedIndex_.end(), id,
                                     [](const auto& entry, TRowId value) { return entry.first < value; });
    return it != sortedIndex_.end() && it->first == id ? static_cast<int>(it->second) : -1;
}

void TRowStore::BuildSortedIndex() const {
    sortedIndex_.clear();
    sortedIndex_.reserve(sortedCount_);
    for (std::size_t i = 0; i < sortedCount_; ++i) sortedIndex_.emplace_back(Begin()[i]->Id, static_cast<std::uint32_t>(i));
    std::sort(sortedIndex_.begin(), sortedIndex_.end());
    sortedIndexBuilt_ = true;
}

void TRowStore::Erase(int index) {
    const auto position = static_cast<std::size_t>(index);
    if (position < sortedCount_) {
        --sortedCount_;
        if (sortedCount_ == 0) {
            sortedIndex_.clear();
            sortedIndex_.shrink_to_fit();
            sortedIndexBuilt_ = false;
        } else if (sortedIndexBuilt_) {
            // Linear, as deleting from the middle is; the index exists only after a sort in a scan.
            const TRowId id = Begin()[position]->Id;
            const auto it = std::lower_bound(sortedIndex_.begin(), sortedIndex_.end(), std::make_pair(id, std::uint32_t{0}));
            sortedIndex_.erase(it);
            for (auto& entry : sortedIndex_)
                if (entry.second > position) --entry.second;
        }
    }
    TSlot* row = Begin() + index;
    if (position < static_cast<std::size_t>(Count()) / 2) {
        std::move_backward(Begin(), row, row + 1);
        ++head_;
        // Give the empty front back once it outgrows the rows.
        if (head_ >= 64 && head_ * 2 >= rows_.size()) {
            rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(head_));
            head_ = 0;
        }
    } else {
        rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(head_ + position));
    }
}

void TRowStore::Clear() {
    rows_.clear();
    rows_.shrink_to_fit();
    head_ = 0;
    sortedCount_ = 0;
    sortedIndex_.clear();
    sortedIndex_.shrink_to_fit();
    sortedIndexBuilt_ = false;
}

std::vector<std::uint32_t> TRowStore::OrderByTime() const {
    // Keys side by side keep the comparisons in cache; the rows move once at the end.
    std::vector<std::pair<TDateTime, std::uint32_t>> keys;
    const std::size_t count = static_cast<std::size_t>(Count());
    keys.reserve(count);
    for (std::size_t i = 0; i < count; ++i) keys.emplace_back(Begin()[i]->Time, static_cast<std::uint32_t>(i));
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::uint32_t> order(keys.size());
    std::transform(keys.begin(), keys.end(), order.begin(), [](const auto& key) { return key.second; });
    return order;
}

namespace {
using TRows = const std::unique_ptr<TRow>*;

// Under Wine a lstrcmpW call costs about 2 us, which made a million-row sort by name take most of a
// minute. Sort keys order the same way byte by byte, so they are made once per row and sorted.
struct TKeyPool {
    std::vector<unsigned char> Bytes;
    std::vector<std::size_t> Start; // one more entry than keys
    bool Ok = true;
};

void MakeSortKeys(TRows rows, std::size_t begin, std::size_t end, LCID locale, TKeyPool& pool) {
    pool.Start.reserve(end - begin + 1);
    pool.Start.push_back(0);
    for (std::size_t r = begin; r < end; ++r) {
        const std::wstring& path = rows[r]->Path;
        const std::size_t at = pool.Bytes.size();
        // Keys run about three bytes per character, so one try fits nearly every path.
        const std::size_t room = path.size() * 4 + 16;
        pool.Bytes.resize(at + room);
        int size = LCMapStringW(locale, LCMAP_SORTKEY, path.c_str(), -1,
                                reinterpret_cast<LPWSTR>(pool.Bytes.data() + at), static_cast<int>(room));
        if (size == 0) {
            size = LCMapStringW(locale, LCMAP_SORTKEY, path.c_str(), -1, nullptr, 0);
            if (size > 0) {
                pool.Bytes.resize(at + static_cast<std::size_t>(size));
                size = LCMapStringW(locale, LCMAP_SORTKEY, path.c_str(), -1,
                                    reinterpret_cast<LPWSTR>(pool.Bytes.data() + at), size);
            }
            if (size <= 0) {
                pool.Ok = false;
                return;
            }
        }
        pool.Bytes.resize(at + static_cast<std::size_t>(size));
        pool.Start.push_back(pool.Bytes.size());
    }
}

struct TKeyRef {
    const unsigned char* Bytes;
    std::size_t Size;
};

struct TItem {
    std::uint64_t Head; // eight key bytes from the current depth, zero past the end
    std::uint32_t Row;
};

std::uint64_t HeadAt(const TKeyRef& key, std::size_t depth) {
    std::uint64_t head = 0;
    for (std::size_t i = depth; i < depth + 8; ++i) head = head << 8 | (i < key.Size ? key.Bytes[i] : 0u);
    return head;
}

// Most-significant-first: sort by eight bytes at a time, then each run of equal bytes by the next
// eight. Rows with identical keys end up in row order, which keeps the sort stable.
void SortByKeys(TItem* first, TItem* last, const TKeyRef* keys, std::size_t depth) {
    if (last - first < 2) return;
    // Skip what every key of the range shares: paths below one folder share long prefixes.
    const TKeyRef& lead = keys[first->Row];
    std::size_t common = lead.Size;
    for (const TItem* it = first + 1; it != last && common > depth; ++it) {
        const TKeyRef& key = keys[it->Row];
        const std::size_t limit = std::min(common, key.Size);
        std::size_t d = depth;
        while (d < limit && key.Bytes[d] == lead.Bytes[d]) ++d;
        common = d;
    }
    depth = std::max(depth, common);
    for (TItem* it = first; it != last; ++it) it->Head = HeadAt(keys[it->Row], depth);
    std::sort(first, last, [](const TItem& a, const TItem& b) { return a.Head < b.Head || (a.Head == b.Head && a.Row < b.Row); });
    for (TItem* run = first; run != last;) {
        TItem* runEnd = run + 1;
        while (runEnd != last && runEnd->Head == run->Head) ++runEnd;
        if (runEnd - run > 1 && keys[run->Row].Size > depth + 8) SortByKeys(run, runEnd, keys, depth + 8);
        run = runEnd;
    }
}

bool OrderByKeys(TRows rows, std::vector<std::uint32_t>& order) {
    const LCID locale = GetThreadLocale(); // the locale lstrcmpW compares in
    const std::size_t count = order.size();
    // Making the keys is most of the work; share it out when the list is large.
    const std::size_t parts = count < 50000 ? 1 : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::vector<TKeyPool> pools(parts);
    std::vector<std::thread> helpers;
    for (std::size_t p = 1; p < parts; ++p)
        helpers.emplace_back(MakeSortKeys, rows, count * p / parts, count * (p + 1) / parts, locale, std::ref(pools[p]));
    MakeSortKeys(rows, 0, count / parts, locale, pools[0]);
    for (auto& helper : helpers) helper.join();
    for (const auto& pool : pools)
        if (!pool.Ok) return false;

    std::vector<TKeyRef> keys;
    keys.reserve(count);
    for (const auto& pool : pools)
        for (std::size_t k = 0; k + 1 < pool.Start.size(); ++k)
            keys.push_back({pool.Bytes.data() + pool.Start[k], pool.Start[k + 1] - pool.Start[k]});
    std::vector<TItem> items(count);
    for (std::size_t r = 0; r < count; ++r) items[r] = {0, static_cast<std::uint32_t>(r)};
    SortByKeys(items.data(), items.data() + count, keys.data(), 0);
    for (std::size_t r = 0; r < count; ++r) order[r] = items[r].Row;
    return true;
}
} // namespace

std::vector<std::uint32_t> TRowStore::OrderByName() const {
    std::vector<std::uint32_t> order(static_cast<std::size_t>(Count()));
    if (!OrderByKeys(Begin(), order)) {
        std::iota(order.begin(), order.end(), 0u);
        // Merge sort: safe even if the locale comparison were not a strict order.
        std::stable_sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
            return lstrcmpW(Begin()[a]->Path.c_str(), Begin()[b]->Path.c_str()) < 0;
        });
    }
    return order;
}

// Cycles are followed in place, so no second copy of the rows.
void TRowStore::ApplyOrder(std::vector<std::uint32_t>& order) {
    // Drop the empty front first, so that positions and slots agree.
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        if (order[i] == i) continue;
        std::unique_ptr<TRow> held = std::move(rows_[i]);
        std::uint32_t j = i;
        while (order[j] != i) {
            const std::uint32_t next = order[j];
            rows_[j] = std::move(rows_[next]);
            order[j] = j;
            j = next;
        }
        rows_[j] = std::move(held);
        order[j] = j;
    }
    sortedCount_ = rows_.size();
    sortedIndex_.clear();
    sortedIndexBuilt_ = false;
}
