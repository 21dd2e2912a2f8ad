// The engine alone: the real scan thread and the real hand-off, reporting to a sink that does nothing.
// --listers K lists ahead with K threads (0: the walk lists every folder itself); --share walks the
// simulated network share instead of ROOT; --generated walks the ten million files of
// generated_listing.h (--tops K: K of its top folders, ten a million files; --later: the same tree
// with 1% of its files different); --store fills the results list's own row store instead of a sink
// that does nothing; --skip, --name and --time as on the command line. --snapshot FILE keeps the
// scan's snapshot in FILE; with --changed compared with the one there, as the console's --baseline
// does, the files handed to the snapshot alone, no rows. The time is then from the start (the old
// snapshot read beside the walk) to the new one written and the moves settled.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "generated_listing.h"
#include "scan/snapshot_session.h"
#include "scan/work_thread.h"
#include "share_listing.h"
#include "toolkit/handoff.h"
#include "ui/row_store.h"

namespace {

// Does nothing with what it hears, or fills the results list's own row store as the window does,
// without the window: the store's case is the date mode's, where no row is removed.
class TBenchSink final : public IScanSink {
  public:
    bool Store = false;
    TRowStore Rows;
    long long Added = 0;
    TScanEnd End;
    void FolderEntered(const std::wstring&) override {}
    void RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId>) override {
        Added += static_cast<long long>(added.size());
        if (Store) {
            for (const TFoundRow& row : added) {
                Rows.Append(row.Path, row.Utc, row.Size);
            }
        }
    }
    void ListingFailed(const std::wstring&) override {}
    void Ended(const TScanEnd& end) override { End = end; }
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
    bool share = false, generated = false, store = false, later = false, changed = false;
    int tops = TGeneratedListing::Tops;
    std::wstring skip, names, time, snapshot;
    for (int i = 4; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--listers" && i + 1 < argc) {
            listers = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        } else if (option == L"--share") {
            share = true;
        } else if (option == L"--generated") {
            generated = true;
        } else if (option == L"--tops" && i + 1 < argc) {
            tops = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        } else if (option == L"--later") {
            later = true;
        } else if (option == L"--snapshot" && i + 1 < argc) {
            snapshot = argv[++i];
        } else if (option == L"--changed") {
            changed = true;
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

    TBenchSink sink;
    sink.Store = store;
    bool ended = false;
    double endTime = 0;
    std::size_t peakFolders = 0, peakEntries = 0;
    auto* job = new TWorkThread;
    job->FreeOnTerminate = true;
    job->OnTerminate = [&](TThread& sender) {
        endTime = Seconds();
        const auto& done = static_cast<TWorkThread&>(sender);
        peakFolders = done.PeakFoldersAhead;
        peakEntries = done.PeakEntriesAhead;
        ended = true;
    };
    TScanRequest request;
    request.RootPath = argv[1];
    request.ByDate = mode == L"date";
    if (request.ByDate) {
        request.After = LocalValueOfUnixTime(value);
    } else {
        request.Newest = static_cast<std::int32_t>(value);
    }
    request.SkipFolders = skip;
    request.NameMasks = names;
    request.Time = time == L"either"    ? TTimeKind::Either
                   : time == L"created" ? TTimeKind::Created
                                        : TTimeKind::Modified;
    std::wstring fault;
    if (!job->TakeRequest(request, fault)) {
        std::fwprintf(stderr, L"%ls\n", fault.c_str());
        return 2;
    }
    if (listers >= 0) {
        job->ListerCount = static_cast<unsigned>(listers);
    }
    if (share) {
        job->Listing = std::make_unique<TShareListing>(job->Request().RootPath);
    } else if (generated) {
        job->Listing = std::make_unique<TGeneratedListing>(job->Request().RootPath, tops, later);
    }
    job->ReportTo(sink);

    TReplyWatcher watcher(HandOffWindow());
    const double start = Seconds();
    std::unique_ptr<TSnapshotSession> session;
    if (!snapshot.empty()) {
        // As the window does: the earlier snapshot is read only to compare with.
        session = std::make_unique<TSnapshotSession>(job->Request(), snapshot, changed);
        job->Observer = session.get();
        job->FilesAsRows = !changed;
    }
    const double read = Seconds() - start;
    job->Resume();
    MSG message;
    while (!ended && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    std::string kept;
    if (session) {
        const double ending = Seconds();
        if (!session->End(sink.End.Outcome, sink.End.StartUtc)) {
            std::fwprintf(stderr, L"%ls\n", session->WriteError().c_str());
        }
        if (!session->Problem().empty()) {
            std::fwprintf(stderr, L"%ls\n", session->Problem().c_str());
        }
        endTime = Seconds();
        WIN32_FILE_ATTRIBUTE_DATA file{};
        GetFileAttributesExW(session->Path().c_str(), GetFileExInfoStandard, &file);
        const auto bytes = (static_cast<unsigned long long>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
        const TChangeCounts counts = session->Counts();
        kept = " snapshot_bytes=" + std::to_string(bytes) +
               " snapshot_files=" + std::to_string(session->Files()) +
               " compared=" + (session->HasOld() ? "yes" : "no") + " new=" + std::to_string(counts.New) +
               " changed=" + std::to_string(counts.Changed) + " deleted=" + std::to_string(counts.Deleted) +
               " moved=" + std::to_string(counts.Moved) + " read_seconds=" + std::to_string(read) +
               " end_seconds=" + std::to_string(endTime - ending);
    }
    const double replyMs = watcher.Stop();
    PrintResult(
        "seconds=" + std::to_string(endTime - start) + " files=" + std::to_string(sink.End.Counts.FileCount) +
        " rows=" + std::to_string(store ? sink.Rows.Count() : sink.Added) +
        " reply_ms=" + std::to_string(replyMs) +
        (store ? " store_bytes=" + std::to_string(sink.Rows.MemoryBytes()) : std::string()) + " peak_mb=" +
        std::to_string(PeakMegabytes()) + " peak_commit_mb=" + std::to_string(PeakCommitMegabytes()) + kept +
        " ahead_folders=" + std::to_string(peakFolders) + " ahead_entries=" + std::to_string(peakEntries));
    // The job frees itself after its end step; let it finish before the process ends.
    Sleep(50);
    return 0;
}
