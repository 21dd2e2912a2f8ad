#pragma once
// A completed scan's snapshot in a file of our own: written as the walk goes and swapped in whole,
// read back with every length held against the bytes there are, kept per user, one file a root and
// filters.
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scan/snapshot_entry.h"
#include "toolkit/whole_file.h"

// Appends the entries in the walk's order to a new file beside path, in large writes; Finish moves it
// into path's place. Until then, and whatever fails, the file at path stays as it was: a crash, a
// full disk or another program writing the same path leaves one whole snapshot or the other.
class TSnapshotWriter {
  public:
    // Bytes gathered before a write.
    static constexpr std::size_t BlockBytes = 1 << 20;

    // path: as the system takes it. fault and blockBytes: for tests, which fail each step in turn.
    explicit TSnapshotWriter(std::wstring path, TWholeFileFault fault = {},
                             std::size_t blockBytes = BlockBytes);
    // Without Finish: abandoned.
    ~TSnapshotWriter();
    TSnapshotWriter(const TSnapshotWriter&) = delete;
    TSnapshotWriter& operator=(const TSnapshotWriter&) = delete;

    // Nothing is kept after a failure; the next call says so.
    void Add(const TSnapshotEntry& entry);
    // Writes the scan and moves the file into place; false when this or anything before it failed.
    bool Finish(const TSnapshotScan& scan);
    // The new file is deleted and the old one left.
    void Abandon();

    // 0, or the system's code of the first failure, and the sentence that says it.
    DWORD Error() const;
    std::wstring ErrorText() const;
    std::uint64_t Count() const { return count_; }

  private:
    void Put(std::string_view bytes) { buffer_.append(bytes); }
    void WriteBlocks(bool all);

    std::wstring path_;
    std::unique_ptr<TWholeFile> file_;
    std::size_t blockBytes_;
    std::string buffer_, folder_, name_, scratch_;
    std::wstring folderWide_;
    std::uint64_t checksum_, written_ = 0, count_ = 0;
    std::uint64_t lastWrite_ = 0, lastLow_ = 0, lastVolume_ = 0;
    std::uint32_t lastAttributes_ = 0;
    DWORD error_ = 0;
    bool finished_ = false;
};

// What reading a snapshot found. Missing is an ordinary first scan; the others are named in one
// sentence and the snapshot is treated as absent.
enum class TSnapshotState { Read, Missing, Unreadable, CutShort, Damaged, OtherVersion, OtherRoot, Foreign };

struct TSnapshotRead {
    TSnapshotState State = TSnapshotState::Missing;
    std::wstring Problem; // the sentence, for a snapshot neither read nor missing
    TSnapshotScan Scan;
    std::vector<TSnapshotEntry> Entries; // in the order written
    bool Usable() const { return State == TSnapshotState::Read; }
};

// Takes each entry as it is read, in the order written, from one entry whose room is reused. A snapshot
// found not whole part way has given some: the taker then throws them away.
using TEntryTaker = std::function<void(const TSnapshotEntry& entry)>;
// expectedRoot: the root of the scan to compare with, as the scan takes it; case does not count.
// Without take, the entries are kept in Entries.
TSnapshotRead ReadSnapshot(const std::wstring& path, const std::wstring& expectedRoot,
                           const TEntryTaker& take = {});
// The same of bytes already read; path only names them in the sentence.
TSnapshotRead ReadSnapshotBytes(std::string_view bytes, const std::wstring& path,
                                const std::wstring& expectedRoot, const TEntryTaker& take = {});
// The checksum the last eight bytes hold, over the bytes before them.
std::uint64_t SnapshotChecksum(std::string_view bytes);

// The store: "Quenwick\Snapshots\" under the user's local application data folder, the snapshots
// of the roots scanned most recently.
inline constexpr std::size_t SnapshotsKept = 16;
// Ends with "\"; made when missing; empty when there is none.
std::wstring SnapshotFolder();
// Tests keep their snapshots in a folder of their own (ending with "\"); empty: the user's again.
void SetSnapshotFolder(std::wstring folder);
// The file of the scan's root, recursion, filters and time kind: 16 hex digits of a hash and
// ".qsnap" in SnapshotFolder(); empty when there is no folder.
std::wstring SnapshotPathFor(const TSnapshotScan& scan);
// After written was written in the store: it and the most recently written others, SnapshotsKept in
// all, are kept; the rest are deleted, and temporary files a crash left there a day ago.
void ForgetOldSnapshots(const std::wstring& written);
