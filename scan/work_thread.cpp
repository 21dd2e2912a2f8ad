#include "scan/work_thread.h"

#include <algorithm>
#include <atomic>
#include <cwchar>

#include "scan/listers.h"
#include "scan/sys_error.h"
#include "toolkit/handoff.h"
#include "toolkit/scope_exit.h"

namespace {

bool IsLoggedCode(DWORD code) {
    return code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND && code != ERROR_NO_MORE_FILES;
}

} // namespace

TWorkThread::TWorkThread()
    : TThread(true), Listing(CreateSystemListing()) {}

TWorkThread::~TWorkThread() {
    EndBeforeDestruction();
    // A log the end notification did not take may be a window, which only its own thread may destroy.
    if (LogsFormRef && !IsUserInterfaceThread() && HandOffWindow()) {
        try {
            Synchronize([this] { LogsFormRef.reset(); });
        } catch (...) {
        }
    }
}

bool TWorkThread::TakeRequest(const TScanRequest& request, std::wstring& error) {
    // Folder paths written from the root begin at the root as the walk names it.
    RootPath = RootPathFromText(request.Root);
    if (!Filters.Set(request.SkipFolders, request.NameMasks, error, RootPath)) {
        return false;
    }
    Recursive = request.Recursive;
    ByDate = request.ByDate ? 1 : 0;
    Limit = request.ByDate ? 0 : std::max(request.Newest, 0);
    After = request.ByDate ? request.After : 0;
    TimeKind = request.Time;
    FileCount = 0;
    return true;
}

void TWorkThread::Execute() {
    const bool byMachine = ListerCount == ListersByMachine;
    const unsigned listers = byMachine ? ListersFor(RootPath) : ListerCount;
    const std::function<bool()> mayReadAhead = MayReadAhead || !byMachine ? MayReadAhead : ReadAheadRuleFor(RootPath);
    if (Recursive && listers > 0) {
        listers_ = std::make_unique<TListers>(*Listing, listers, MaxFoldersAhead, MaxEntriesAhead,
                                              TListerControl{[this] { return Terminated(); },
                                                             [this] { return PauseRequested(); },
                                                             [this] { PassGate(); },
                                                             [this](const wchar_t* name, const std::wstring& path) {
                                                                 return Filters.SkipsFolder(name, path);
                                                             },
                                                             mayReadAhead});
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
    walkHeld_ = Files.size();
    walkAfter_ = After;
    applyBatch_ = [this] {
        for (const TNotification& notification : applying_) {
            Apply(notification);
        }
        appliedHeld_ = Files.size();
        appliedAfter_ = After;
        stoppedWhileApplying_ = Terminated();
        if (BatchApplied) {
            BatchApplied();
        }
    };
    try {
        folder_ = RootPath;
        ProcessFolder();
    } catch (...) {
        // What the walk collected before its failure still reaches the sinks, as it would have one by
        // one. After a failed hand-off nothing is pending.
        const std::exception_ptr failure = std::current_exception();
        try {
            HandOff(true);
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
    HandOff(true);
}

void TWorkThread::ProcessFolder(bool throughLink, bool underLink) {
    Notify({TNotification::TKind::FolderEntered, folder_});

    TFolderListing listing;
    // However the folder ends, even by a failure before its entries are walked, what is left of its
    // listing is closed and no longer counts against the listers' bound.
    const TScopeExit release([this, &listing] {
        CloseRest(*Listing, listing);
        if (listers_) {
            listers_->Release(listing);
        }
    });
    ListFolder(folder_, throughLink, underLink, listing);
    TListingCursor entries(*Listing, listing);
    if (entries.Valid()) {
        openFolders_.push_back({folder_.size()});
        const TScopeExit pop([this] { openFolders_.pop_back(); });
        // A listing left because of the terminate request has not failed: nothing to log.
        if (!WalkEntries(entries, underLink || throughLink)) {
            return;
        }
    }
    // The line names the folder whose listing failed, also when a subfolder was entered since.
    const DWORD error = entries.Error();
    if (IsLoggedCode(error)) {
        Notify({TNotification::TKind::ListingFailed, folder_, 0, static_cast<std::int32_t>(error)});
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
            ConsiderFile(folder_, name, entries.LastWrite(), entries.Creation());
        } else if (Recursive && !IsDotName(name)) {
            const std::size_t length = folder_.size();
            folder_.append(name).push_back(L'\\');
            const TScopeExit back([this, length] { folder_.resize(length); });
            if (Filters.SkipsFolders() && Filters.SkipsFolder(name, folder_)) {
                const std::atomic_ref<std::int64_t> skipped(FoldersSkipped);
                skipped.store(skipped.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            } else {
                walkOrder_.push_back(entries.Position());
                const TScopeExit popOrder([this] { walkOrder_.pop_back(); });
                ProcessFolder((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, underLink);
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

void TWorkThread::ConsiderFile(const std::wstring& folder, const wchar_t* name, const FILETIME& lastWrite,
                               const FILETIME& creation) {
    // Counted through an atomic view: a progress line may read the count meanwhile. Relaxed, it
    // costs what a plain increment does. Every file counts, whether its name is taken or not.
    const std::atomic_ref<std::int64_t> count(FileCount);
    count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    // The name first: a mask that takes few files spares the time conversion of the others.
    if (!Filters.TakesName(name)) {
        return;
    }
    const std::atomic_ref<std::int64_t> taken(NamesTaken);
    taken.store(taken.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    const FILETIME& utc = TimeKind == TTimeKind::Modified ? lastWrite
                          : TimeKind == TTimeKind::Created ? creation
                          : FileTimeTicks(creation) > FileTimeTicks(lastWrite) ? creation
                                                                               : lastWrite;
    SYSTEMTIME local;
    TDateTime time;
    // A time stamp that has no local date in the years 1 to 9999 is counted, never qualifies.
    if (!localTime_.ToLocal(utc, local) || !TryEncodeDateTime(local, time) ||
        !Qualifies(walkHeld_, walkAfter_, time)) {
        return;
    }
    // One allocation per file: this runs for every file of the tree in the date mode.
    std::wstring path;
    const std::size_t nameLength = std::wcslen(name);
    path.reserve(folder.size() + nameLength);
    path.append(folder).append(name, nameLength);
    Notify({TNotification::TKind::FileQualifies, std::move(path), time, 0, FileTimeTicks(utc)});
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
            open.IdentityKnown = Listing->Identity(folder_.substr(0, open.PathLength), open.Identity);
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

// In the number mode the ranking holds the Limit newest files, the earliest found first among equal
// times, so a file of a batch that has Limit newer ones in the same batch would enter and leave
// while that batch is applied. Where every file enters, as in a tree written in walk order, that
// would be most of the user-interface thread's work; such files are dropped here instead.
void TWorkThread::TrimBatch() {
    if (ByDate != 0 || Limit <= 0) {
        return;
    }
    std::vector<std::uint32_t> files;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (pending_[i].Kind == TNotification::TKind::FileQualifies) {
            files.push_back(static_cast<std::uint32_t>(i));
        }
    }
    const auto limit = static_cast<std::size_t>(Limit);
    if (files.size() <= limit) {
        return;
    }
    const auto newer = [this](std::uint32_t a, std::uint32_t b) {
        return pending_[a].Time > pending_[b].Time || (pending_[a].Time == pending_[b].Time && a < b);
    };
    std::nth_element(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(limit - 1), files.end(), newer);
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
        // Nothing found after a failed hand-off reaches the sinks.
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

// Runs on the user-interface thread: the notifications reach the sinks one by one, as if each had
// been handed off alone.
void TWorkThread::Apply(const TNotification& notification) {
    switch (notification.Kind) {
    case TNotification::TKind::FolderEntered:
        CurrentFolder = notification.Path;
        ShowFolder();
        if (Listener) {
            Listener->FolderEntered(CurrentFolder);
        }
        break;
    case TNotification::TKind::FileQualifies:
        CurrentFile = notification.Path;
        CurrentTime = notification.Time;
        CurrentUtc = notification.Utc;
        if (ByDate != 0) {
            AddDatedFile();
            if (Listener) {
                Listener->FileDated(CurrentFile, CurrentTime, CurrentUtc);
            }
        } else if (Qualifies(Files.size(), After, CurrentTime)) {
            // The walk tested against the count and threshold of its last hand-off; earlier files of
            // this batch may have raised them since.
            AddFile();
        }
        break;
    case TNotification::TKind::ListingFailed:
        CurrentFolder = notification.Path;
        ErrorCode = notification.Code;
        LogError();
        if (Listener) {
            Listener->ListingFailed(LogLine(CurrentFolder, ErrorCode));
        }
        break;
    }
}

void TWorkThread::ShowFolder() {
    if (StatusBarRef) {
        StatusBarRef->SetText(CurrentFolder);
    }
}

// A binary search for the lower bound: a new entry goes before every entry of the same time.
int TWorkThread::FindIndex(TDateTime x) const {
    return static_cast<int>(Files.LowerBound(x));
}

void TWorkThread::AddFile() {
    TFileItem& item = Files.InsertInOrder(TFileItem{CurrentFile, CurrentTime, 0, CurrentUtc});
    if (ListViewRef) {
        item.Item = ListViewRef->AddRow(CurrentFile, CurrentTime);
    }
    while (static_cast<std::int64_t>(Files.size()) > Limit) {
        if (ListViewRef) {
            const int index = ListViewRef->IndexOfRow(Files.front().Item);
            if (index >= 0) {
                ListViewRef->DeleteRow(index);
            }
        }
        Files.pop_front();
    }
    if (!Files.empty()) {
        After = Files.front().Time;
    }
}

void TWorkThread::AddDatedFile() {
    if (ListViewRef) {
        ListViewRef->AddRow(CurrentFile, CurrentTime);
    }
}

void TWorkThread::LogError() {
    if (!LogsFormRef && CreateProcessingLog) {
        LogsFormRef = CreateProcessingLog();
    }
    if (LogsFormRef) {
        LogsFormRef->AppendLine(LogLine(CurrentFolder, ErrorCode));
    }
}
