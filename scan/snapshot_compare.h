#pragma once
// The kept snapshot of a root against the scan that runs now: new and changed files as the walk
// sees them, deleted and moved ones when it ends. Every file is one hash lookup, never a folder
// against a folder.
//
// Only what both scans covered is compared. A file of the snapshot this scan did not see because
// its folder could not be read, or today's filters skip it, is not seen, never deleted; a file seen
// now where the snapshot's scan could not or did not look is not new. Paths compare as the file
// system compares names: case does not count.
//
// A move pairs a file of the snapshot not seen again with a file at a path the snapshot did not
// have: by identity (volume and file ID) where both have one, renamed and changed included; where
// identities are not known (FAT, exFAT, network shares), by the same name, size and last-write time
// in another folder, and only when that pair is the one such pair. Since the walk cannot know
// whether the snapshot's file turns up later at its own path, a file that may end a move is held:
// Finish reports it, as moved or as new.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scan/snapshot_entry.h"

enum class TChangeKind : std::uint8_t { New, Changed, Deleted, Moved };

// One difference. Path, Size and LastWriteUtc are the file's now, a deleted file's last known;
// OldPath, OldSize and OldLastWriteUtc the snapshot's (a changed or deleted file's OldPath is its
// path as the snapshot wrote it), empty and zero for a new file.
struct TChange {
    TChangeKind Kind = TChangeKind::New;
    std::wstring Path;
    std::wstring OldPath;
    std::uint64_t Size = 0;
    std::uint64_t OldSize = 0;
    std::int64_t LastWriteUtc = 0;
    std::int64_t OldLastWriteUtc = 0;
    // A moved file that was also written to.
    bool Differs() const { return Size != OldSize || LastWriteUtc != OldLastWriteUtc; }
};

struct TChangeCounts {
    std::size_t New = 0;
    std::size_t Changed = 0;
    std::size_t Deleted = 0;
    std::size_t Moved = 0;
    std::size_t NotSeen = 0;       // files of the snapshot this scan could not or did not look at
    std::size_t NotSeenBefore = 0; // files seen now where the snapshot's scan could not or did not look
    bool operator==(const TChangeCounts&) const = default;
};

// What Seen makes of a file at once.
enum class TSeen : std::uint8_t {
    Unchanged,
    New,       // the change is filled in
    Changed,   // the change is filled in
    Held,      // may end a move: Finish reports it
    Uncovered, // where the snapshot's scan could not or did not look: not compared
};

// Whether a scan covers a path relative to its root ("sub\name.txt"), by its filters.
using TCovers = std::function<bool(std::wstring_view path)>;
// A scan's coverage by its recursion, folder skip patterns and name masks, as the walk applies them.
// Patterns that no longer compile cover nothing: better not compared than wrongly reported.
TCovers ScanCoverage(const TSnapshotScan& scan);

// Built when the scan starts; one thread at a time. After a stop, Finish is not called: what the walk
// did not reach is not known.
class TSnapshotComparison {
  public:
    // coversNow and coveredBefore: today's filters and the snapshot's; empty, everything.
    TSnapshotComparison(TSnapshotScan old, std::vector<TSnapshotEntry>&& entries, TCovers coversNow = {},
                        TCovers coveredBefore = {});
    // The same built as the snapshot is read: its files one at a time, then the scan they came from,
    // which indexes them.
    explicit TSnapshotComparison(TCovers coversNow);
    void AddOld(const TSnapshotEntry& entry);
    void SetOld(TSnapshotScan old, TCovers coveredBefore);

    // A file the walk sees now; change is filled in for New and Changed.
    TSeen Seen(const TSnapshotEntry& now, TChange& change);
    // Settles the rest once the walk has ended: held files as moved or new, in the order seen, then
    // the snapshot's files not seen, in its order, as deleted. now's unread folders are not seen.
    std::vector<TChange> Finish(const TSnapshotScan& now);

    const TChangeCounts& Counts() const { return counts_; }
    const TSnapshotScan& Old() const { return old_; }
    std::size_t OldFiles() const { return records_.size() - 1; }
    // What is kept for the snapshot's files beside their names (which take 2 bytes a unit).
    std::size_t BytesBesideNames() const;

  private:
    static constexpr std::uint32_t None = 0xFFFFFFFF;
    static constexpr std::uint8_t NoVolume = 0xFF;

    // Open addressing over indices, at most two thirds full: 6 bytes an index.
    class TIndexTable {
      public:
        explicit TIndexTable(std::size_t count = 0) : slots_(count + count / 2 + 1, None) {}
        // The index whose key equal() takes, else None; with add, index goes in when none is there.
        template <class TEqual>
        std::uint32_t Find(std::uint64_t hash, TEqual&& equal, std::uint32_t add = None);
        std::size_t Bytes() const { return slots_.capacity() * sizeof(std::uint32_t); }

      private:
        std::vector<std::uint32_t> slots_;
    };

    // A file of the snapshot: 40 bytes. Its path runs from PathStart to the next one's.
    struct TOld {
        std::uint64_t Size = 0;
        std::int64_t LastWriteUtc = 0;
        std::uint64_t IdLow = 0;
        std::uint64_t IdHigh = 0;
        std::uint32_t PathStart = 0;
        std::uint8_t Volume = NoVolume; // into volumes_; NoVolume: identity not known
        enum class TState : std::uint8_t { Unseen, Seen, Moved } State = TState::Unseen;
    };
    static_assert(sizeof(TOld) == 40);

    // What pairs the two ends of a move: the identity, else name, size and time.
    struct TMoveKey {
        bool Identity = false;
        std::uint64_t Volume = 0, Low = 0, High = 0;
        std::wstring_view Name;
        std::uint64_t Size = 0;
        std::int64_t LastWriteUtc = 0;
        std::uint64_t Hash() const;
        bool operator==(const TMoveKey& other) const;
    };

    // Folders whose files a scan did not see, by their folded paths' hashes.
    class TFolderSet {
      public:
        TFolderSet() = default;
        explicit TFolderSet(const std::vector<std::wstring>& folders);
        // Whether path lies in one of them or below.
        bool Holds(std::wstring_view path) const;

      private:
        std::unordered_multimap<std::uint64_t, std::wstring> folders_;
    };

    std::wstring_view OldPath(std::uint32_t i) const;
    TMoveKey OldKey(std::uint32_t i) const;
    static TMoveKey NowKey(const TSnapshotEntry& now);
    TChange Change(TChangeKind kind, std::uint32_t i, const TSnapshotEntry* now) const;
    bool CoveredBefore(std::wstring_view path) const;

    TSnapshotScan old_;
    TCovers coversNow_;
    TCovers coveredBefore_;
    TFolderSet unreadBefore_;
    std::vector<TOld> records_; // one past the last: where the names end
    std::vector<wchar_t> names_;
    std::vector<std::uint64_t> volumes_;
    TIndexTable byPath_;
    TIndexTable byKey_; // the first of each move key
    std::vector<TSnapshotEntry> held_;
    TChangeCounts counts_;
    bool finished_ = false;
};
