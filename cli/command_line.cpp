#include "cli/command_line.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "cli/arguments.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/row_pool.h"
#include "scan/last_scans.h"
#include "scan/listing.h"
#include "scan/snapshot_session.h"
#include "scan/sys_error.h"
#include "scan/work_thread.h"
#include "toolkit/error.h"
#include "toolkit/handoff.h"

namespace {

constexpr UINT StopMessage = WM_APP + 1;
// The exit code when the reader of standard output or error went away, as a shell gives for a
// program ended by SIGPIPE (128 + 13), beside 130 for Ctrl+C (128 + SIGINT).
constexpr int ReaderGoneExit = 141;
std::atomic<DWORD> scanThreadId{0};
std::atomic<int> interrupts{0};

// Runs on a thread of its own. The first Ctrl+C (or Ctrl+Break) stops the scan on the thread that
// owns it; a second one ends at once, for a listing that hangs on a dead share.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    if (interrupts.fetch_add(1) > 0) {
        ExitProcess(130);
    }
    PostThreadMessageW(scanThreadId, StopMessage, 0, 0);
    return TRUE;
}

// Standard error: the processing log's lines as they come, and on a console the progress line.
class TErrorStream {
  public:
    explicit TErrorStream(HANDLE handle) : out_(handle) {}

    bool Console() const { return out_.Console(); }
    // A write that failed (see TTextOutput): nothing more is written here.
    bool Failed() const { return out_.Failed(); }
    bool ReaderGone() const { return out_.ReaderGone(); }
    void Line(const std::wstring& text) {
        ClearProgress();
        out_.Write(text + L"\r\n");
        out_.Flush();
    }
    void Progress(std::int64_t folders, std::int64_t files, const std::wstring& folder) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        const int width = GetConsoleScreenBufferInfo(out_.Handle(), &info)
                              ? info.srWindow.Right - info.srWindow.Left + 1
                              : 80;
        std::wstring line = ProgressLine(folders, files, folder, width);
        const std::size_t length = line.size();
        // What is left of a longer line before is blanked.
        if (length < shown_) {
            line.append(shown_ - length, L' ');
        }
        out_.Write(L"\r" + line);
        out_.Flush();
        shown_ = length;
    }
    void ClearProgress() {
        if (shown_ > 0) {
            out_.Write(L"\r" + std::wstring(shown_, L' ') + L"\r");
            out_.Flush();
            shown_ = 0;
        }
    }

  private:
    TTextOutput out_;
    std::size_t shown_ = 0;
};

// The command line's side of a scan: the folder count and the folder for the progress line, the
// processing log's lines on standard error, and the rows, which must all be held until the scan
// ends to be written newest first.
class TCommandLineSink final : public IScanSink, public TRowPool {
  public:
    std::int64_t Folders = 0;
    std::wstring Folder;
    int FailedFolders = 0;
    std::optional<TScanEnd> End;

    explicit TCommandLineSink(TErrorStream& errors) : errors_(errors) {}
    void FolderEntered(const std::wstring& folder) override {
        ++Folders;
        Folder = folder;
    }
    void RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId> removed) override {
        Change(added, removed);
    }
    void ListingFailed(const std::wstring& line) override {
        errors_.Line(line);
        ++FailedFolders;
    }
    void Ended(const TScanEnd& end) override { End = end; }

  private:
    TErrorStream& errors_;
};

// what is the quoted path of a file, or "standard output".
std::wstring CannotWrite(const std::wstring& what, DWORD code) {
    return LogLine(L"quenwick: cannot write " + what, static_cast<int>(code));
}

// How a failed write ends the program: quietly when the reader went away (| head -1 done, | more
// quit), as console tools end then; otherwise (a full disk, a device error) with the system's
// reason on standard error while that still works, and 1.
int WriteFailure(const TTextOutput& out, const std::wstring& what, TErrorStream& errors) {
    if (out.ReaderGone()) {
        return ReaderGoneExit;
    }
    errors.Line(CannotWrite(what, out.Error()));
    return 1;
}

struct THandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

const char* ChangeWord(TChangeKind kind) {
    switch (kind) {
    case TChangeKind::New:
        return "new";
    case TChangeKind::Changed:
        return "changed";
    case TChangeKind::Deleted:
        return "deleted";
    case TChangeKind::Moved:
        break;
    }
    return "moved";
}

// "12 new, 3 changed, 2 deleted, 1 moved since 2026-12-08 14:02", and what was left out of it.
std::wstring ChangesLine(const TSnapshotSession& session, bool stopped) {
    const TChangeCounts counts = session.Counts();
    SYSTEMTIME local{};
    TLocalTimeConverter().ToLocal(FileTimeOfTicks(session.Old().StartUtc), local);
    wchar_t since[32];
    std::swprintf(since, 32, L"%04u-%02u-%02u %02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                  local.wMinute);
    std::wstring line = L"quenwick: " + std::to_wstring(counts.New) + L" new, " +
                        std::to_wstring(counts.Changed) + L" changed, " + std::to_wstring(counts.Deleted) +
                        L" deleted, " + std::to_wstring(counts.Moved) + L" moved since " + since;
    if (stopped) {
        line += L", so far: the scan was stopped and its snapshot is not kept";
    }
    if (counts.NotSeen > 0) {
        line += L"; " + std::to_wstring(counts.NotSeen) +
                L" files not seen, in folders not read or left out by the filters";
    }
    if (counts.NotSeenBefore > 0) {
        line += L"; " + std::to_wstring(counts.NotSeenBefore) +
                L" files not compared, where the earlier scan did not look";
    }
    if (session.FiltersDiffer()) {
        line += L"; the filters differ from the earlier scan's: only what both covered is compared";
    }
    return line + L".";
}

void WriteChanges(const TCommandLine& request, const std::wstring& root, const TSnapshotSession& session,
                  TTextOutput& out, TErrorStream& errors, bool& failed) {
    // Newest first by last write, a deleted file by its last known one, as the other modes sort.
    std::vector<const TChange*> changes;
    for (const TChange& change : session.Changes()) {
        changes.push_back(&change);
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const TChange* a, const TChange* b) { return a->LastWriteUtc > b->LastWriteUtc; });
    TLocalTimeConverter zone;
    std::string line, held, oldHeld;
    for (const TChange* change : changes) {
        if (out.Failed() || errors.Failed()) {
            break;
        }
        held.clear();
        oldHeld.clear();
        AppendUtf8(root, held, true);
        AppendUtf8(change->Path, held, true);
        const bool hasOld = change->Kind != TChangeKind::New;
        if (hasOld) {
            AppendUtf8(root, oldHeld, true);
            AppendUtf8(change->OldPath, oldHeld, true);
        }
        SYSTEMTIME local{};
        TDateTime time = 0;
        if (zone.ToLocal(FileTimeOfTicks(change->LastWriteUtc), local)) {
            TryEncodeDateTime(local, time);
        }
        const TChangeColumns columns{ChangeWord(change->Kind), hasOld, oldHeld, change->OldSize,
                                     change->OldLastWriteUtc};
        line.clear();
        if (!AppendFile(request.Format, held, time, change->LastWriteUtc, change->Size, out.Console(), line,
                        &columns)) {
            errors.Line(L"quenwick: UTF-8 cannot hold the name " + Quoted(Wide(held, true)) +
                        L"; it is written with U+FFFD in place of each lone surrogate.");
            failed = true;
        }
        out.WriteUtf8(line);
    }
}

// Runs the job to its end on this thread, serving its hand-off, and writes what it found.
int Scan(const TCommandLine& request, TWorkThread& job, TTextOutput& out, TErrorStream& errors,
         TSnapshotSession* session) {
    CreateHandOffWindow(true);
    // The queue exists before Ctrl+C can post to it.
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    scanThreadId = GetCurrentThreadId();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    TCommandLineSink sink(errors);
    job.ReportTo(sink);

    const UINT_PTR timer = errors.Console() ? SetTimer(nullptr, 0, 100, nullptr) : 0;
    job.Resume();
    while (!sink.End && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!message.hwnd && message.message == StopMessage) {
            job.Terminate();
        } else if (!message.hwnd && message.message == WM_TIMER) {
            errors.Progress(sink.Folders, job.Counts().FileCount, sink.Folder);
        } else {
            DispatchMessageW(&message);
        }
        // A log line or progress line that cannot be written ends the scan as Ctrl+C does: its
        // report would be cut without a word.
        if (errors.Failed() && !job.Terminated()) {
            job.Terminate();
        }
    }
    if (timer) {
        KillTimer(nullptr, timer);
    }
    errors.ClearProgress();
    job.WaitFor();
    if (errors.Failed()) {
        // No rows either: those of a scan cut short would pass for all of them.
        return errors.ReaderGone() ? ReaderGoneExit : 1;
    }
    bool failed = sink.FailedFolders > 0;
    if (sink.End && sink.End->Outcome == TScanOutcome::Done) {
        // A scan that ran to its end, also past folders it could not list, is the next --since last.
        RememberScanStart(job.Request().RootPath, sink.End->StartUtc);
    }
    if (sink.End && sink.End->Outcome == TScanOutcome::Failed) {
        errors.Line(L"quenwick: the scan failed: " + sink.End->Failure);
        failed = true;
    }
    const TScanOutcome outcome = sink.End ? sink.End->Outcome : TScanOutcome::Failed;
    const bool written = !session || session->End(outcome, sink.End ? sink.End->StartUtc : 0);
    // Read beside the walk: what was wrong with the earlier snapshot is known by now.
    if (session && !session->Problem().empty()) {
        errors.Line(L"quenwick: " + session->Problem());
    }
    if (!written) {
        // Of a scan asked for its rows the rows are whole; of --changed, the snapshot is what was asked.
        errors.Line(L"quenwick: " + session->WriteError());
        failed = failed || request.Changed;
    }

    // Newest first by instant; of equal ones, the row added first, as the window's stable sort
    // leaves them.
    std::string line;
    const auto write = [&](const TCommandLineSink::TRow& row) {
        line.clear();
        const std::string_view path = sink.Path(row);
        // A wrong name is never passed off as the file's.
        if (!AppendFile(request.Format, path, row.Time, row.Utc, row.Size, out.Console(), line)) {
            errors.Line(L"quenwick: UTF-8 cannot hold the name " + Quoted(Wide(path, true)) +
                        L"; it is written with U+FFFD in place of each lone surrogate.");
            failed = true;
        }
        out.WriteUtf8(line);
    };
    AppendFileStart(request.Format, line, request.Changed);
    out.WriteUtf8(line);
    if (session && request.Changed) {
        WriteChanges(request, job.Request().RootPath, *session, out, errors, failed);
        if (!session->HasOld() && outcome == TScanOutcome::Done && session->WriteError().empty()) {
            errors.Line(L"quenwick: no earlier snapshot of this folder and these filters; this scan is kept "
                        L"for the next --changed.");
        } else if (session->HasOld() && outcome != TScanOutcome::Failed) {
            errors.Line(ChangesLine(*session, outcome == TScanOutcome::Stopped));
        }
    }
    sink.DropRemoved();
    std::stable_sort(
        sink.Rows.begin(), sink.Rows.end(),
        [](const TCommandLineSink::TRow& a, const TCommandLineSink::TRow& b) { return a.Utc > b.Utc; });
    for (const TCommandLineSink::TRow& row : sink.Rows) {
        if (out.Failed() || errors.Failed()) {
            break;
        }
        write(row);
    }
    if (!out.Flush()) {
        const std::wstring what = request.OutPath.empty() ? L"standard output" : Quoted(request.OutPath);
        return WriteFailure(out, what, errors);
    }
    if (errors.Failed()) {
        return errors.ReaderGone() ? ReaderGoneExit : 1;
    }
    if (interrupts.load() > 0) {
        return 130;
    }
    return failed ? 1 : 0;
}

int RunRequest(const std::vector<std::wstring>& arguments, TErrorStream& errors) {
    TCommandLine request;
    std::wstring error;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (!ParseArguments(arguments, now, request, error)) {
        errors.Line(error);
        return 2;
    }
    if (request.Action != TCommandLine::TAction::Scan) {
        TTextOutput out(GetStdHandle(STD_OUTPUT_HANDLE));
        out.Write(request.Action == TCommandLine::TAction::Help
                      ? HelpText()
                      : std::wstring(L"Quenwick " QUENWICK_VERSION L"\r\n"));
        return out.Flush() ? 0 : WriteFailure(out, L"standard output", errors);
    }
    // The root as the scan will take it names the last scan; none is said after a folder that is not
    // there, which says more.
    bool noLastScan = false;
    if (request.SinceLast) {
        const std::optional<std::int64_t> start = LastScanStart(RootPathFromText(request.Scan.RootPath));
        noLastScan = !start;
        request.Scan.AfterUtc = start.value_or(0);
    }
    // The job checks the request, so that a pattern that can never match is refused before an
    // --out file is made. A folder that is not there is a mistake in the arguments too, not a
    // folder that failed to list.
    TWorkThread job;
    if (std::wstring fault; !job.TakeRequest(request.Scan, fault)) {
        errors.Line(L"quenwick: " + fault);
        return 2;
    }
    // Named as typed: "C:\data", but "C:\" and "\\?\Volume{...}\", which without it would be the
    // drive's current folder and the volume itself.
    std::wstring root = job.Request().RootPath;
    const bool volumeRoot = root.starts_with(L"\\\\?\\") && root.find(L'\\', 4) == root.size() - 1;
    if (root.size() > 3 && root.back() == L'\\' && !volumeRoot) {
        root.pop_back();
    }
    if (const std::wstring fault = RootFault(job.Request().RootPath); !fault.empty()) {
        errors.Line(L"quenwick: " + Quoted(root) + L" " + fault + L".");
        return 2;
    }
    if (noLastScan) {
        errors.Line(L"quenwick: --since last needs a completed scan of " + Quoted(root) +
                    L"; none is remembered.");
        return 2;
    }
    std::unique_ptr<void, THandleCloser> file;
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!request.OutPath.empty()) {
        // Opened before the scan: a file that cannot be written is known before any time is spent.
        // Through \\?\, so that a path past 260 characters works whether or not the machine allows
        // long paths.
        handle = CreateFileW(SystemPath(FullPath(request.OutPath)).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            errors.Line(CannotWrite(Quoted(request.OutPath), GetLastError()));
            return 2;
        }
        file.reset(handle);
    }
    TTextOutput out(handle);
    std::unique_ptr<TSnapshotSession> session;
    if (request.Changed) {
        session = std::make_unique<TSnapshotSession>(
            job.Request(), request.Baseline.empty() ? std::wstring() : FullPath(request.Baseline));
        if (session->Path().empty()) {
            errors.Line(L"quenwick: there is no local application data folder to keep snapshots in; use "
                        L"--baseline FILE.");
            return 2;
        }
        // Every file goes to the comparison; none becomes a row.
        job.Observer = session.get();
        job.FilesAsRows = false;
    } else {
        // Every scan that runs to its end is kept, as the window keeps it: the next --changed, here or
        // there, compares with it. Without a folder to keep it in, the scan runs as it would.
        session = std::make_unique<TSnapshotSession>(job.Request(), std::wstring(), false);
        if (session->Path().empty()) {
            session.reset();
        } else {
            job.Observer = session.get();
        }
    }
    return Scan(request, job, out, errors, session.get());
}

} // namespace

int RunCommandLine(const std::vector<std::wstring>& arguments) {
    TErrorStream errors(GetStdHandle(STD_ERROR_HANDLE));
    try {
        return RunRequest(arguments, errors);
    } catch (...) {
        // Out of memory or out of window resources: said in one line, never as a crash.
        errors.Line(L"quenwick: " + ExceptionMessage(std::current_exception()));
        return 1;
    }
}

void UseParentConsole() {
    const auto given = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
    };
    const bool output = given(STD_OUTPUT_HANDLE), error = given(STD_ERROR_HANDLE);
    if ((output && error) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    const HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        return;
    }
    if (!output) {
        SetStdHandle(STD_OUTPUT_HANDLE, console);
    }
    if (!error) {
        SetStdHandle(STD_ERROR_HANDLE, console);
    }
}

std::wstring ArgumentsText(const wchar_t* commandLine) {
    // The program's name ends at its closing quote, or else at the first blank: no escapes apply.
    const wchar_t* at = commandLine;
    if (*at == L'"') {
        ++at;
        while (*at && *at != L'"') {
            ++at;
        }
        if (*at) {
            ++at;
        }
    } else {
        while (*at && *at != L' ' && *at != L'\t') {
            ++at;
        }
    }
    while (*at == L' ' || *at == L'\t') {
        ++at;
    }
    return at;
}
