#include "ui/row_store.h"
#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <windows.h>

namespace {
constexpr std::uint32_t NameBlockSize = 1u << 20;
} // namespace

TRowStore::TRowStore() = default;
TRowStore::~TRowStore() = default;

std::uint32_t TRowStore::FolderOf(std::wstring_view folder) {
    if (lastFolder_ != UINT32_MAX && folders_[lastFolder_] == folder) return lastFolder_;
    const auto found = folderIds_.find(folder);
    if (found != folderIds_.end()) return lastFolder_ = found->second;
    const auto id = static_cast<std::uint32_t>(folders_.size());
    const std::wstring& stored = folders_.emplace_back(folder);
    folderIds_.emplace(stored, id);
    return lastFolder_ = id;
}

std::uint32_t TRowStore::StoreName(std::wstring_view name) {
    const std::size_t need = name.size() + 2; // the length, the characters, a null
    if (name.size() > 0xFFFF) throw std::length_error("A file name is too long for the results list.");
    if ((nameEnd_ & (NameBlockSize - 1)) + need > NameBlockSize) nameEnd_ = ((nameEnd_ >> NameBlockBits) + 1) << NameBlockBits;
    const std::size_t block = nameEnd_ >> NameBlockBits;
    if (block >= 4096) throw std::length_error("The results list holds too many names.");
    if (block == nameBlocks_.size()) nameBlocks_.emplace_back(new wchar_t[NameBlockSize]);
    wchar_t* at = nameBlocks_[block].get() + (nameEnd_ & (NameBlockSize - 1));
    at[0] = static_cast<wchar_t>(name.size());
    std::memcpy(at + 1, name.data(), name.size() * sizeof(wchar_t));
    at[name.size() + 1] = L'\0';
    const std::uint32_t offset = nameEnd_;
    nameEnd_ += static_cast<std::uint32_t>(need);
    return offset;
}

std::wstring_view TRowStore::NameOf(const TRecord& record) const {
    const wchar_t* at = nameBlocks_[record.Name >> NameBlockBits].get() + (record.Name & (NameBlockSize - 1));
    return {at + 1, static_cast<std::size_t>(at[0])};
}

TRowId TRowStore::Append(std::wstring_view path, TDateTime time) {
    const std::size_t cut = path.find_last_of(L'\\');
    const std::size_t split = cut == std::wstring_view::npos ? 0 : cut + 1;
    const std::uint32_t folder = FolderOf(path.substr(0, split));
    const std::uint32_t name = StoreName(path.substr(split));
    if (freeRecords_.empty() && records_ >> RecordBlockBits == recordBlocks_.size())
        recordBlocks_.emplace_back(new TRecord[1u << RecordBlockBits]);
    // Nothing below may fail once the record is taken.
    if (slots_.size() == slots_.capacity()) slots_.reserve(std::max<std::size_t>(64, slots_.capacity() * 2));
    std::uint32_t record = records_;
    if (freeRecords_.empty()) {
        ++records_;
    } else {
        record = freeRecords_.back();
        freeRecords_.pop_back();
    }
    const TRowId id = nextId_++;
    Record(record) = {time, id, name, folder};
    slots_.push_back(record);
    return id;
}

TRow TRowStore::operator[](int index) const {
    const TRecord& record = RecordAt(index);
    return {Path(index), {}, record.Time, record.Id};
}

std::wstring_view TRowStore::Folder(int index) const { return folders_[RecordAt(index).Folder]; }

std::wstring_view TRowStore::Name(int index) const { return NameOf(RecordAt(index)); }

std::wstring TRowStore::Path(int index) const {
    std::wstring path(Folder(index));
    path += Name(index);
    return path;
}

int TRowStore::IndexOf(TRowId id) const {
    if (id == 0 || id >= nextId_) return -1;
    const auto begin = slots_.begin() + static_cast<std::ptrdiff_t>(head_);
    const auto tail = begin + static_cast<std::ptrdiff_t>(sortedCount_);
    if (tail != slots_.end() && id >= Record(*tail).Id) {
        const auto it = std::lower_bound(tail, slots_.end(), id,
                                         [this](std::uint32_t slot, TRowId value) { return Record(slot).Id < value; });
        return it != slots_.end() && Record(*it).Id == id ? static_cast<int>(it - begin) : -1;
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
    for (std::size_t i = 0; i < sortedCount_; ++i)
        sortedIndex_.emplace_back(RecordAt(static_cast<int>(i)).Id, static_cast<std::uint32_t>(i));
    std::sort(sortedIndex_.begin(), sortedIndex_.end());
    sortedIndexBuilt_ = true;
}

void TRowStore::Erase(int index) {
    const auto position = static_cast<std::size_t>(index);
    const std::uint32_t record = slots_[head_ + position];
    freeRecords_.push_back(record); // first: what may fail comes before anything changes
    if (position < sortedCount_) {
        --sortedCount_;
        if (sortedCount_ == 0) {
            sortedIndex_.clear();
            sortedIndex_.shrink_to_fit();
            sortedIndexBuilt_ = false;
        } else if (sortedIndexBuilt_) {
            // Linear, as deleting from the middle is; the index exists only after a sort in a scan.
            const auto it = std::lower_bound(sortedIndex_.begin(), sortedIndex_.end(),
                                             std::make_pair(Record(record).Id, std::uint32_t{0}));
            sortedIndex_.erase(it);
            for (auto& entry : sortedIndex_)
                if (entry.second > position) --entry.second;
        }
    }
    deadNameChars_ += NameOf(Record(record)).size() + 2;
    const auto slot = slots_.begin() + static_cast<std::ptrdiff_t>(head_ + position);
    if (position < static_cast<std::size_t>(Count()) / 2) {
        std::move_backward(slots_.begin() + static_cast<std::ptrdiff_t>(head_), slot, slot + 1);
        ++head_;
        // Give the empty front back once it outgrows the rows.
        if (head_ >= 64 && head_ * 2 >= slots_.size()) {
            slots_.erase(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(head_));
            head_ = 0;
        }
    } else {
        slots_.erase(slot);
    }
    // The number mode deletes a row for nearly every one it adds: once the deleted names outweigh
    // the living ones, the living move into fresh blocks, so the names never take much more than
    // twice what the rows shown need.
    if (deadNameChars_ >= NameBlockSize && deadNameChars_ * 2 > nameEnd_) CompactNames();
}

void TRowStore::CompactNames() {
    std::vector<std::uint32_t> was;
    try {
        was.reserve(slots_.size() - head_);
    } catch (const std::bad_alloc&) {
        return; // a later deletion tries again
    }
    std::vector<std::unique_ptr<wchar_t[]>> old;
    old.swap(nameBlocks_);
    const std::uint32_t oldEnd = nameEnd_;
    const std::size_t oldDead = deadNameChars_;
    nameEnd_ = 0;
    deadNameChars_ = 0;
    try {
        for (std::size_t i = head_; i < slots_.size(); ++i) {
            TRecord& record = Record(slots_[i]);
            was.push_back(record.Name);
            const wchar_t* at = old[record.Name >> NameBlockBits].get() + (record.Name & (NameBlockSize - 1));
            record.Name = StoreName({at + 1, static_cast<std::size_t>(at[0])});
        }
    } catch (...) {
        // No memory for fresh blocks: the names stay where they were.
        for (std::size_t i = 0; i < was.size(); ++i) Record(slots_[head_ + i]).Name = was[i];
        nameBlocks_.swap(old);
        nameEnd_ = oldEnd;
        deadNameChars_ = oldDead;
    }
}

void TRowStore::Clear() {
    recordBlocks_.clear();
    recordBlocks_.shrink_to_fit();
    records_ = 0;
    std::vector<std::uint32_t>().swap(freeRecords_);
    std::vector<std::uint32_t>().swap(slots_);
    head_ = 0;
    nameBlocks_.clear();
    nameBlocks_.shrink_to_fit();
    nameEnd_ = 0;
    deadNameChars_ = 0;
    folderIds_.clear();
    folders_.clear();
    folders_.shrink_to_fit();
    lastFolder_ = UINT32_MAX;
    sortedCount_ = 0;
    sortedIndex_.clear();
    sortedIndex_.shrink_to_fit();
    sortedIndexBuilt_ = false;
}

std::size_t TRowStore::MemoryBytes() const {
    std::size_t bytes = recordBlocks_.size() * (sizeof(TRecord) << RecordBlockBits) +
                        nameBlocks_.size() * NameBlockSize * sizeof(wchar_t) +
                        (slots_.capacity() + freeRecords_.capacity()) * sizeof(std::uint32_t) +
                        sortedIndex_.capacity() * sizeof(sortedIndex_[0]) +
                        folderIds_.bucket_count() * sizeof(void*) + folderIds_.size() * 48;
    for (const std::wstring& folder : folders_) bytes += sizeof folder + (folder.capacity() + 1) * sizeof(wchar_t);
    return bytes;
}

std::vector<std::uint32_t> TRowStore::OrderByTime() const {
    // Keys side by side keep the comparisons in cache; the rows move once at the end.
    std::vector<std::pair<TDateTime, std::uint32_t>> keys;
    const std::size_t count = static_cast<std::size_t>(Count());
    keys.reserve(count);
    for (std::size_t i = 0; i < count; ++i) keys.emplace_back(RecordAt(static_cast<int>(i)).Time, static_cast<std::uint32_t>(i));
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::uint32_t> order(keys.size());
    std::transform(keys.begin(), keys.end(), order.begin(), [](const auto& key) { return key.second; });
    return order;
}

namespace {

// Under Wine a lstrcmpW call costs about 2 us, which made a million-row sort by name take most of a
// minute. Sort keys order the same way byte by byte, so they are made once per row and sorted.
// The keys of one folder's files begin alike for as long as the folder's weights go, so each is
// held as the part it shares with the first key made in its folder and the rest of its own: that
// about halves what the keys of a big tree take.
struct TKeyRef {
    const unsigned char* Base; // the first key of its folder, BaseSize bytes of it shared
    const unsigned char* Own;
    std::uint32_t BaseSize, OwnSize;
    std::size_t Size() const { return BaseSize + static_cast<std::size_t>(OwnSize); }
    unsigned At(std::size_t i) const {
        return i < BaseSize ? Base[i] : i - BaseSize < OwnSize ? Own[i - BaseSize] : 0u;
    }
};

struct TKeyPool {
    std::vector<unsigned char> Bytes;
    struct TPlace {
        std::size_t Base, Own;
        std::uint32_t BaseSize, OwnSize;
    };
    std::vector<TPlace> Places;
    bool Ok = true;
};

void MakeSortKeys(const TRowStore& store, std::size_t begin, std::size_t end, LCID locale, TKeyPool& pool) {
    pool.Places.reserve(end - begin);
    // Where the first key made for each folder lies in Bytes, and its size; none yet: SIZE_MAX.
    std::vector<std::pair<std::size_t, std::uint32_t>> firstOfFolder(store.FolderCount(), {SIZE_MAX, 0});
    std::wstring path;
    std::vector<unsigned char> key;
    for (std::size_t r = begin; r < end; ++r) {
        path.assign(store.Folder(static_cast<int>(r)));
        path += store.Name(static_cast<int>(r));
        // Keys run about three bytes per character, so one try fits nearly every path.
        key.resize(path.size() * 4 + 16);
        int size = LCMapStringW(locale, LCMAP_SORTKEY, path.c_str(), -1, reinterpret_cast<LPWSTR>(key.data()),
                                static_cast<int>(key.size()));
        if (size == 0) {
            size = LCMapStringW(locale, LCMAP_SORTKEY, path.c_str(), -1, nullptr, 0);
            if (size > 0) {
                key.resize(static_cast<std::size_t>(size));
                size = LCMapStringW(locale, LCMAP_SORTKEY, path.c_str(), -1, reinterpret_cast<LPWSTR>(key.data()), size);
            }
            if (size <= 0) {
                pool.Ok = false;
                return;
            }
        }
        const auto length = static_cast<std::uint32_t>(size);
        auto& first = firstOfFolder[store.FolderNumber(static_cast<int>(r))];
        std::uint32_t shared = 0;
        if (first.first == SIZE_MAX) {
            first = {pool.Bytes.size(), length};
        } else {
            const unsigned char* base = pool.Bytes.data() + first.first;
            const std::uint32_t limit = std::min(first.second, length);
            while (shared < limit && base[shared] == key[shared]) ++shared;
        }
        pool.Places.push_back({first.first, pool.Bytes.size(), shared, length - shared});
        pool.Bytes.insert(pool.Bytes.end(), key.begin() + shared, key.begin() + length);
    }
}

struct TItem {
    std::uint64_t Head; // eight key bytes from the current depth, zero past the end
    std::uint32_t Row;
};

std::uint64_t HeadAt(const TKeyRef& key, std::size_t depth) {
    // Mostly the eight bytes lie in one of the two parts, and are read at once.
    const unsigned char* bytes = depth + 8 <= key.BaseSize ? key.Base + depth
                                 : depth >= key.BaseSize && depth - key.BaseSize + 8 <= key.OwnSize
                                     ? key.Own + (depth - key.BaseSize)
                                     : nullptr;
    if (bytes) {
        std::uint64_t head;
        std::memcpy(&head, bytes, sizeof head);
        return __builtin_bswap64(head);
    }
    std::uint64_t head = 0;
    for (std::size_t i = depth; i < depth + 8; ++i) head = head << 8 | key.At(i);
    return head;
}

// Most-significant-first: sort by eight bytes at a time, then each run of equal bytes by the next
// eight. Rows with identical keys end up in row order, which keeps the sort stable.
void SortByKeys(TItem* first, TItem* last, const TKeyRef* keys, std::size_t depth) {
    if (last - first < 2) return;
    // Skip what every key of the range shares: paths below one folder share long prefixes.
    const TKeyRef& lead = keys[first->Row];
    std::size_t common = lead.Size();
    for (const TItem* it = first + 1; it != last && common > depth; ++it) {
        const TKeyRef& key = keys[it->Row];
        const std::size_t limit = std::min(common, key.Size());
        // Keys of one folder agree for as long as both still read from the folder's first key.
        std::size_t d = key.Base == lead.Base ? std::max<std::size_t>(depth, std::min({key.BaseSize, lead.BaseSize, static_cast<std::uint32_t>(limit)})) : depth;
        while (d < limit && key.At(d) == lead.At(d)) ++d;
        common = d;
    }
    depth = std::max(depth, common);
    for (TItem* it = first; it != last; ++it) it->Head = HeadAt(keys[it->Row], depth);
    std::sort(first, last, [](const TItem& a, const TItem& b) { return a.Head < b.Head || (a.Head == b.Head && a.Row < b.Row); });
    for (TItem* run = first; run != last;) {
        TItem* runEnd = run + 1;
        while (runEnd != last && runEnd->Head == run->Head) ++runEnd;
        if (runEnd - run > 1 && keys[run->Row].Size() > depth + 8) SortByKeys(run, runEnd, keys, depth + 8);
        run = runEnd;
    }
}

bool OrderByKeys(const TRowStore& store, std::vector<std::uint32_t>& order) {
    const LCID locale = GetThreadLocale(); // the locale lstrcmpW compares in
    const std::size_t count = order.size();
    // Making the keys is most of the work; share it out when the list is large.
    const std::size_t parts = count < 50000 ? 1 : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::vector<TKeyPool> pools(parts);
    std::vector<std::thread> helpers;
    for (std::size_t p = 1; p < parts; ++p)
        helpers.emplace_back(MakeSortKeys, std::cref(store), count * p / parts, count * (p + 1) / parts, locale,
                             std::ref(pools[p]));
    MakeSortKeys(store, 0, count / parts, locale, pools[0]);
    for (auto& helper : helpers) helper.join();
    for (const auto& pool : pools)
        if (!pool.Ok) return false;

    std::vector<TKeyRef> keys;
    keys.reserve(count);
    for (const auto& pool : pools)
        for (const TKeyPool::TPlace& place : pool.Places)
            keys.push_back({pool.Bytes.data() + place.Base, pool.Bytes.data() + place.Own, place.BaseSize, place.OwnSize});
    std::vector<TItem> items(count);
    for (std::size_t r = 0; r < count; ++r) items[r] = {0, static_cast<std::uint32_t>(r)};
    SortByKeys(items.data(), items.data() + count, keys.data(), 0);
    for (std::size_t r = 0; r < count; ++r) order[r] = items[r].Row;
    return true;
}
} // namespace

std::vector<std::uint32_t> TRowStore::OrderByName() const {
    std::vector<std::uint32_t> order(static_cast<std::size_t>(Count()));
    if (!OrderByKeys(*this, order)) {
        std::iota(order.begin(), order.end(), 0u);
        // Merge sort: safe even if the locale comparison were not a strict order.
        std::stable_sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
            return lstrcmpW(Path(static_cast<int>(a)).c_str(), Path(static_cast<int>(b)).c_str()) < 0;
        });
    }
    return order;
}

void TRowStore::ApplyOrder(std::vector<std::uint32_t>& order) {
    std::vector<std::uint32_t> slots(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) slots[i] = slots_[head_ + order[i]];
    slots_.swap(slots);
    head_ = 0;
    sortedCount_ = slots_.size();
    sortedIndex_.clear();
    sortedIndexBuilt_ = false;
}
