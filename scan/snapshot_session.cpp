#include "scan/snapshot_session.h"

#include "scan/last_scans.h"
#include "scan/local_time.h"
#include "toolkit/error.h"

namespace {

std::function<void()>& ReadGate() {
    static std::function<void()> gate;
    return gate;
}

} // namespace

void SetSnapshotReadGateForTesting(std::function<void()> gate) {
    ReadGate() = std::move(gate);
}

TSnapshotSession::TSnapshotSession(const TScanRequest& taken, std::wstring baseline, bool compare) {
    now_.Root = taken.RootPath;
    now_.Recursive = taken.Recursive;
    now_.SkipFolders = taken.SkipFolders;
    now_.NameMasks = taken.NameMasks;
    now_.TimeKind = static_cast<std::uint32_t>(taken.Time);
    inStore_ = baseline.empty();
    path_ = inStore_ ? SnapshotPathFor(now_) : std::move(baseline);
    if (path_.empty()) {
        oldRead_.store(true, std::memory_order_release);
        return;
    }
    writer_ = std::make_unique<TSnapshotWriter>(path_);
    if (!compare) {
        oldRead_.store(true, std::memory_order_release);
        return;
    }
    // A million files' snapshot takes a second or two to read and index: beside the walk's first.
    reader_ = std::thread([this] { ReadOld(); });
}

void TSnapshotSession::ReadOld() {
    if (ReadGate()) {
        ReadGate()();
    }
    try {
        auto comparison = std::make_unique<TSnapshotComparison>(ScanCoverage(now_));
        TSnapshotRead old =
            ReadSnapshot(path_, now_.Root, [&](const TSnapshotEntry& entry) { comparison->AddOld(entry); });
        problem_ = std::move(old.Problem);
        if (old.Usable()) {
            TCovers coveredBefore = ScanCoverage(old.Scan);
            comparison->SetOld(std::move(old.Scan), std::move(coveredBefore));
            comparison_ = std::move(comparison);
        }
    } catch (...) {
        // Out of memory for its index: the scan goes on and is kept, compared with nothing.
        comparison_.reset();
        problem_ = L"The snapshot " + path_ + L" could not be read and is not used: " +
                   ExceptionMessage(std::current_exception());
    }
    oldRead_.store(true, std::memory_order_release);
}

TSnapshotSession::~TSnapshotSession() {
    JoinReader();
}

const TSnapshotScan& TSnapshotSession::Old() const {
    static const TSnapshotScan none;
    return comparison_ ? comparison_->Old() : none;
}

bool TSnapshotSession::FiltersDiffer() const {
    const TSnapshotScan& old = Old();
    return comparison_ && (old.Recursive != now_.Recursive ||
                           LastScanName(old.SkipFolders) != LastScanName(now_.SkipFolders) ||
                           LastScanName(old.NameMasks) != LastScanName(now_.NameMasks));
}

void TSnapshotSession::FileSeen(const std::wstring& folder, const wchar_t* name, DWORD attributes,
                                const FILETIME& lastWrite, const FILETIME& creation, std::uint64_t size,
                                const TFileIdentity& identity) {
    ++files_;
    // Moves pair by identity; a file whose identity is not known, by name, size and time.
    entry_.Path.assign(folder, now_.Root.size()).append(name);
    entry_.Size = size;
    entry_.LastWriteUtc = FileTimeTicks(lastWrite);
    entry_.CreationUtc = FileTimeTicks(creation);
    entry_.Attributes = attributes;
    entry_.Identity = identity;
    if (writer_) {
        writer_->Add(entry_);
    }
    if (!OldRead()) {
        pending_.push_back(entry_);
        return;
    }
    ComparePending();
    Compare(entry_);
}

void TSnapshotSession::ComparePending() {
    for (const TSnapshotEntry& met : pending_) {
        Compare(met);
    }
    std::vector<TSnapshotEntry>().swap(pending_);
}

void TSnapshotSession::JoinReader() {
    if (reader_.joinable()) {
        reader_.join();
    }
}

void TSnapshotSession::Compare(const TSnapshotEntry& entry) {
    if (comparison_) {
        const TSeen seen = comparison_->Seen(entry, change_);
        if (seen == TSeen::New || seen == TSeen::Changed) {
            const std::lock_guard hold(changesLock_);
            changes_.push_back(std::move(change_));
        }
    }
}

void TSnapshotSession::FolderUnread(const std::wstring& folder, std::int32_t) {
    now_.UnreadFolders.push_back(folder.substr(now_.Root.size()));
}

bool TSnapshotSession::End(TScanOutcome outcome, std::int64_t startUtc) {
    JoinReader();
    ComparePending();
    if (outcome != TScanOutcome::Done) {
        // What the walk did not reach is not known: nothing is settled, the old snapshot stays.
        if (writer_) {
            writer_->Abandon();
        }
        return true;
    }
    FILETIME end;
    GetSystemTimeAsFileTime(&end);
    now_.StartUtc = startUtc;
    now_.EndUtc = FileTimeTicks(end);
    bool written = true;
    if (writer_) {
        written = writer_->Finish(now_);
        if (!written) {
            writeError_ = writer_->ErrorText();
        } else if (inStore_) {
            ForgetOldSnapshots(path_);
        }
    }
    if (comparison_) {
        std::vector<TChange> settled = comparison_->Finish(now_);
        const std::lock_guard hold(changesLock_);
        changes_.insert(changes_.end(), std::make_move_iterator(settled.begin()),
                        std::make_move_iterator(settled.end()));
    }
    return written;
}

void TSnapshotSession::TakeNewChanges(std::vector<TChange>& into) {
    const std::lock_guard hold(changesLock_);
    into.insert(into.end(), changes_.begin() + static_cast<std::ptrdiff_t>(changesTaken_), changes_.end());
    changesTaken_ = changes_.size();
}

TChangeCounts TSnapshotSession::Counts() const {
    return comparison_ ? comparison_->Counts() : TChangeCounts{};
}
