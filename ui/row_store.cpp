#include "ui/row_store.h"
#include <windows.h>
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <numeric>
#include <shlwapi.h>
#include <stdexcept>
#include <thread>
#include <unordered_map>

TRowStore::TRowStore() : TRowStore(TLimits{}) {}

TRowStore::TRowStore(const TLimits& limits) : limits_(limits) {
    // A row's name address has 32 bits, a record number 31.
    limits_.NameChars = std::min<std::uint64_t>(limits_.NameChars, std::uint64_t{1} << 32);
    limits_.Rows = std::min<std::uint32_t>(limits_.Rows, INT_MAX);
}

TRowStore::~TRowStore() = default;

std::uint32_t TRowStore::FolderOf(std::wstring_view folder) {
    if (lastFolder_ != UINT32_MAX && lastFolderText_.size() == folder.size() &&
        std::memcmp(lastFolderText_.data(), folder.data(), folder.size() * sizeof(wchar_t)) == 0)
        return lastFolder_;
    const auto found = folderIds_.find(folder);
    if (found != folderIds_.end()) {
        lastFolderText_ = found->first;
        return lastFolder_ = found->second;
    }
    const auto id = static_cast<std::uint32_t>(folders_.size());
    const std::wstring& stored = folders_.emplace_back(folder);
    folderIds_.emplace(stored, id);
    lastFolderText_ = stored;
    return lastFolder_ = id;
}

std::uint32_t TRowStore::StoreName(std::wstring_view name) {
    const std::uint64_t blockSize = std::uint64_t{1} << limits_.NameBlockBits;
    const std::uint64_t need = name.size() + 1; // the length, then the characters
    if (name.size() > 0xFFFF || need > blockSize)
        throw std::length_error("A file name is too long for the results list.");
    std::uint64_t at = nameEnd_;
    if ((at & (blockSize - 1)) + need > blockSize)
        at = ((at >> limits_.NameBlockBits) + 1) << limits_.NameBlockBits;
    // Past this the 32-bit addresses would wrap and overwrite the first names.
    if (at + need > limits_.NameChars)
        throw std::length_error("The results list is full: it has no room for more file names.");
    const std::size_t block = static_cast<std::size_t>(at >> limits_.NameBlockBits);
    if (block == nameBlocks_.size())
        nameBlocks_.emplace_back(new wchar_t[blockSize]);
    wchar_t* to = nameBlocks_[block].get() + (at & (blockSize - 1));
    to[0] = static_cast<wchar_t>(name.size());
    std::memcpy(to + 1, name.data(), name.size() * sizeof(wchar_t));
    nameEnd_ = at + need;
    return static_cast<std::uint32_t>(at);
}

std::wstring_view TRowStore::NameOf(const TRecord& record) const {
    const wchar_t* at = nameBlocks_[record.Name >> limits_.NameBlockBits].get() +
                        (record.Name & ((std::uint32_t{1} << limits_.NameBlockBits) - 1));
    return {at + 1, static_cast<std::size_t>(at[0])};
}

TRowId TRowStore::Append(std::wstring_view path, std::int64_t utc, std::uint64_t size) {
    if (static_cast<std::uint32_t>(Count()) >= limits_.Rows || (freeRecords_.empty() && records_ >= DeadSlot))
        throw std::length_error("The results list is full: it can hold no more rows.");
    const std::size_t cut = path.find_last_of(L'\\');
    const std::size_t split = cut == std::wstring_view::npos ? 0 : cut + 1;
    const std::uint32_t folder = FolderOf(path.substr(0, split));
    const std::uint32_t name = StoreName(path.substr(split));
    if (freeRecords_.empty() && records_ >> RecordBlockBits == recordBlocks_.size())
        recordBlocks_.emplace_back(new TRecord[1u << RecordBlockBits]);
    if (!inOrder_ && slots_.size() == slots_.capacity())
        slots_.reserve(std::max<std::size_t>(64, slots_.capacity() * 2));
    if (!deadTree_.empty() && deadTree_.size() == deadTree_.capacity())
        deadTree_.reserve(deadTree_.capacity() * 2);
    const bool big = size >= BigSize;
    if (big)
        bigSizes_.emplace(nextId_, size);
    // Nothing below may fail once the record is taken.
    std::uint32_t record = records_;
    if (freeRecords_.empty()) {
        ++records_;
    } else {
        record = freeRecords_.back();
        freeRecords_.pop_back();
    }
    const TRowId id = nextId_++;
    Record(record) = {utc, id, name, folder, big ? BigSize : static_cast<std::uint32_t>(size)};
    if (inOrder_)
        return id;
    slots_.push_back(record);
    if (!deadTree_.empty()) {
        // The new node counts the dead slots of its range, all before the new one, which lives.
        const std::size_t node = slots_.size();
        const std::size_t from = node - (node & (~node + 1));
        std::uint32_t dead = 0;
        for (std::size_t i = node - 1; i > from; i -= i & (~i + 1))
            dead += deadTree_[i];
        deadTree_.push_back(dead);
    }
    return id;
}

void TRowStore::LeaveOrder() {
    if (!inOrder_)
        return;
    slots_.resize(records_);
    std::iota(slots_.begin(), slots_.end(), 0u);
    inOrder_ = false;
}

std::size_t TRowStore::SlotAt(int index) const {
    if (dead_ == 0)
        return static_cast<std::size_t>(index);
    // Down the tree: skip every range whose living slots all come before the one wanted.
    const std::size_t size = slots_.size();
    std::size_t slot = 0;
    std::size_t wanted = static_cast<std::size_t>(index) + 1;
    for (std::size_t step = std::bit_floor(size); step != 0; step >>= 1) {
        if (slot + step <= size) {
            const std::size_t living = step - deadTree_[slot + step];
            if (living < wanted) {
                slot += step;
                wanted -= living;
            }
        }
    }
    return slot;
}

int TRowStore::PositionOf(std::size_t slot) const {
    std::size_t dead = 0;
    if (!deadTree_.empty())
        for (std::size_t i = slot; i > 0; i -= i & (~i + 1))
            dead += deadTree_[i];
    return static_cast<int>(slot - dead);
}

void TRowStore::MarkDead(std::size_t slot) {
    if (deadTree_.empty())
        deadTree_.assign(slots_.size() + 1, 0); // all zero: no slot was dead
    for (std::size_t i = slot + 1; i < deadTree_.size(); i += i & (~i + 1))
        ++deadTree_[i];
    slots_[slot] |= DeadSlot;
    ++dead_;
}

TRow TRowStore::operator[](int index) const {
    const TRecord& record = RecordAt(index);
    return {Path(index), {}, 0, record.Utc, record.Id, SizeOf(record)};
}

std::wstring_view TRowStore::Folder(int index) const {
    return folders_[RecordAt(index).Folder];
}

std::wstring_view TRowStore::Name(int index) const {
    return NameOf(RecordAt(index));
}

std::wstring TRowStore::Path(int index) const {
    const TRecord& record = RecordAt(index);
    std::wstring path(folders_[record.Folder]);
    path += NameOf(record);
    return path;
}

int TRowStore::IndexOf(TRowId id) const {
    if (id == 0 || id >= nextId_)
        return -1;
    if (inOrder_)
        return id >= firstId_ ? static_cast<int>(id - firstId_) : -1;
    const auto idOf = [this](std::uint32_t slot) { return Record(slot & ~DeadSlot).Id; };
    const auto tail = slots_.begin() + static_cast<std::ptrdiff_t>(sortedCount_);
    if (tail != slots_.end() && id >= idOf(*tail)) {
        const auto it = std::lower_bound(
            tail, slots_.end(), id, [&](std::uint32_t slot, TRowId value) { return idOf(slot) < value; });
        if (it == slots_.end() || idOf(*it) != id || (*it & DeadSlot))
            return -1;
        return PositionOf(static_cast<std::size_t>(it - slots_.begin()));
    }
    if (sortedCount_ == 0)
        return -1;
    if (!sortedIndexBuilt_)
        BuildSortedIndex();
    const auto it = std::lower_bound(sortedIndex_.begin(), sortedIndex_.end(), id,
                                     [](const auto& entry, TRowId value) { return entry.first < value; });
    if (it == sortedIndex_.end() || it->first != id || (slots_[it->second] & DeadSlot))
        return -1;
    return PositionOf(it->second);
}

void TRowStore::BuildSortedIndex() const {
    sortedIndex_.clear();
    sortedIndex_.reserve(sortedCount_ - std::min(dead_, sortedCount_));
    for (std::size_t slot = 0; slot < sortedCount_; ++slot)
        if (!(slots_[slot] & DeadSlot))
            sortedIndex_.emplace_back(Record(slots_[slot]).Id, static_cast<std::uint32_t>(slot));
    std::sort(sortedIndex_.begin(), sortedIndex_.end());
    sortedIndexBuilt_ = true;
}

void TRowStore::Erase(int index) {
    LeaveOrder();
    const std::size_t slot = SlotAt(index);
    deadNameChars_ += NameOf(Record(slots_[slot])).size() + 1;
    MarkDead(slot);
    // The number mode deletes a row for nearly every one it adds. Once the deleted rows outnumber
    // the living, or their names outweigh the living names, their room is given back.
    const std::size_t blockSize = std::size_t{1} << limits_.NameBlockBits;
    if ((dead_ >= 1024 && dead_ > slots_.size() - dead_) ||
        (deadNameChars_ >= blockSize && deadNameChars_ * 2 > nameEnd_))
        Compact();
}

void TRowStore::Compact() {
    if (dead_ > 0) {
        try {
            freeRecords_.reserve(freeRecords_.size() + dead_);
        } catch (const std::bad_alloc&) {
            return; // a later deletion tries again
        }
        std::size_t kept = 0, keptSorted = 0;
        for (std::size_t slot = 0; slot < slots_.size(); ++slot) {
            const std::uint32_t value = slots_[slot];
            if (value & DeadSlot) {
                freeRecords_.push_back(value & ~DeadSlot);
                if (const TRecord& gone = Record(value & ~DeadSlot); gone.Size == BigSize)
                    bigSizes_.erase(gone.Id);
            } else {
                slots_[kept++] = value;
                keptSorted += slot < sortedCount_;
            }
        }
        slots_.resize(kept);
        sortedCount_ = keptSorted;
        dead_ = 0;
        std::vector<std::uint32_t>().swap(deadTree_);
        sortedIndex_.clear();
        sortedIndexBuilt_ = false;
    }
    // The names never take much more than twice what the rows shown need.
    if (deadNameChars_ >= (std::size_t{1} << limits_.NameBlockBits) && deadNameChars_ * 2 > nameEnd_)
        CompactNames();
}

void TRowStore::CompactNames() {
    std::vector<std::uint32_t> was;
    try {
        was.reserve(slots_.size());
    } catch (const std::bad_alloc&) {
        return; // a later deletion tries again
    }
    std::vector<std::unique_ptr<wchar_t[]>> old;
    old.swap(nameBlocks_);
    const std::uint64_t oldEnd = nameEnd_;
    const std::size_t oldDead = deadNameChars_;
    const std::uint32_t mask = (std::uint32_t{1} << limits_.NameBlockBits) - 1;
    nameEnd_ = 0;
    deadNameChars_ = 0;
    try {
        for (const std::uint32_t slot : slots_) {
            TRecord& record = Record(slot);
            was.push_back(record.Name);
            const wchar_t* at = old[record.Name >> limits_.NameBlockBits].get() + (record.Name & mask);
            record.Name = StoreName({at + 1, static_cast<std::size_t>(at[0])});
        }
    } catch (...) {
        // No memory for fresh blocks: the names stay where they were.
        for (std::size_t i = 0; i < was.size(); ++i)
            Record(slots_[i]).Name = was[i];
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
    inOrder_ = true;
    firstId_ = nextId_; // identities are never given twice
    bigSizes_.clear();
    dead_ = 0;
    std::vector<std::uint32_t>().swap(deadTree_);
    nameBlocks_.clear();
    nameBlocks_.shrink_to_fit();
    nameEnd_ = 0;
    deadNameChars_ = 0;
    folderIds_.clear();
    folders_.clear();
    folders_.shrink_to_fit();
    lastFolder_ = UINT32_MAX;
    lastFolderText_ = {};
    sortedCount_ = 0;
    sortedIndex_.clear();
    sortedIndex_.shrink_to_fit();
    sortedIndexBuilt_ = false;
}

std::size_t TRowStore::MemoryBytes() const {
    std::size_t bytes =
        recordBlocks_.size() * (sizeof(TRecord) << RecordBlockBits) +
        nameBlocks_.size() * (std::size_t{1} << limits_.NameBlockBits) * sizeof(wchar_t) +
        (slots_.capacity() + freeRecords_.capacity() + deadTree_.capacity()) * sizeof(std::uint32_t) +
        sortedIndex_.capacity() * sizeof(sortedIndex_[0]) + folderIds_.bucket_count() * sizeof(void*) +
        folderIds_.size() * 48 + bigSizes_.size() * 48;
    for (const std::wstring& folder : folders_)
        bytes += sizeof folder + (folder.capacity() + 1) * sizeof(wchar_t);
    return bytes;
}

// Keys side by side keep the comparisons in cache; the rows move once at the end. Equal keys keep
// their rows' order in either direction.
template <typename TKey, typename TKeyOf>
std::vector<std::uint32_t> TRowStore::OrderByKey(bool ascending, TKeyOf keyOf) const {
    std::vector<std::pair<TKey, std::uint32_t>> keys;
    keys.reserve(static_cast<std::size_t>(Count()));
    if (inOrder_) {
        for (std::uint32_t record = 0; record < records_; ++record)
            keys.emplace_back(keyOf(Record(record)), record);
    } else {
        for (const std::uint32_t slot : slots_)
            if (!(slot & DeadSlot))
                keys.emplace_back(keyOf(Record(slot)), static_cast<std::uint32_t>(keys.size()));
    }
    if (ascending)
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    else
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::uint32_t> order(keys.size());
    std::transform(keys.begin(), keys.end(), order.begin(), [](const auto& key) { return key.second; });
    return order;
}

std::vector<std::uint32_t> TRowStore::OrderByTime(bool oldestFirst) const {
    return OrderByKey<std::int64_t>(oldestFirst, [](const TRecord& record) { return record.Utc; });
}

std::vector<std::uint32_t> TRowStore::OrderBySize(bool smallestFirst) const {
    return OrderByKey<std::uint64_t>(smallestFirst, [this](const TRecord& record) { return SizeOf(record); });
}

std::vector<std::uint32_t> TRowStore::OrderByRank(bool descending,
                                                  const std::function<std::uint32_t(TRowId)>& rankOf) const {
    return OrderByKey<std::uint32_t>(!descending, [&](const TRecord& record) { return rankOf(record.Id); });
}

namespace {

// Paths in the shell's logical order (StrCmpLogicalW): character by character without regard to
// case, as ChrCmpIW compares two characters, except that runs of digits compare by their value and
// come before any other character. Under Wine a comparison call costs about 2 us, which made a
// million-row sort take most of a minute, so each path is made once into a key that orders byte by
// byte: every character as its rank among the characters the paths hold, two bytes; every run of
// digits as a mark, its length and its digits. No byte of a key is zero but its last, so a path
// that ends first comes first.
constexpr unsigned char NumberMark = 1;

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Two bytes for each character, neither zero, both above the number mark; empty when the paths hold
// more distinct characters than two such bytes can rank.
using TRanks = std::vector<std::uint16_t>;

TRanks RankCharacters(const TRowStore& store, std::size_t count, LCID locale) {
    std::vector<bool> seen(65536, false);
    std::vector<bool> folderSeen(store.FolderCount(), false);
    const auto look = [&](std::wstring_view text) {
        for (const wchar_t c : text)
            seen[static_cast<std::uint16_t>(c)] = true;
    };
    for (std::size_t r = 0; r < count; ++r) {
        const std::uint32_t folder = store.FolderNumber(static_cast<int>(r));
        if (!folderSeen[folder]) {
            folderSeen[folder] = true;
            look(store.FolderText(folder));
        }
        look(store.Name(static_cast<int>(r)));
    }
    std::vector<wchar_t> characters;
    for (std::size_t c = 0; c < seen.size(); ++c)
        if (seen[c] && !IsDigit(static_cast<wchar_t>(c)))
            characters.push_back(static_cast<wchar_t>(c));
    const auto compare = [locale](wchar_t a, wchar_t b) {
        return CompareStringW(locale, NORM_IGNORECASE, &a, 1, &b, 1);
    };
    std::stable_sort(characters.begin(), characters.end(),
                     [&](wchar_t a, wchar_t b) { return compare(a, b) == CSTR_LESS_THAN; });
    TRanks ranks(65536, 0);
    unsigned rank = 0;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        if (i > 0 && compare(characters[i - 1], characters[i]) != CSTR_EQUAL)
            ++rank;
        if (rank >= 254u * 255u)
            return {};
        ranks[static_cast<std::uint16_t>(characters[i])] =
            static_cast<std::uint16_t>((2 + rank / 255) << 8 | (1 + rank % 255));
    }
    return ranks;
}

void AppendKey(std::wstring_view text, const TRanks& ranks, std::vector<unsigned char>& key) {
    for (std::size_t at = 0; at < text.size();) {
        if (!IsDigit(text[at])) {
            const std::uint16_t rank = ranks[static_cast<std::uint16_t>(text[at++])];
            key.push_back(static_cast<unsigned char>(rank >> 8));
            key.push_back(static_cast<unsigned char>(rank));
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && IsDigit(text[end]))
            ++end;
        std::wstring_view digits = text.substr(at, end - at);
        digits.remove_prefix(std::min(digits.find_first_not_of(L'0'), digits.size()));
        // By length, then digit by digit: the value, however many digits.
        key.push_back(NumberMark);
        key.push_back(static_cast<unsigned char>(digits.size() / 254 + 1));
        key.push_back(static_cast<unsigned char>(digits.size() % 254 + 1));
        for (const wchar_t digit : digits)
            key.push_back(static_cast<unsigned char>(digit));
        at = end;
    }
}

struct TKeyRef {
    const unsigned char* Base; // the first key of its folder, BaseSize bytes of it shared
    const unsigned char* Own;
    std::uint32_t BaseSize, OwnSize;
    std::size_t Size() const { return BaseSize + static_cast<std::size_t>(OwnSize); }
    unsigned At(std::size_t i) const {
        return i < BaseSize ? Base[i] : i - BaseSize < OwnSize ? Own[i - BaseSize] : 0u;
    }
};

// The keys of one folder's files begin alike for as long as the folder goes, so each is held as the
// part it shares with the first key made in its folder and the rest of its own: that about halves
// what the keys of a big tree take.
struct TKeyPool {
    std::vector<unsigned char> Bytes;
    struct TPlace {
        std::size_t Base, Own;
        std::uint32_t BaseSize, OwnSize;
    };
    std::vector<TPlace> Places;
};

void MakeSortKeys(const TRowStore& store, std::size_t begin, std::size_t end, const TRanks& ranks,
                  TKeyPool& pool) {
    pool.Places.reserve(end - begin);
    // Where the first key made for each folder lies in Bytes, and its size.
    std::unordered_map<std::uint32_t, std::pair<std::size_t, std::uint32_t>> firstOfFolder;
    std::vector<unsigned char> key;
    for (std::size_t r = begin; r < end; ++r) {
        const int row = static_cast<int>(r);
        const std::uint32_t folder = store.FolderNumber(row);
        key.clear();
        // A folder ends with a backslash, so no run of digits goes on into the name.
        AppendKey(store.FolderText(folder), ranks, key);
        AppendKey(store.Name(row), ranks, key);
        key.push_back(0);
        const auto length = static_cast<std::uint32_t>(key.size());
        auto [first, made] = firstOfFolder.try_emplace(folder, pool.Bytes.size(), length);
        std::uint32_t shared = 0;
        if (!made) {
            const unsigned char* base = pool.Bytes.data() + first->second.first;
            const std::uint32_t limit = std::min(first->second.second, length);
            while (shared < limit && base[shared] == key[shared])
                ++shared;
        }
        pool.Places.push_back({first->second.first, pool.Bytes.size(), shared, length - shared});
        pool.Bytes.insert(pool.Bytes.end(), key.begin() + shared, key.end());
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
    for (std::size_t i = depth; i < depth + 8; ++i)
        head = head << 8 | key.At(i);
    return head;
}

// Most-significant-first: sort by eight bytes at a time, then each run of equal bytes by the next
// eight. Rows with identical keys end up in row order, or in reverse row order with laterFirst.
void SortByKeys(TItem* first, TItem* last, const TKeyRef* keys, std::size_t depth, bool laterFirst) {
    if (last - first < 2)
        return;
    // Skip what every key of the range shares: paths below one folder share long prefixes.
    const TKeyRef& lead = keys[first->Row];
    std::size_t common = lead.Size();
    for (const TItem* it = first + 1; it != last && common > depth; ++it) {
        const TKeyRef& key = keys[it->Row];
        const std::size_t limit = std::min(common, key.Size());
        // Keys of one folder agree for as long as both still read from the folder's first key.
        std::size_t d = key.Base == lead.Base
                            ? std::max<std::size_t>(depth, std::min({key.BaseSize, lead.BaseSize,
                                                                     static_cast<std::uint32_t>(limit)}))
                            : depth;
        while (d < limit && key.At(d) == lead.At(d))
            ++d;
        common = d;
    }
    depth = std::max(depth, common);
    for (TItem* it = first; it != last; ++it)
        it->Head = HeadAt(keys[it->Row], depth);
    std::sort(first, last, [laterFirst](const TItem& a, const TItem& b) {
        return a.Head < b.Head || (a.Head == b.Head && (laterFirst ? a.Row > b.Row : a.Row < b.Row));
    });
    for (TItem* run = first; run != last;) {
        TItem* runEnd = run + 1;
        while (runEnd != last && runEnd->Head == run->Head)
            ++runEnd;
        if (runEnd - run > 1 && keys[run->Row].Size() > depth + 8)
            SortByKeys(run, runEnd, keys, depth + 8, laterFirst);
        run = runEnd;
    }
}

bool OrderByKeys(const TRowStore& store, std::vector<std::uint32_t>& order, bool descending) {
    const std::size_t count = order.size();
    // The locale the shell's comparison uses.
    const TRanks ranks = RankCharacters(store, count, GetThreadLocale());
    if (ranks.empty())
        return false;
    // Share out the keys when the list is large.
    const std::size_t parts =
        count < 50000 ? 1 : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::vector<TKeyPool> pools(parts);
    std::vector<std::thread> helpers;
    for (std::size_t p = 1; p < parts; ++p)
        helpers.emplace_back(MakeSortKeys, std::cref(store), count * p / parts, count * (p + 1) / parts,
                             std::cref(ranks), std::ref(pools[p]));
    MakeSortKeys(store, 0, count / parts, ranks, pools[0]);
    for (auto& helper : helpers)
        helper.join();

    std::vector<TKeyRef> keys;
    keys.reserve(count);
    for (auto& pool : pools) {
        for (const TKeyPool::TPlace& place : pool.Places)
            keys.push_back({pool.Bytes.data() + place.Base, pool.Bytes.data() + place.Own, place.BaseSize,
                            place.OwnSize});
        std::vector<TKeyPool::TPlace>().swap(pool.Places); // room for the items below
    }
    std::vector<TItem> items(count);
    for (std::size_t r = 0; r < count; ++r)
        items[r] = {0, static_cast<std::uint32_t>(r)};
    // Descending: ascending with equal keys in reverse row order, then turned round, which puts the
    // keys in reverse and the equal ones back in row order.
    SortByKeys(items.data(), items.data() + count, keys.data(), 0, descending);
    if (descending)
        std::reverse(items.begin(), items.end());
    for (std::size_t r = 0; r < count; ++r)
        order[r] = items[r].Row;
    return true;
}
} // namespace

std::vector<std::uint32_t> TRowStore::OrderByName(bool descending) const {
    std::vector<std::uint32_t> order(static_cast<std::size_t>(Count()));
    if (!OrderByKeys(*this, order, descending)) {
        std::iota(order.begin(), order.end(), 0u);
        // Merge sort: safe even if the comparison were not a strict order.
        const auto before = [this](std::uint32_t a, std::uint32_t b) {
            return StrCmpLogicalW(Path(static_cast<int>(a)).c_str(), Path(static_cast<int>(b)).c_str()) < 0;
        };
        if (descending)
            std::stable_sort(order.begin(), order.end(),
                             [&](std::uint32_t a, std::uint32_t b) { return before(b, a); });
        else
            std::stable_sort(order.begin(), order.end(), before);
    }
    return order;
}

void TRowStore::ApplyOrder(std::vector<std::uint32_t>& order) {
    LeaveOrder();
    Compact();
    std::vector<std::uint32_t> slots(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        slots[i] = slots_[SlotAt(static_cast<int>(order[i]))];
    slots_.swap(slots);
    // Only when Compact found no memory: the deleted rows' records are then given up.
    dead_ = 0;
    std::vector<std::uint32_t>().swap(deadTree_);
    sortedCount_ = slots_.size();
    sortedIndex_.clear();
    sortedIndexBuilt_ = false;
}
