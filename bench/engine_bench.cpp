// The engine alone: the real scan thread and the real hand-off, reporting to sinks that do nothing.
// --listers K lists ahead with K threads (0: the walk lists every folder itself); --share walks the
// simulated network share instead of ROOT; --generated walks the ten million files of
// generated_listing.h; --store fills the results list's own row store instead of sinks that do
// nothing; --skip, --name and --time as on the command line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "scan/work_thread.h"
#include "generated_listing.h"
#include "share_listing.h"
#include "toolkit/handoff.h"
#include "ui/row_store.h"

namespace {

class TNullSinks final : public IStatusLine, public IResultsList {
  public:
    long long Added = 0;
    void SetText(const std::wstring&) override {}
    TRowId AddRow(const std::wstring&, TDateTime) override {
        return static_cast<TRowId>(++Added);
    }
    int IndexOfRow(TRowId) const override { return -1; }
    void DeleteRow(int) override {}
    void Clear() override {}
};

// The rows as the window keeps them, without the window.
class TStoreSink final : public IResultsList {
  public:
    TRowStore Store;
    TRowId AddRow(const std::wstring& caption, TDateTime time) override { return Store.Append(caption, time); }
    int IndexOfRow(TRowId row) const override { return Store.IndexOf(row); }
    void DeleteRow(int index) override { Store.Erase(index); }
    void Clear() override { Store.Clear(); }
};

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: bench_engine ROOT\\ number N | date UNIX_SECONDS [--listers K] [--share]\n");
        return 2;
    }
    const std::wstring mode = argv[2];
    const long long value = std::wcstoll(argv[3], nullptr, 10);
    int listers = -1;
    bool share = false, generated = false, store = false;
    std::wstring skip, names, time;
    for (int i = 4; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--listers" && i + 1 < argc) {
            listers = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        } else if (option == L"--share") {
            share = true;
        } else if (option == L"--generated") {
            generated = true;
        } else if (option == L"--store") {
            store = true;
        } else if (option == L"--skip" && i + 1 < argc) {
            skip = argv[++i];
        } else if (option == L"--name" && i + 1 < argc) {
            names = argv[++i];
        } else if (option == L"--time" && i + 1 < argc) {
            time = argv[++i];
        }
    }
    CreateHandOffWindow();

    TNullSinks sinks;
    bool ended = false;
    double endTime = 0;
    long long fileCount = 0;
    std::size_t peakFolders = 0, peakEntries = 0;
    auto* job = new TWorkThread;
    job->FreeOnTerminate = true;
    job->OnTerminate = [&](TThread& sender) {
        endTime = Seconds();
        const auto& done = static_cast<TWorkThread&>(sender);
        fileCount = done.FileCount;
        peakFolders = done.PeakFoldersAhead;
        peakEntries = done.PeakEntriesAhead;
        ended = true;
    };
    job->RootPath = argv[1];
    job->Recursive = true;
    if (mode == L"date") {
        job->ByDate = 1;
        job->After = LocalValueOfUnixTime(value);
    } else {
        job->Limit = static_cast<std::int32_t>(value);
    }
    if (listers >= 0) {
        job->ListerCount = static_cast<unsigned>(listers);
    }
    if (share) {
        job->Listing = std::make_unique<TShareListing>(job->RootPath);
    } else if (generated) {
        job->Listing = std::make_unique<TGeneratedListing>(job->RootPath);
    }
    std::wstring fault;
    if (!job->Filters.Set(skip, names, fault, job->RootPath)) {
        std::fwprintf(stderr, L"%ls\n", fault.c_str());
        return 2;
    }
    job->TimeKind = time == L"either" ? TTimeKind::Either : time == L"created" ? TTimeKind::Created : TTimeKind::Modified;
    TStoreSink stored;
    job->StatusBarRef = &sinks;
    job->ListViewRef = store ? static_cast<IResultsList*>(&stored) : &sinks;
    job->FileCount = 0;

    TReplyWatcher watcher(HandOffWindow());
    const double start = Seconds();
    job->Resume();
    MSG message;
    while (!ended && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    const double replyMs = watcher.Stop();
    PrintResult("seconds=" + std::to_string(endTime - start) + " files=" + std::to_string(fileCount) +
                " rows=" + std::to_string(store ? stored.Store.Count() : sinks.Added) +
                " reply_ms=" + std::to_string(replyMs) +
                (store ? " store_bytes=" + std::to_string(stored.Store.MemoryBytes()) : std::string()) +
                " peak_mb=" + std::to_string(PeakMegabytes()) + " ahead_folders=" +
                std::to_string(peakFolders) + " ahead_entries=" + std::to_string(peakEntries));
    // The job frees itself after its end step; let it finish before the process ends.
    Sleep(50);
    return 0;
}
