#include "scan/work_thread.h"

#include <algorithm>
#include <atomic>
#include <cwchar>

#include "scan/listers.h"
#include "scan/sys_error.h"
#include "toolkit/error.h"
#include "toolkit/handoff.h"
#include "toolkit/scope_exit.h"

namespace {

bool IsLoggedCode(DWORD code) {
    return code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND && code != ERROR_NO_MORE_FILES;
}

} // namespace

TWorkThread::TWorkThread() : TThread(true), Listing(CreateSystemListing()) {}

TWorkThread::~TWorkThread() {
    EndBeforeDestruction();
}

bool TWorkThread::TakeRequest(const TScanRequest& request, std::wstring& error) {
    request_ = request;
    // Folder paths written from the root begin at the root as the walk names it.
    request_.RootPath = RootPathFromText(request.RootPath);
    if (!filters_.Set(request.SkipFolders, request.NameMasks, error, request_.RootPath)) {
        return false;
    }
    request_.Newest = request.ByDate ? 0 : std::max(request.Newest, 0);
    request_.After = request.ByDate ? request.After : 0;
    afterUtc_ = 0;
    if (request.ByDate) {
        // Once, by the rules of the moment's own date; a moment before 1601 is before every file.
        if (request.AfterUtc) {
            afterUtc_ = *request.AfterUtc;
        } else if (!localTime_.ToUtc(DecodeDateTime(request.After), afterUtc_)) {
            afterUtc_ = -1;
        }
        request_.AfterUtc = afterUtc_;
    } else {
        request_.AfterUtc.reset();
    }
    ranking_ = TRanking(request_.Newest);
    return true;
}

TFileCounts TWorkThread::Counts() const {
    // Relaxed, as the walk writes them: a count read while it moves is good enough to show.
    const auto read = [](const std::int64_t& count) {
        return std::atomic_ref<std::int64_t>(const_cast<std::int64_t&>(count))
            .load(std::memory_order_relaxed);
    };
    return {read(counts_.FileCount), read(counts_.NamesTaken), read(counts_.FoldersSkipped)};
}

void TWorkThread::Execute() {
    FILETIME start;
    GetSystemTimeAsFileTime(&start);
    startUtc_ = FileTimeTicks(start);
    const bool byMachine = ListerCount == ListersByMachine;
    const std::wstring& root = request_.RootPath;
    const unsigned listers = byMachine ? ListersFor(root) : ListerCount;
    const std::function<bool()> mayReadAhead =
        MayReadAhead || !byMachine ? MayReadAhead : ReadAheadRuleFor(root);
    if (request_.Recursive && listers > 0) {
        listers_ = std::make_unique<TListers>(
            *Listing, listers, MaxFoldersAhead, MaxEntriesAhead,
            TListerControl{[this] { return Terminated(); }, [this] { return PauseRequested(); },
                           [this] { PassGate(); }, &filters_, mayReadAhead});
    }
    // The listers end, and close what they hold, before the end notification, whatever ends the walk.
    const TScopeExit endListers([this] {
        if (listers_) {
            listers_->Stop();
            PeakFoldersAhead = listers_->PeakFolders();
            PeakEntriesAhead = listers_->PeakEntries();
            listers_.reset();
        }
    });
    lastHandOff_ = GetTickCount64();
    walkHeld_ = ranking_.Files().size();
    walkAfter_ = ranking_.After();
    applyBatch_ = [this] {
        for (TNotification& notification : applying_) {
            Apply(notification);
        }
        ShowRows();
        appliedHeld_ = ranking_.Files().size();
        appliedAfter_ = ranking_.After();
        stoppedWhileApplying_ = Terminated();
    };
    try {
        CurrentFolder = root;
        volume_ = {};
        if (Observer) {
            Listing->Volume(root, volume_);
        }
        ProcessFolder();
    } catch (...) {
        // What the walk collected before its failure still reaches the sink, as it would have one by
        // one. After a failed hand-off nothing is pending.
        const std::exception_ptr failure = std::current_exception();
        try {
            HandOff(true);
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
    HandOff(true);
    // Asked only when the root's listing failed: the front end then says the folder is missing.
    rootMissing_ = IsLoggedCode(static_cast<DWORD>(ErrorCode)) && !RootFault(request_.RootPath).empty();
}

void TWorkThread::DoTerminate() {
    if (Listening()) {
        Synchronize([this] {
            if (IScanSink* sink = Listening()) {
                TScanEnd end{FatalException ? TScanOutcome::Failed
                             : Terminated() ? TScanOutcome::Stopped
                                            : TScanOutcome::Done,
                             FatalException ? ExceptionMessage(FatalException) : L"", Counts(), rootMissing_,
                             startUtc_};
                sink->Ended(end);
            }
        });
    }
    TThread::DoTerminate();
}

void TWorkThread::ProcessFolder(bool throughLink, bool underLink) {
    Notify({TNotification::TKind::FolderEntered, 0, CurrentFolder});

    TFolderListing listing;
    // However the folder ends, even by a failure before its entries are walked, what is left of its
    // listing is closed and no longer counts against the listers' bound.
    const TScopeExit release([this, &listing] {
        CloseRest(*Listing, listing);
        if (listers_) {
            listers_->Release(listing);
        }
    });
    ListFolder(CurrentFolder, throughLink, underLink, listing);
    const TVolumeIdentity outside = volume_;
    const TScopeExit backOutside([this, throughLink, &outside] {
        if (throughLink) {
            volume_ = outside;
        }
    });
    if (throughLink && Observer) {
        volume_ = {};
        Listing->Volume(CurrentFolder, volume_);
    }
    TListingCursor entries(*Listing, listing);
    if (entries.Valid()) {
        openFolders_.push_back({CurrentFolder.size()});
        const TScopeExit pop([this] { openFolders_.pop_back(); });
        // A listing left because of the terminate request has not failed: nothing to log.
        if (!WalkEntries(entries, underLink || throughLink)) {
            return;
        }
    }
    // The line names the folder whose listing failed, also when a subfolder was entered since.
    ErrorCode = static_cast<std::int32_t>(entries.Error());
    if (IsLoggedCode(static_cast<DWORD>(ErrorCode))) {
        if (Observer) {
            Observer->FolderUnread(CurrentFolder, ErrorCode);
        }
        Notify({TNotification::TKind::ListingFailed, ErrorCode, CurrentFolder});
    }
}

void TWorkThread::ListFolder(const std::wstring& folder, bool throughLink, bool underLink,
                             TFolderListing& listing) {
    if (throughLink && LeadsBack(folder)) {
        listing.Error = ERROR_CANT_RESOLVE_FILENAME;
    } else if (!listers_ || throughLink || underLink) {
        // Listers never go through a link; the walk lists what lies behind one as it meets it.
        OpenToRead(*Listing, folder + L"*.*", listing);
    } else {
        listers_->List(folder, walkOrder_, listing, [this] { Pause(); });
    }
    if (listing.Failure) {
        std::rethrow_exception(listing.Failure);
    }
}

bool TWorkThread::WalkEntries(TListingCursor& entries, bool underLink) {
    for (; entries.Valid(); entries.Advance()) {
        const wchar_t* name = entries.Name();
        const DWORD attributes = entries.Attributes();
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            ConsiderFile(CurrentFolder, name, attributes, entries.LastWrite(), entries.Creation(),
                         entries.Size(), entries.FileId());
        } else if (request_.Recursive) {
            const std::size_t length = CurrentFolder.size();
            CurrentFolder.append(name).push_back(L'\\');
            const TScopeExit back([this, length] { CurrentFolder.resize(length); });
            const TScanFilters::TEntry entry = filters_.Entry(attributes, name, CurrentFolder);
            if (entry == TScanFilters::TEntry::Skipped) {
                const std::atomic_ref<std::int64_t> skipped(counts_.FoldersSkipped);
                skipped.store(skipped.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            } else if (entry != TScanFilters::TEntry::Passed) {
                walkOrder_.push_back(entries.Position());
                const TScopeExit popOrder([this] { walkOrder_.pop_back(); });
                ProcessFolder(entry == TScanFilters::TEntry::FolderLink, underLink);
            }
        }
        // Halt holding nothing, with everything found so far delivered; a stopping scan too.
        if (PauseRequested()) {
            Pause();
        }
        if (Terminated()) {
            return false;
        }
        if (!pending_.empty() && GetTickCount64() - lastHandOff_ >= BatchMilliseconds) {
            HandOff();
        }
    }
    return true;
}

void TWorkThread::ConsiderFile(const std::wstring& folder, const wchar_t* name, DWORD attributes,
                               const FILETIME& lastWrite, const FILETIME& creation, std::uint64_t size,
                               std::uint64_t fileId) {
    // Counted through an atomic view: a progress line may read the count meanwhile. Relaxed, it
    // costs what a plain increment does. Every file counts, whether its name is taken or not.
    const std::atomic_ref<std::int64_t> count(counts_.FileCount);
    count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    // The name first: a mask that takes few files spares the time conversion of the others.
    if (!filters_.TakesName(name)) {
        return;
    }
    const std::atomic_ref<std::int64_t> taken(counts_.NamesTaken);
    taken.store(taken.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    // Before the time test: the observer hears every file in either mode.
    if (Observer) {
        const TFileIdentity identity =
            volume_.StableIds && fileId != 0 ? TFileIdentity{volume_.Serial, fileId, 0} : TFileIdentity{};
        Observer->FileSeen(folder, name, attributes, lastWrite, creation, size, identity);
        if (!FilesAsRows) {
            return;
        }
    }
    const FILETIME& utc = request_.Time == TTimeKind::Modified                 ? lastWrite
                          : request_.Time == TTimeKind::Created                ? creation
                          : FileTimeTicks(creation) > FileTimeTicks(lastWrite) ? creation
                                                                               : lastWrite;
    const std::int64_t ticks = FileTimeTicks(utc);
    SYSTEMTIME local;
    // Compared as instants; a time stamp that has no local date in the years 1 to 9999 is
    // counted, never qualifies.
    if (!Wanted(ticks) || !localTime_.ToLocal(utc, local) || !TryEncodeDateTime(local, CurrentTime)) {
        return;
    }
    // One allocation per file: this runs for every file of the tree in the date mode. The
    // notification takes the path over.
    const std::size_t nameLength = std::wcslen(name);
    CurrentFile.reserve(folder.size() + nameLength);
    CurrentFile.assign(folder).append(name, nameLength);
    Notify({TNotification::TKind::FileQualifies, 0, std::move(CurrentFile), CurrentTime, ticks, size});
    CurrentFile.clear();
}

void TWorkThread::Pause() {
    HandOff(true);
    PassGate();
}

// Whether a link leads to a folder that is open on the way down to it. Identities are read only
// here, so a tree without links pays nothing for them.
bool TWorkThread::LeadsBack(const std::wstring& folder) {
    TFolderIdentity target;
    if (!Listing->Identity(folder, target)) {
        return false;
    }
    for (TOpenFolder& open : openFolders_) {
        if (!open.IdentityRead) {
            open.IdentityRead = true;
            open.IdentityKnown = Listing->Identity(CurrentFolder.substr(0, open.PathLength), open.Identity);
        }
        if (open.IdentityKnown && open.Identity == target) {
            return true;
        }
    }
    return false;
}

void TWorkThread::Notify(TNotification notification) {
    pending_.push_back(std::move(notification));
    if (pending_.size() >= BatchSize) {
        HandOff();
    }
}

// The user-interface thread applies one batch while the walk collects the next: the walk waits only
// when the next batch is ready before the last one has been applied.
void TWorkThread::HandOff(bool drain) {
    CollectBatch();
    TrimBatch();
    if (!pending_.empty()) {
        applying_.swap(pending_);
        pending_.clear();
        Queue(applyCall_, applyBatch_);
        batchQueued_ = true;
        lastHandOff_ = GetTickCount64();
    }
    if (drain) {
        CollectBatch();
    }
}

// In the number mode the ranking holds the N newest files, the earliest found first among equal
// times, so a file of a batch that has N newer ones in the same batch would enter and leave
// while that batch is applied. Where every file enters, as in a tree written in walk order, that
// would be most of the user-interface thread's work; such files are dropped here instead.
void TWorkThread::TrimBatch() {
    if (request_.ByDate || ranking_.Limit() <= 0) {
        return;
    }
    std::vector<std::uint32_t> files;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (pending_[i].Kind == TNotification::TKind::FileQualifies) {
            files.push_back(static_cast<std::uint32_t>(i));
        }
    }
    const auto limit = static_cast<std::size_t>(ranking_.Limit());
    if (files.size() <= limit) {
        return;
    }
    const auto newer = [this](std::uint32_t a, std::uint32_t b) {
        return pending_[a].Utc > pending_[b].Utc || (pending_[a].Utc == pending_[b].Utc && a < b);
    };
    std::nth_element(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(limit - 1), files.end(),
                     newer);
    std::vector<bool> dropped(pending_.size(), false);
    for (std::size_t k = limit; k < files.size(); ++k) {
        dropped[files[k]] = true;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (!dropped[i]) {
            if (kept != i) {
                pending_[kept] = std::move(pending_[i]);
            }
            ++kept;
        }
    }
    pending_.resize(kept);
}

void TWorkThread::CollectBatch() {
    if (!batchQueued_) {
        return;
    }
    batchQueued_ = false;
    try {
        Wait(applyCall_);
    } catch (...) {
        // Nothing found after a failed hand-off reaches the sink.
        pending_.clear();
        throw;
    }
    // Published by the user-interface thread before the wait ended.
    walkHeld_ = appliedHeld_;
    walkAfter_ = appliedAfter_;
    // Had each notification been handed off alone, a stop asked for while that batch was applied
    // would have found the walk waiting: what it found since is dropped.
    if (stoppedWhileApplying_) {
        pending_.clear();
    }
}

// Runs on the user-interface thread: the notifications reach the sink in order, as if each had
// been handed off alone, the rows of consecutive files in one call.
void TWorkThread::Apply(TNotification& notification) {
    switch (notification.Kind) {
    case TNotification::TKind::FolderEntered:
        ShowRows();
        ShowFolder(notification.Path);
        break;
    case TNotification::TKind::FileQualifies: {
        TFoundRow row{0, std::move(notification.Path), notification.Time, notification.Utc,
                      notification.Size};
        if (request_.ByDate) {
            AddDatedFile(std::move(row));
        } else if (ranking_.Qualifies(row.Utc)) {
            // The walk tested against the ranking as of its last hand-off; earlier files of this
            // batch may have raised the bar since.
            AddFile(std::move(row));
        }
        break;
    }
    case TNotification::TKind::ListingFailed:
        ShowRows();
        LogError(notification.Path, notification.ErrorCode);
        break;
    }
}

// The ranking holds the file as the row AddDatedFile numbers next.
void TWorkThread::AddFile(TFoundRow row) {
    ranking_.AddFile(TFileItem{row.Path, row.Utc, lastRow_ + 1}, removed_);
    AddDatedFile(std::move(row));
}

void TWorkThread::AddDatedFile(TFoundRow row) {
    row.Id = ++lastRow_;
    added_.push_back(std::move(row));
}

void TWorkThread::ShowRows() {
    // Told once, also when the sink fails on them.
    const TScopeExit clear([this] {
        added_.clear();
        removed_.clear();
    });
    if (IScanSink* sink = Listening(); sink && (!added_.empty() || !removed_.empty())) {
        sink->RowsChanged(added_, removed_);
    }
}

void TWorkThread::ShowFolder(const std::wstring& folder) {
    if (IScanSink* sink = Listening()) {
        sink->FolderEntered(folder);
    }
}

void TWorkThread::LogError(const std::wstring& folder, std::int32_t code) {
    if (IScanSink* sink = Listening()) {
        sink->ListingFailed(LogLine(folder, code));
    }
}
