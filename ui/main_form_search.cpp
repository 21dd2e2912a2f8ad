// The main window's side of a scan: Start, Pause and Stop, the close question, the completion report.
#include "ui/main_form.h"

#include <algorithm>

#include "scan/work_thread.h"
#include "toolkit/application.h"
#include "toolkit/error.h"
#include "toolkit/handoff.h"
#include "toolkit/message_box.h"
#include "ui/logs_form.h"
#include "ui/search_rules.h"

namespace {

// The running time is read off a clock that no change of the date, the time or daylight saving
// moves, in days.
TDateTime RunningClock() {
    return static_cast<double>(SteadyMilliseconds()) / 86'400'000.0;
}

TDateTime PickerValue(const TDateTimePicker& picker) {
    TDateTime value = 0;
    TryEncodeDateTime(picker.DateTime(), value);
    return value;
}

// What the walk counted, into the status bar's figures.
void TakeCounts(TScanCounts& shown, const TFileCounts& counted) {
    shown.Files = counted.FileCount;
    shown.NamesTaken = counted.NamesTaken;
    shown.FoldersSkipped = counted.FoldersSkipped;
}

} // namespace

void TMainForm::ConnectSearchControl() {
    ScanSink = std::make_unique<TWindowSink>(*Results, StatusBar);
    ScanSink->OnChange = [this] {
        TakeChanges();
        ShowCounts(false);
    };
    ScanSink->OnEnd = [this](const TScanEnd& end, std::unique_ptr<TLogsForm> log) {
        ScanEnded(end, std::move(log));
    };
    ShowProcessingLog = [this](TLogsForm& log) { log.ShowModalOver(Handle()); };
    StartAction.OnUpdate = [this] { StartActionUpdate(); };
    StartAction.OnExecute = [this] { StartActionExecute(); };
    PauseAction.OnUpdate = [this] { PauseActionUpdate(); };
    PauseAction.OnExecute = [this] { PauseActionExecute(); };
    StopAction.OnUpdate = [this] { StopActionUpdate(); };
    StopAction.OnExecute = [this] { StopActionExecute(); };
    OnCloseQuery = [this] { return FormCloseQuery(); };
}

bool TMainForm::JobPaused() const {
    return WorkThread && WorkThread->Suspended();
}

static TJobState JobState(const TWorkThread* job) {
    if (!job) {
        return TJobState::None;
    }
    return job->Suspended() ? TJobState::Paused : TJobState::Running;
}

void TMainForm::StartActionUpdate() {
    StartAction.SetEnabled(StartEnabled(PathEdit.Text(), JobState(WorkThread)));
}

void TMainForm::PauseActionUpdate() {
    PauseAction.SetEnabled(PauseEnabled(JobState(WorkThread)));
}

void TMainForm::StopActionUpdate() {
    StopAction.SetEnabled(StopEnabled(JobState(WorkThread)));
}

void TMainForm::StartActionExecute() {
    if (!WorkThread) {
        TScanRequest request;
        request.RootPath = PathEdit.Text();
        request.Recursive = RecurseBox.Checked();
        // The changed mode takes every file to the comparison; none is a row by its time.
        const bool changed = ChangedRadioButton.Checked();
        request.ByDate = !NumberRadioButton.Checked();
        if (request.ByDate) {
            request.After = PickedMoment();
            if (chosenMoment_ && chosenMoment_->Shown == request.After) {
                request.AfterUtc = chosenMoment_->Utc;
            }
        } else {
            request.Newest = CommitNumber();
        }
        request.SkipFolders = SkipEdit.Text();
        request.NameMasks = NamesEdit.Text();
        request.Time = static_cast<TTimeKind>(std::clamp(TimeBox.SelectedIndex(), 0, 2));
        auto job = std::make_unique<TWorkThread>();
        std::wstring fault;
        if (!job->TakeRequest(request, fault)) {
            // Said before anything starts, with the box that holds the pattern ready to mend it.
            ShowMessageBox(fault, Application.Title(), MB_OK | MB_ICONERROR);
            std::wstring unused;
            (TScanFilters().Set(L"", request.NameMasks, unused) ? SkipEdit : NamesEdit).SetFocus();
            return;
        }
        job->ReportTo(*ScanSink);
        Counts = {};
        Counts.NameMasks = HasPatterns(request.NameMasks);
        Counts.SkipPatterns = HasPatterns(request.SkipFolders);
        maskHint_ = MaskHint(request.NameMasks);
        if (PrepareJob) {
            PrepareJob(*job);
        }
        Results->Clear();
        Results->ShowChangeColumn(changed);
        StartSnapshot(*job, changed);
        Elapsed = 0;
        // From here the job owns itself: it frees itself when its thread ends.
        job->FreeOnTerminate = true;
        WorkThread = job.release();
    }
    ResumeJob();
}

TDateTime TMainForm::PickedMoment() const {
    return ThresholdFromPickers(PickerValue(LatestDate), PickerValue(LatestTime));
}

void TMainForm::ResumeJob() {
    Elapsed = RunningClock() - Elapsed;
    WorkThread->Resume();
    ShowCounts(true);
}

void TMainForm::PauseActionExecute() {
    WorkThread->Suspend();
    Elapsed = RunningClock() - Elapsed;
    ShowCounts(true);
}

// The end of the scan answers a question still open: Stop's with No, there being nothing left to
// stop; Close's with Yes, for the user asked to close the window.
bool TMainForm::AskStop(TStopQuestion why) {
    askingStop_ = why;
    const int answer =
        ShowMessageBox(L"Stop processing?", L"Confirm", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1);
    askingStop_ = TStopQuestion::None;
    return answer == IDYES;
}

// Read while the walk goes on.
void TMainForm::ShowCounts(bool now) {
    const unsigned long long tick = SteadyMilliseconds();
    if (!now && tick - countsShown_ < 500) {
        return;
    }
    countsShown_ = tick;
    if (WorkThread) {
        TakeCounts(Counts, WorkThread->Counts());
        Counts.Paused = WorkThread->Suspended();
    }
    Counts.Rows = Results->RowCount();
    TakeSelection();
    ShowCountsText();
}

void TMainForm::ShowCountsText() {
    const std::wstring text = CountsText(Counts, formats_);
    StatusBar.SetPartText(1, text);
    // A text longer than the usual part widens it, and the part is made usual again after.
    const int wanted = CountsWidth(text);
    if (wanted != countsWidth_ && std::max(wanted, countsWidth_) > UsualCountsWidth()) {
        LayoutStatusBar();
    }
}

void TMainForm::StopActionExecute() {
    if (!AskStop(TStopQuestion::ForStop) || !WorkThread) {
        return;
    }
    if (WorkThread->Suspended()) {
        ResumeJob();
    }
    WorkThread->Terminate();
}

bool TMainForm::FormCloseQuery() {
    if (!WorkThread) {
        return true;
    }
    if (!AskStop(TStopQuestion::ForClose)) {
        return false;
    }
    // The job may have ended while the question was open.
    if (WorkThread) {
        if (WorkThread->Suspended()) {
            ResumeJob();
        }
        WorkThread->Terminate();
    }
    return true;
}

void TMainForm::ScanEnded(const TScanEnd& end, std::unique_ptr<TLogsForm> log) {
    if (askingStop_ != TStopQuestion::None) {
        EndMessageBox(askingStop_ == TStopQuestion::ForClose ? IDYES : IDNO);
    }
    const TDateTime runningTime = WorkThread->Suspended() ? Elapsed : RunningClock() - Elapsed;
    const bool failed = end.Outcome == TScanOutcome::Failed;
    StatusBar.SetText(CompletionText(end.Counts.FileCount, runningTime, UserFormatSettings(), failed));
    // The final counts, and what the sentence beside them cannot say, stand before any box opens.
    TakeCounts(Counts, end.Counts);
    EndSnapshot(end, log);
    Counts.Paused = false;
    Counts.Stopped = end.Outcome == TScanOutcome::Stopped;
    // A scan that ran to its end is what "since the last scan" means, here and in the console.
    if (end.Outcome == TScanOutcome::Done && !end.RootMissing) {
        RememberScanStart(WorkThread->Request().RootPath, end.StartUtc);
    }
    Counts.RootMissing = end.RootMissing;
    Counts.MaskHint = maskHint_;
    Counts.Rows = Results->RowCount();
    TakeSelection();
    ShowCountsText();
    // Why it stopped, in the words any other failure gets; the rows found so far stay.
    if (failed) {
        ShowMessageBox(ErrorReportText(end.Failure), Application.Title(), MB_OK | MB_ICONERROR);
    }
    if (log) {
        ShowProcessingLog(*log);
    }
    WorkThread = nullptr;
    Results->SortByTime();
    // The buttons follow the end at once, not at the next idle moment.
    UpdateActions();
}
