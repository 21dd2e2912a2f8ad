// The snapshot every scan keeps of its root, and the changed mode's rows: what differs from the
// snapshot the last completed scan kept.
#include "ui/main_form.h"

#include "scan/date_time.h"
#include "scan/local_time.h"
#include "scan/snapshot_session.h"
#include "scan/work_thread.h"
#include "toolkit/handoff.h"
#include "ui/logs_form.h"

void TMainForm::StartSnapshot(TWorkThread& job, bool compare) {
    comparing_ = compare;
    oldTold_ = false;
    snapshot_ = std::make_unique<TSnapshotSession>(job.Request(), std::wstring(), compare);
    if (snapshot_->Path().empty()) {
        // No folder to keep snapshots in: the other modes run as they would without them.
        snapshot_.reset();
        if (compare) {
            job.FilesAsRows = false;
            ScanSink->ListingFailed(L"There is no local application data folder to keep snapshots in: what "
                                    L"changed cannot be told.");
        }
        return;
    }
    job.Observer = snapshot_.get();
    job.FilesAsRows = !compare;
}

// The earlier snapshot is read beside the walk: what it says comes in once it is read. Gives the
// sentence naming a snapshot that could not be used, once.
std::wstring TMainForm::TellOld() {
    if (oldTold_ || !snapshot_->OldRead()) {
        return {};
    }
    oldTold_ = true;
    // Until now the counts are those of any scan: files seen.
    Counts.Comparing = comparing_;
    if (comparing_ && snapshot_->HasOld()) {
        SYSTEMTIME local{};
        TDateTime since = 0;
        if (TLocalTimeConverter().ToLocal(FileTimeOfTicks(snapshot_->Old().StartUtc), local)) {
            TryEncodeDateTime(local, since);
        }
        Counts.Since = DateTimeText(since, formats_);
        Counts.FiltersDiffer = snapshot_->FiltersDiffer();
    }
    return snapshot_->Problem();
}

void TMainForm::TakeChanges() {
    if (!snapshot_) {
        return;
    }
    if (const std::wstring problem = TellOld(); !problem.empty()) {
        ScanSink->ListingFailed(problem);
    }
    if (!comparing_) {
        return;
    }
    std::vector<TChange> taken;
    snapshot_->TakeNewChanges(taken);
    for (const TChange& change : taken) {
        Results->AddChange(WorkThread->Request().RootPath, change);
        // Only new and changed files come while the walk goes on.
        ++(change.Kind == TChangeKind::New ? Counts.Changes.New : Counts.Changes.Changed);
    }
}

void TMainForm::EndSnapshot(const TScanEnd& end, std::unique_ptr<TLogsForm>& log) {
    if (!snapshot_) {
        return;
    }
    // A root that is not there is no reason to forget what was in it: the earlier snapshot stays.
    const TScanOutcome outcome = end.RootMissing ? TScanOutcome::Stopped : end.Outcome;
    // Beside the window's messages: the earlier snapshot may still be being read, and the moves are
    // settled over all its files.
    bool written = true;
    RunBesideMessages([&] { written = snapshot_->End(outcome, end.StartUtc); });
    for (const std::wstring& line : {TellOld(), written ? std::wstring() : snapshot_->WriteError()}) {
        if (!line.empty()) {
            if (!log) {
                log = std::make_unique<TLogsForm>();
            }
            log->AppendLine(line);
        }
    }
    TakeChanges();
    if (comparing_ && snapshot_->HasOld()) {
        Counts.Changes = snapshot_->Counts();
        Counts.Settled = outcome == TScanOutcome::Done;
    }
    // The earlier snapshot's index is let go with it.
    snapshot_.reset();
}
