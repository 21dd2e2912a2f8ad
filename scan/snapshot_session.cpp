#include "scan/snapshot_session.h"

#include "scan/last_scans.h"
#include "scan/local_time.h"

TSnapshotSession::TSnapshotSession(const TScanRequest& taken, std::wstring baseline) {
    now_.Root = taken.RootPath;
    now_.Recursive = taken.Recursive;
    now_.SkipFolders = taken.SkipFolders;
    now_.NameMasks = taken.NameMasks;
    now_.TimeKind = static_cast<std::uint32_t>(taken.Time);
    inStore_ = baseline.empty();
    path_ = inStore_ ? SnapshotPathFor(now_) : std::move(baseline);
    if (path_.empty()) {
        return;
    }
    TSnapshotRead old = ReadSnapshot(path_, now_.Root);
    problem_ = std::move(old.Problem);
    if (old.Usable()) {
        TCovers coveredBefore = ScanCoverage(old.Scan);
        comparison_ = std::make_unique<TSnapshotComparison>(std::move(old.Scan), std::move(old.Entries),
                                                            ScanCoverage(now_), std::move(coveredBefore));
    }
    writer_ = std::make_unique<TSnapshotWriter>(path_);
}

TSnapshotSession::~TSnapshotSession() = default;

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
    if (comparison_) {
        const TSeen seen = comparison_->Seen(entry_, change_);
        if (seen == TSeen::New || seen == TSeen::Changed) {
            changes_.push_back(std::move(change_));
        }
    }
}

void TSnapshotSession::FolderUnread(const std::wstring& folder, std::int32_t) {
    now_.UnreadFolders.push_back(folder.substr(now_.Root.size()));
}

bool TSnapshotSession::End(TScanOutcome outcome, std::int64_t startUtc) {
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
        changes_.insert(changes_.end(), std::make_move_iterator(settled.begin()),
                        std::make_move_iterator(settled.end()));
    }
    return written;
}

TChangeCounts TSnapshotSession::Counts() const {
    return comparison_ ? comparison_->Counts() : TChangeCounts{};
}
