#pragma once
// The rows behind the results list: the owner-data list view only displays them. A row costs its
// file name's characters and about thirty bytes: its folder is held once for all its files, names
// are packed in large blocks, and the time is kept as its value (the list writes its text when a row
// is drawn or copied).
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include "scan/sinks.h"

// One row as read, made on each read.
struct TRow {
    std::wstring Path;
    std::wstring TimeText; // written by the results list, which knows the user's settings
    TDateTime Time = 0;
    TRowId Id = 0;
};

class TRowStore {
public:
    TRowStore();
    ~TRowStore();
    TRowStore(const TRowStore&) = delete;
    TRowStore& operator=(const TRowStore&) = delete;

    TRowId Append(std::wstring_view path, TDateTime time);
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

    int Count() const { return static_cast<int>(slots_.size() - head_); }
    TRow operator[](int index) const;
    // The path in its two parts: the folder up to and including its last backslash, and the name.
    std::wstring_view Folder(int index) const;
    // The folder's number: rows of one folder have the same; all are below FolderCount().
    std::uint32_t FolderNumber(int index) const { return RecordAt(index).Folder; }
    std::uint32_t FolderCount() const { return static_cast<std::uint32_t>(folders_.size()); }
    std::wstring_view Name(int index) const;
    std::wstring Path(int index) const;
    TDateTime Time(int index) const { return RecordAt(index).Time; }
    // What the rows take in memory, all of it reserved for them: for the benchmark.
    std::size_t MemoryBytes() const;

private:
    struct TRecord {
        TDateTime Time;
        TRowId Id;
        std::uint32_t Name;   // where its length and characters begin in the name blocks
        std::uint32_t Folder; // into folders_
    };
    static constexpr std::uint32_t RecordBlockBits = 16;
    static constexpr std::uint32_t NameBlockBits = 20;

    TRecord& Record(std::uint32_t record) { return recordBlocks_[record >> RecordBlockBits][record & ((1u << RecordBlockBits) - 1)]; }
    const TRecord& Record(std::uint32_t record) const {
        return recordBlocks_[record >> RecordBlockBits][record & ((1u << RecordBlockBits) - 1)];
    }
    const TRecord& RecordAt(int index) const { return Record(slots_[head_ + static_cast<std::size_t>(index)]); }
    std::wstring_view NameOf(const TRecord& record) const;
    std::uint32_t FolderOf(std::wstring_view folder);
    std::uint32_t StoreName(std::wstring_view name);
    void CompactNames();
    void BuildSortedIndex() const;

    // Records stay where they are: sorts and deletions move their numbers in slots_. The number
    // mode deletes its oldest row, near the top, for every file that enters, so a deletion moves the
    // slots on the shorter side: those before it move down, leaving an empty slot at the front. The
    // rows are slots_[head_] onwards.
    std::vector<std::unique_ptr<TRecord[]>> recordBlocks_;
    std::uint32_t records_ = 0; // made so far, free ones included
    std::vector<std::uint32_t> freeRecords_;
    std::vector<std::uint32_t> slots_;
    std::size_t head_ = 0;

    // Names: a length, the characters and a null, in blocks of 2^20 characters that are never moved
    // while in use. Deleted names stay until they outweigh the living ones; then the living are
    // copied into fresh blocks.
    std::vector<std::unique_ptr<wchar_t[]>> nameBlocks_;
    std::uint32_t nameEnd_ = 0; // where the next name goes
    std::size_t deadNameChars_ = 0;

    // Every folder once, at a place that never moves; the walk's files come folder by folder.
    std::deque<std::wstring> folders_;
    std::unordered_map<std::wstring_view, std::uint32_t> folderIds_;
    std::uint32_t lastFolder_ = UINT32_MAX;

    TRowId nextId_ = 1;
    // Rows before this position were reordered by a sort; the rest were appended after it, so their
    // identities still ascend and a binary search finds them.
    std::size_t sortedCount_ = 0;
    // Identity -> position for the sorted rows, sorted by identity; built on the first lookup that
    // needs it and patched on deletion.
    mutable std::vector<std::pair<TRowId, std::uint32_t>> sortedIndex_;
    mutable bool sortedIndexBuilt_ = false;
};
