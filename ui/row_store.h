#pragma once
// The rows behind the results list: the owner-data list view only displays them. A row costs its
// file name's characters and about thirty bytes: its folder is held once for all its files, names
// are packed in large blocks, and the time is kept as its instant, UTC ticks (the list writes its
// local text when a row is drawn or copied), so that rows sort by when they were written also in the
// hour repeated when daylight saving ends.
#include "scan/sinks.h"
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One row as read, made on each read.
struct TRow {
    std::wstring Path;
    std::wstring TimeText; // written by the results list, which knows the user's settings
    TDateTime Time = 0;    // local, written by the results list too
    std::int64_t Utc = 0;
    TRowId Id = 0;
    std::uint64_t Size = 0; // bytes
};

class TRowStore {
  public:
    // How much the store holds. A row finds its name by a 32-bit address, so names have 2^32
    // characters of room; the list control counts rows in an int. Append refuses a row beyond either
    // with std::length_error, before anything is written; the scan then ends as a failure.
    struct TLimits {
        unsigned NameBlockBits = 20; // a block of names holds 2^NameBlockBits characters
        std::uint64_t NameChars = std::uint64_t{1} << 32;
        std::uint32_t Rows = INT_MAX;
    };

    TRowStore();
    explicit TRowStore(const TLimits& limits);
    ~TRowStore();
    TRowStore(const TRowStore&) = delete;
    TRowStore& operator=(const TRowStore&) = delete;

    TRowId Append(std::wstring_view path, std::int64_t utc, std::uint64_t size = 0);
    // A local time is not an instant.
    TRowId Append(std::wstring_view path, TDateTime local, std::uint64_t size = 0) = delete;
    // The row's position, or -1 when the store does not hold it. Logarithmic, also after a sort.
    int IndexOf(TRowId id) const;
    // Logarithmic; now and then the deleted rows' room is given back, in time that the deletions
    // before it have paid for.
    void Erase(int index);
    void Clear();
    // Gives back at once what deleted rows still take, so that reading rows by position is direct.
    void Compact();

    // The sorts, in two steps. The orders only read the rows, so they may be worked out on another
    // thread while this one paints them; ApplyOrder then moves the rows: row i takes the row that
    // stood at order[i]. Rows that compare equal keep their order in either direction.
    // By the instant, newest first unless oldestFirst.
    std::vector<std::uint32_t> OrderByTime(bool oldestFirst = false) const;
    // By the size in bytes, largest first unless smallestFirst.
    std::vector<std::uint32_t> OrderBySize(bool smallestFirst = false) const;
    // By a rank the caller gives each row's identity, lowest first unless descending; ties keep their order.
    std::vector<std::uint32_t> OrderByRank(bool descending,
                                           const std::function<std::uint32_t(TRowId)>& rankOf) const;
    // By path as the shell orders names: numbers by their value, without regard to case, the rest
    // by the user's locale (StrCmpLogicalW's rules); ascending unless descending.
    std::vector<std::uint32_t> OrderByName(bool descending = false) const;
    void ApplyOrder(std::vector<std::uint32_t>& order);

    int Count() const { return static_cast<int>(inOrder_ ? records_ : slots_.size() - dead_); }
    TRow operator[](int index) const;
    // The path in its two parts: the folder up to and including its last backslash, and the name.
    std::wstring_view Folder(int index) const;
    // The folder's number: rows of one folder have the same; all are below FolderCount().
    std::uint32_t FolderNumber(int index) const { return RecordAt(index).Folder; }
    std::uint32_t FolderCount() const { return static_cast<std::uint32_t>(folders_.size()); }
    std::wstring_view FolderText(std::uint32_t folder) const { return folders_[folder]; }
    std::wstring_view Name(int index) const;
    std::wstring Path(int index) const;
    std::int64_t Utc(int index) const { return RecordAt(index).Utc; }
    TRowId Id(int index) const { return RecordAt(index).Id; }
    std::uint64_t Size(int index) const { return SizeOf(RecordAt(index)); }
    // Every row appended so far has a smaller identity.
    TRowId NextId() const { return nextId_; }
    // What the rows take in memory, all of it reserved for them: for the benchmark.
    std::size_t MemoryBytes() const;

  private:
#pragma pack(push, 4)
    struct TRecord {
        std::int64_t Utc;
        TRowId Id;
        std::uint32_t Name;   // where its length and characters begin in the name blocks
        std::uint32_t Folder; // into folders_
        std::uint32_t Size;   // bytes; BigSize: in bigSizes_ by the row's identity
    };
#pragma pack(pop)
    static_assert(sizeof(TRecord) == 28, "a row's record stays small: ten million rows are held");
    // Files of 4 GB and more are few; their sizes are held aside rather than widening every row.
    static constexpr std::uint32_t BigSize = UINT32_MAX;
    std::unordered_map<TRowId, std::uint64_t> bigSizes_;
    std::uint64_t SizeOf(const TRecord& record) const {
        return record.Size == BigSize ? bigSizes_.at(record.Id) : record.Size;
    }
    template <typename TKey, typename TKeyOf>
    std::vector<std::uint32_t> OrderByKey(bool ascending, TKeyOf keyOf) const;
    static constexpr std::uint32_t RecordBlockBits = 16;
    // A slot of a deleted row keeps its record, and so its identity, until the slots are compacted.
    static constexpr std::uint32_t DeadSlot = 0x80000000u;

    TRecord& Record(std::uint32_t record) {
        return recordBlocks_[record >> RecordBlockBits][record & ((1u << RecordBlockBits) - 1)];
    }
    const TRecord& Record(std::uint32_t record) const {
        return recordBlocks_[record >> RecordBlockBits][record & ((1u << RecordBlockBits) - 1)];
    }
    std::size_t SlotAt(int index) const;
    const TRecord& RecordAt(int index) const {
        return Record(inOrder_ ? static_cast<std::uint32_t>(index) : slots_[SlotAt(index)]);
    }
    // Makes slots_ for rows that were held in the order made, before they are deleted or moved.
    void LeaveOrder();
    // The position of a living slot: the living slots before it.
    int PositionOf(std::size_t slot) const;
    void MarkDead(std::size_t slot);
    std::wstring_view NameOf(const TRecord& record) const;
    std::uint32_t FolderOf(std::wstring_view folder);
    std::uint32_t StoreName(std::wstring_view name);
    void CompactNames();
    void BuildSortedIndex() const;

    TLimits limits_;
    // Records stay where they are: sorts and deletions move their numbers in slots_. A deletion
    // only marks its slot; a tree of counts (Fenwick's) of the marked slots turns a slot into a
    // position and back in logarithmic time.
    std::vector<std::unique_ptr<TRecord[]>> recordBlocks_;
    std::uint32_t records_ = 0; // made so far, free ones included
    std::vector<std::uint32_t> freeRecords_;
    // Until the first deletion or sort, row i is record i and has identity firstId_ + i, and slots_
    // is not kept: the date mode never needs it, and then a row costs four bytes less.
    bool inOrder_ = true;
    TRowId firstId_ = 1;
    std::vector<std::uint32_t> slots_;
    std::size_t dead_ = 0;
    std::vector<std::uint32_t> deadTree_; // empty while no slot is dead

    // Names: a length and the characters, in blocks that are never moved while in use.
    // Deleted names stay until they outweigh the living ones; then the living are copied into
    // fresh blocks.
    std::vector<std::unique_ptr<wchar_t[]>> nameBlocks_;
    std::uint64_t nameEnd_ = 0; // where the next name goes
    std::size_t deadNameChars_ = 0;

    // Every folder once, at a place that never moves; the walk's files come folder by folder.
    std::deque<std::wstring> folders_;
    std::unordered_map<std::wstring_view, std::uint32_t> folderIds_;
    std::uint32_t lastFolder_ = UINT32_MAX;
    std::wstring_view lastFolderText_; // folders_[lastFolder_]

    TRowId nextId_ = 1;
    // Slots before this one were reordered by a sort; the rest were appended after it, so their
    // identities still ascend and a binary search finds them.
    std::size_t sortedCount_ = 0;
    // Identity -> slot for the sorted slots, sorted by identity; built on the first lookup that
    // needs it. Slots do not move on deletion, so it stays right until the slots are compacted.
    mutable std::vector<std::pair<TRowId, std::uint32_t>> sortedIndex_;
    mutable bool sortedIndexBuilt_ = false;
};
