// The main window's side of a scan: Start, Pause and Stop, the close question, the completion report.
#include "ui/main_form.h"

#include <algorithm>
#include <atomic>

#include "scan/work_thread.h"
#include "toolkit/application.h"
#include "toolkit/handoff.h"
#include "toolkit/message_box.h"
#include "ui/logs_form.h"
#include "ui/search_rules.h"

namespace {

// The running time is read off a clock that no change of the date, the time or daylight saving
// moves. Elapsed keeps its meaning, in days: the shifted start while running, the time so far while
// paused.
TDateTime RunningClock() { return static_cast<double>(SteadyMilliseconds()) / 86'400'000.0; }

TDateTime PickerValue(const TDateTimePicker& picker) {
    TDateTime value = 0;
    TryEncodeDateTime(picker.DateTime(), value);
    return value;
}

} // namespace

void TStatusBarLine::SetText(const std::wstring& text) {
    if (!*pending_) {
        Later([&bar = bar_, weak = std::weak_ptr(pending_)] {
            const auto pending = weak.lock();
            if (pending && *pending) {
                bar.SetText(**pending);
                pending->reset();
            }
        });
    }
    *pending_ = text;
}

void TMainForm::ConnectSearchControl() {
    StatusLine = std::make_unique<TStatusBarLine>(StatusBar);
    ShowProcessingLog = [this](TLogsForm& log) { log.ShowModalOver(Handle()); };
    StartAction.OnUpdate = [this] { StartActionUpdate(); };
    StartAction.OnExecute = [this] { StartActionExecute(); };
    PauseAction.OnUpdate = [this] { PauseActionUpdate(); };
    PauseAction.OnExecute = [this] { PauseActionExecute(); };
    StopAction.OnUpdate = [this] { StopActionUpdate(); };
    StopAction.OnExecute = [this] { StopActionExecute(); };
    OnCloseQuery = [this] { return FormCloseQuery(); };
}

bool TMainForm::JobPaused() const { return WorkThread && WorkThread->Suspended(); }

static TJobState JobState(const TWorkThread* job) {
    if (!job) {
        return TJobState::None;
    }
    return job->Suspended() ? TJobState::Paused : TJobState::Running;
}

void TMainForm::StartActionUpdate() { StartAction.SetEnabled(StartEnabled(PathEdit.Text(), JobState(WorkThread))); }

void TMainForm::PauseActionUpdate() { PauseAction.SetEnabled(PauseEnabled(JobState(WorkThread))); }

void TMainForm::StopActionUpdate() { StopAction.SetEnabled(StopEnabled(JobState(WorkThread))); }

void TMainForm::StartActionExecute() {
    if (!WorkThread) {
        TScanRequest request;
        request.Root = PathEdit.Text();
        request.Recursive = RecurseBox.Checked();
        request.ByDate = !NumberRadioButton.Checked();
        if (request.ByDate) {
            request.After = ThresholdFromPickers(PickerValue(LatestDate), PickerValue(LatestTime));
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
        job->StatusBarRef = StatusLine.get();
        job->ListViewRef = Results.get();
        job->BatchApplied = [this] { ShowCounts(false); };
        Counts = {};
        Counts.NameMasks = HasPatterns(request.NameMasks);
        Counts.SkipPatterns = HasPatterns(request.SkipFolders);
        job->CreateProcessingLog = [] { return std::make_unique<TLogsForm>(); };
        if (PrepareJob) {
            PrepareJob(*job);
        }
        Results->Clear();
        // From here the job owns itself: it frees itself when its thread ends.
        job->FreeOnTerminate = true;
        job->OnTerminate = [this](TThread&) { WorkThreadTerminate(); };
        WorkThread = job.release();
    }
    ResumeJob();
}

void TMainForm::ResumeJob() {
    WorkThread->Elapsed = RunningClock() - WorkThread->Elapsed;
    WorkThread->Resume();
    ShowCounts(true);
}

void TMainForm::PauseActionExecute() {
    WorkThread->Suspend();
    WorkThread->Elapsed = RunningClock() - WorkThread->Elapsed;
    ShowCounts(true);
}

// The end of the scan answers a question still open with No (WorkThreadTerminate).
bool TMainForm::AskStop() {
    askingStop_ = true;
    const int answer = ShowMessageBox(L"Stop processing?", L"Confirm", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1);
    askingStop_ = false;
    return answer == IDYES;
}

// Read while the walk goes on: the counts through atomic views, as the walk writes them.
void TMainForm::ShowCounts(bool now) {
    const unsigned long long tick = SteadyMilliseconds();
    if (!now && tick - countsShown_ < 500) {
        return;
    }
    countsShown_ = tick;
    if (WorkThread) {
        Counts.Files = std::atomic_ref<std::int64_t>(WorkThread->FileCount).load(std::memory_order_relaxed);
        Counts.NamesTaken = std::atomic_ref<std::int64_t>(WorkThread->NamesTaken).load(std::memory_order_relaxed);
        Counts.FoldersSkipped = std::atomic_ref<std::int64_t>(WorkThread->FoldersSkipped).load(std::memory_order_relaxed);
        Counts.Paused = WorkThread->Suspended();
    }
    Counts.Rows = Results->RowCount();
    StatusBar.SetPartText(1, CountsText(Counts, formats_));
}

void TMainForm::StopActionExecute() {
    if (!AskStop() || !WorkThread) {
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
    if (!AskStop()) {
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

void TMainForm::WorkThreadTerminate() {
    if (askingStop_) {
        EndMessageBox(IDNO);
    }
    TWorkThread& job = *WorkThread;
    const TDateTime runningTime = job.Suspended() ? job.Elapsed : RunningClock() - job.Elapsed;
    const bool failed = job.FatalException != nullptr;
    StatusLine->Discard();
    StatusBar.SetText(CompletionText(job.FileCount, runningTime, UserFormatSettings(), failed));
    // Why it stopped, in the words any other failure gets; the rows found so far stay.
    if (failed) {
        Application.ShowException(job.FatalException);
    }
    if (std::unique_ptr<IProcessingLog> log = std::move(job.LogsFormRef)) {
        ShowProcessingLog(static_cast<TLogsForm&>(*log));
    }
    Counts.Files = job.FileCount;
    Counts.NamesTaken = job.NamesTaken;
    Counts.FoldersSkipped = job.FoldersSkipped;
    Counts.Paused = false;
    WorkThread = nullptr;
    Results->SortByTime();
    ShowCounts(true);
    // The buttons follow the end at once, not at the next idle moment.
    UpdateActions();
}
