#include "cli/command_line.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "cli/arguments.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "scan/listing.h"
#include "scan/sys_error.h"
#include "scan/work_thread.h"
#include "toolkit/error.h"
#include "toolkit/handoff.h"

namespace {

constexpr UINT StopMessage = WM_APP + 1;
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
    void Line(const std::wstring& text) {
        ClearProgress();
        out_.Write(text + L"\r\n");
        out_.Flush();
    }
    void Progress(std::int64_t folders, std::int64_t files, const std::wstring& folder) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        const int width =
            GetConsoleScreenBufferInfo(out_.Handle(), &info) ? info.srWindow.Right - info.srWindow.Left + 1 : 80;
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

class TFolderCount final : public IStatusLine {
  public:
    std::int64_t Folders = 0;
    std::wstring Folder;
    void SetText(const std::wstring& text) override {
        ++Folders;
        Folder = text;
    }
};

class TErrorLog final : public IProcessingLog {
  public:
    TErrorLog(TErrorStream& errors, int& lines) : errors_(errors), lines_(lines) {}
    void AppendLine(const std::wstring& line) override {
        errors_.Line(line);
        ++lines_;
    }

  private:
    TErrorStream& errors_;
    int& lines_;
};

// The date mode's rows, in the order the ranking adds them: in this mode it never looks a row up
// or deletes one. Every line must be held until the scan ends to be written newest first, so a row
// is its time and its path in UTF-8 in one shared pool: about 60 bytes a file, where a string of
// its own took twice as much.
class TDatedRows final : public IResultsList {
  public:
    struct TRow {
        TDateTime Time;
        std::uint64_t Offset; // a pool of many millions of paths passes 4 GB
        std::uint32_t Length;
    };
    std::vector<TRow> Rows;

    TRowId AddRow(const std::wstring& caption, const std::wstring&, TDateTime time) override {
        // Converted in a buffer of its own: converting in the pool would make it grow by three times
        // the path's length at its end, and so double its capacity early.
        path_.clear();
        AppendUtf8(caption, path_);
        Rows.push_back({time, pool_.size(), static_cast<std::uint32_t>(path_.size())});
        pool_.append(path_);
        return 0;
    }
    int IndexOfRow(TRowId) const override { return -1; }
    void DeleteRow(int index) override { Rows.erase(Rows.begin() + index); }
    void Clear() override {
        Rows.clear();
        pool_.clear();
    }
    std::string_view Path(const TRow& row) const { return std::string_view(pool_).substr(row.Offset, row.Length); }

  private:
    std::string pool_;
    std::string path_;
};

bool EndsWithCsv(const std::wstring& path) {
    return path.size() >= 4 &&
           CompareStringOrdinal(path.c_str() + path.size() - 4, 4, L".csv", 4, TRUE) == CSTR_EQUAL;
}

std::wstring CannotWrite(const std::wstring& path, DWORD code) {
    return LogLine(L"quenwick: cannot write " + Quoted(path), static_cast<int>(code));
}

struct THandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

// Runs the job to its end on this thread, serving its hand-off, and writes what it found.
int Scan(const TScanRequest& request, TTextOutput& out, bool csv, TErrorStream& errors) {
    CreateHandOffWindow(true);
    // The queue exists before Ctrl+C can post to it.
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    scanThreadId = GetCurrentThreadId();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    TFolderCount folders;
    TDatedRows dated;
    int failedFolders = 0;
    bool ended = false;
    auto job = std::make_unique<TWorkThread>();
    job->RootPath = FullFolderPath(request.Folder);
    job->Recursive = request.Recursive;
    job->ByDate = request.ByDate ? 1 : 0;
    job->Limit = request.ByDate ? 0 : request.Newest;
    job->After = request.ByDate ? request.After : 0;
    job->StatusBarRef = &folders;
    // In the number mode the ranking itself holds the N newest and nothing else grows: it needs no
    // results list.
    job->ListViewRef = request.ByDate ? &dated : nullptr;
    job->CreateProcessingLog = [&] { return std::make_unique<TErrorLog>(errors, failedFolders); };
    job->OnTerminate = [&](TThread&) { ended = true; };

    const UINT_PTR timer = errors.Console() ? SetTimer(nullptr, 0, 100, nullptr) : 0;
    job->Resume();
    while (!ended && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!message.hwnd && message.message == StopMessage) {
            job->Terminate();
        } else if (!message.hwnd && message.message == WM_TIMER) {
            // The walk counts through an atomic view; a count read while it moves is good enough
            // for a progress line.
            const std::int64_t files =
                std::atomic_ref<std::int64_t>(job->FileCount).load(std::memory_order_relaxed);
            errors.Progress(folders.Folders, files, folders.Folder);
        } else {
            DispatchMessageW(&message);
        }
    }
    if (timer) {
        KillTimer(nullptr, timer);
    }
    errors.ClearProgress();
    job->WaitFor();
    bool failed = failedFolders > 0;
    if (job->FatalException) {
        errors.Line(L"quenwick: the scan failed: " + ExceptionMessage(job->FatalException));
        failed = true;
    }

    // Newest first; of equal times, the row added first, as the window's stable sort leaves them.
    std::string line;
    const auto write = [&](std::string_view path, TDateTime time) {
        line.clear();
        if (csv) {
            AppendCsvField(path, line);
            line += ',';
        } else {
            line.append(path).append(1, '\t');
        }
        AppendIsoText(time, line);
        line.append("\r\n");
        out.WriteUtf8(line);
    };
    if (csv) {
        out.Write(L"\uFEFFFile,Date/Time\r\n");
    }
    if (request.ByDate) {
        std::stable_sort(
            dated.Rows.begin(), dated.Rows.end(),
            [](const TDatedRows::TRow& a, const TDatedRows::TRow& b) { return a.Time > b.Time; });
        for (const TDatedRows::TRow& row : dated.Rows) {
            write(dated.Path(row), row.Time);
        }
    } else {
        // The ranking is oldest first, and of equal times the one added later stands first: read
        // backwards, that is the window's order.
        std::vector<const TFileItem*> held;
        held.reserve(job->Files.size());
        for (const TFileItem& item : job->Files) {
            held.push_back(&item);
        }
        for (auto item = held.rbegin(); item != held.rend(); ++item) {
            write(Utf8((*item)->Name), (*item)->Time);
        }
    }
    if (!out.Flush() && !request.OutPath.empty()) {
        errors.Line(CannotWrite(request.OutPath, out.Error()));
        failed = true;
    }
    if (interrupts.load() > 0) {
        return 130;
    }
    return failed ? 1 : 0;
}

int RunRequest(const std::vector<std::wstring>& arguments, TErrorStream& errors) {
    TScanRequest request;
    std::wstring error;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (!ParseArguments(arguments, now, request, error)) {
        errors.Line(error);
        return 2;
    }
    if (request.Action != TScanRequest::TAction::Scan) {
        TTextOutput out(GetStdHandle(STD_OUTPUT_HANDLE));
        out.Write(request.Action == TScanRequest::TAction::Help
                      ? HelpText()
                      : std::wstring(L"Quenwick " QUENWICK_VERSION L"\r\n"));
        return 0;
    }
    std::unique_ptr<void, THandleCloser> file;
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!request.OutPath.empty()) {
        // Opened before the scan: a file that cannot be written is known before any time is spent.
        handle = CreateFileW(request.OutPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            errors.Line(CannotWrite(request.OutPath, GetLastError()));
            return 2;
        }
        file.reset(handle);
    }
    TTextOutput out(handle);
    return Scan(request, out, !request.OutPath.empty() && EndsWithCsv(request.OutPath), errors);
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
