#pragma once
// One scan against the kept snapshot of its root and filters: the old one is read on a thread of its
// own while the walk begins, the walk's files are compared (those met meanwhile once it is read) and
// written to the new one as they come, and only a scan that ended by itself puts the new one in the
// old one's place.
//
// Threads: the constructor and everything after the job's end (End, Changes, Counts) run on the
// thread that owns the job, and OldRead and TakeNewChanges while it runs; FileSeen and FolderUnread
// run on the walk's thread. The job's end orders the two.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scan/scan_request.h"
#include "scan/sinks.h"
#include "scan/snapshot_compare.h"
#include "scan/snapshot_file.h"
#include "scan/work_thread.h"

// Tests hold the reading of the earlier snapshot back with a call that returns when it may go on.
void SetSnapshotReadGateForTesting(std::function<void()> gate);

class TSnapshotSession final : public IWalkObserver {
  public:
    // taken: the request as the job took it (its RootPath a full path). baseline: a snapshot file of
    // the caller's, read and written instead of the store's; empty: the store's for root and filters.
    // Without compare the earlier snapshot is not read: the scan is only kept.
    explicit TSnapshotSession(const TScanRequest& taken, std::wstring baseline = {}, bool compare = true);
    ~TSnapshotSession() override;

    // Where the snapshot is read from and written to; empty when there is no store.
    const std::wstring& Path() const { return path_; }
    // Whether the earlier snapshot has been read (or found missing or unusable): until then HasOld,
    // Problem, Old and FiltersDiffer do not know. After End it has been.
    bool OldRead() const { return oldRead_.load(std::memory_order_acquire); }
    // An earlier snapshot to compare with was read.
    bool HasOld() const { return OldRead() && comparison_ != nullptr; }
    // The sentence naming an earlier snapshot that could not be used; empty otherwise.
    const std::wstring& Problem() const { return problem_; }
    const TSnapshotScan& Old() const;
    // The old scan's filters are not today's: only what both covered is compared.
    bool FiltersDiffer() const;

    void FileSeen(const std::wstring& folder, const wchar_t* name, DWORD attributes,
                  const FILETIME& lastWrite, const FILETIME& creation, std::uint64_t size,
                  const TFileIdentity& identity) override;
    void FolderUnread(const std::wstring& folder, std::int32_t code) override;

    // After the job has ended. Done: the new snapshot takes the old one's place and the moved and
    // deleted files are settled. Stopped or failed: the new one is dropped, the old one stays, and
    // Changes holds what was compared so far. False when the new snapshot could not be written
    // (WriteError says why).
    bool End(TScanOutcome outcome, std::int64_t startUtc);
    const std::wstring& WriteError() const { return writeError_; }
    // New and changed files in the walk's order, then, after a completed scan, the settled ones.
    // Paths relative to the root.
    const std::vector<TChange>& Changes() const { return changes_; }
    // While the walk goes on, from the owner's thread: the changes found since the last call.
    void TakeNewChanges(std::vector<TChange>& into);
    TChangeCounts Counts() const;
    // Files the walk has handed over.
    std::uint64_t Files() const { return files_; }

  private:
    void ReadOld();
    void Compare(const TSnapshotEntry& entry);
    // The files met before the earlier snapshot was read, compared now.
    void ComparePending();
    void JoinReader();
    TSnapshotScan now_;
    std::thread reader_;
    std::atomic<bool> oldRead_{false};
    std::vector<TSnapshotEntry> pending_; // met before the old snapshot was read
    std::wstring path_;
    bool inStore_ = false;
    std::wstring problem_;
    std::wstring writeError_;
    std::unique_ptr<TSnapshotComparison> comparison_;
    std::unique_ptr<TSnapshotWriter> writer_;
    std::vector<TChange> changes_;
    std::mutex changesLock_; // taken only when a change is found or taken
    std::size_t changesTaken_ = 0;
    TSnapshotEntry entry_; // reused: one path's room for the whole walk
    TChange change_;
    std::uint64_t files_ = 0;
};
