// The walk against a scripted listing: order, counts, failures, stop, pause, batching and the
// listers that read ahead of the walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <random>
#include <stdexcept>

#include "scan/sys_error.h"
#include "scan_harness.h"

namespace {

const std::wstring Root = L"C:\\r\\";

FILETIME Minute(int n) {
    return UtcFileTime(2020, 1, 1 + n / 1440, n / 60 % 24, n % 60);
}

class WalkTest : public ::testing::Test {
  protected:
    THandOffScope handOff;

    // A run over a fresh fake listing; the listing stays reachable through Fake, and Watch tells
    // the listers' opens from the walk's.
    TScanRun& NewRun(bool byDate = true, int limit = 0, size_t batch = 256,
                     std::unique_ptr<TWorkThread> job = std::make_unique<TWorkThread>()) {
        runs.push_back(std::make_unique<TScanRun>(std::move(job)));
        TScanRun& run = *runs.back();
        auto listing = std::make_unique<TFakeListing>(Root);
        Fake = listing.get();
        auto watched = std::make_unique<TWatchedListing>(std::move(listing));
        Watch = watched.get();
        run.Job->Listing = std::move(watched);
        run.Ask(Root, byDate, limit);
        run.Job->BatchSize = batch;
        return run;
    }
    std::wstring Row(TScanRun& run, const std::wstring& path, FILETIME time) {
        return L"row " + path + L" " + DateTimeText(LocalValue(time), run.Recorder.Settings);
    }

    // Holds the walk at the root (each notification its own batch) until ready() holds, which the
    // listers bring about meanwhile, then runs then. Held tells whether ready() came in time.
    void HoldAtRoot(TScanRun& run, std::function<bool()> ready, std::function<void()> then = {}) {
        run.Job->BatchSize = 1;
        Held = false;
        run.Recorder.AfterEvent = [this, ready, then](const std::wstring& event) {
            if (event == L"folder " + Root) {
                const ULONGLONG deadline = GetTickCount64() + 20000;
                while (!ready() && GetTickCount64() < deadline) {
                    Sleep(1);
                }
                Held = ready();
                if (then) {
                    then();
                }
            }
        };
    }

    TFakeListing* Fake = nullptr;
    TWatchedListing* Watch = nullptr;
    bool Held = false;
    std::vector<std::unique_ptr<TScanRun>> runs;
};

// Trees of the shapes the walk meets, to be walked with and without listers.
enum class TShape { Wide, Deep, Resisting };

const std::wstring LongFolder = Root + std::wstring(252, L'x') + L"\\";

void BuildTree(TFakeListing& fake, TShape shape);

// The folders that listers can open below a folder that is read: every folder met in a listing
// that is read, but no link.
int ReadableAhead(const TFakeListing& fake, const std::wstring& folder) {
    const TFakeListing::TFolder& listing = fake.Folders.at(folder);
    int count = 0;
    for (size_t i = 0; i < listing.Entries.size() && i < listing.FailAfter; ++i) {
        const WIN32_FIND_DATAW& entry = listing.Entries[i];
        const std::wstring name = entry.cFileName;
        const std::wstring path = folder + name + L"\\";
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || name == L"." || name == L"..") {
            continue;
        }
        ++count;
        const TFakeListing::TFolder& sub = fake.Folders.at(path);
        if (!sub.OpenError && !sub.Entries.empty()) {
            count += ReadableAhead(fake, path);
        }
    }
    return count;
}

// What the listers open while the walk stands at the root with its listing read: all of the above
// but the root's first subfolder, which they leave to the walk, and what lies below it.
int ListersReadWhileHeld(const TFakeListing& fake) {
    for (const WIN32_FIND_DATAW& entry : fake.Folders.at(Root).Entries) {
        const std::wstring name = entry.cFileName;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") {
            return ReadableAhead(fake, Root) - 1 - ReadableAhead(fake, Root + entry.cFileName + L"\\");
        }
    }
    return 0;
}

TEST_F(WalkTest, WorkedExampleNotifiesDepthFirstInListingOrder) {
    for (unsigned listers : {0u, 2u}) {
        SCOPED_TRACE(listers);
        TScanRun& run = NewRun();
        run.Job->ListerCount = listers;
        Fake->AddFile(Root + L"a.txt", Minute(1));
        Fake->AddFile(Root + L"sub\\b.txt", Minute(2));
        Fake->AddFile(Root + L"c.txt", Minute(3));

        ASSERT_TRUE(run.Run());

        const std::vector<std::wstring> expected = {
            L"folder " + Root,
            Row(run, Root + L"a.txt", Minute(1)),
            L"folder " + Root + L"sub\\",
            Row(run, Root + L"sub\\b.txt", Minute(2)),
            Row(run, Root + L"c.txt", Minute(3)),
        };
        EXPECT_EQ(expected, run.Recorder.Events);
        EXPECT_EQ(1, run.Ended);
        EXPECT_EQ(3, run.Job->Counts().FileCount);
        EXPECT_TRUE(run.Recorder.LogLines.empty());
        EXPECT_EQ(2, Fake->Opens);
        EXPECT_EQ(2, Fake->Closes);
        EXPECT_FALSE(run.Job->FatalException);
    }
}

// Skipped folders are neither entered nor opened and their files not counted, the root is never
// skipped; masks keep names while every file counts; the time kind picks the time that counts.
TEST_F(WalkTest, FiltersLeaveOutFoldersAndNamesAndPickTheTime) {
    const std::vector<std::pair<std::wstring, int>> tree = {{L"a.txt", 1},
                                                            {L"node_modules\\x.txt", 2},
                                                            {L"keep\\report.docx", 3},
                                                            {L"keep\\node_modules\\y.txt", 4},
                                                            {L"cache1\\z.txt", 5},
                                                            {L"sub\\Temp\\t.txt", 6},
                                                            {L"copied.txt", 0}};
    struct TCase {
        const wchar_t *Skip, *Names;
        TTimeKind Time;
        std::vector<int> Rows; // indices into tree, in walk order
        int Files;
        int CopiedMinute;
    } cases[] = {
        {L"", L"", TTimeKind::Modified, {0, 1, 2, 3, 4, 5, 6}, 7, 0},
        {L" node_modules ;; CACHE* ; r", L"", TTimeKind::Modified, {0, 2, 5, 6}, 4, 0},
        {L"**\\SUB\\temp\\, /keep", L"", TTimeKind::Modified, {0, 1, 4, 6}, 4, 0},
        {L"", L"*.docx; A*", TTimeKind::Modified, {0, 2}, 7, 0},
        {L"", L"copied.txt", TTimeKind::Created, {6}, 7, 7},
        {L"", L"copied.txt", TTimeKind::Either, {6}, 7, 7},
    };
    for (const TCase& c : cases) {
        for (unsigned listers : {0u, 2u}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(&c - cases) << " listers " << listers);
            TScanRun& run = NewRun();
            TScanRequest request{Root, true, true, 0, 0, c.Skip, c.Names, c.Time};
            std::wstring error;
            ASSERT_TRUE(run.Job->TakeRequest(request, error)) << std::string(error.begin(), error.end());
            run.Job->ListerCount = listers;
            for (const auto& [path, minute] : tree) {
                Fake->AddFile(Root + path, Minute(minute));
            }
            Fake->Folder(Root).Entries.back().ftCreationTime = Minute(7); // copied in: new, old change time
            std::vector<std::wstring> opened;
            std::mutex openedLock;
            Watch->BeforeOpen = [&](const std::wstring& folder, bool) {
                std::lock_guard lock(openedLock);
                opened.push_back(folder);
            };

            ASSERT_TRUE(run.Run());

            std::vector<std::wstring> expected, rows, entered;
            for (int i : c.Rows) {
                expected.push_back(
                    Row(run, Root + tree[i].first, Minute(i == 6 ? c.CopiedMinute : tree[i].second)));
            }
            for (const std::wstring& event : run.Recorder.Events) {
                (event.starts_with(L"row ") ? rows : entered).push_back(event);
            }
            EXPECT_EQ(expected, rows);
            EXPECT_EQ(c.Files, run.Job->Counts().FileCount);
            EXPECT_EQ(entered.size(), opened.size()) << "a folder is opened exactly when it is entered";
            for (const std::wstring& folder : opened) {
                EXPECT_NE(entered.end(), std::find(entered.begin(), entered.end(), L"folder " + folder));
            }
        }
    }
}

TEST_F(WalkTest, ListingFailuresAreLoggedOnceAndTheWalkGoesOn) {
    struct TCase {
        const char* What;
        std::function<void(TFakeListing::TFolder&)> Break;
        int Code;
    };
    const TCase cases[] = {
        {"access denied", [](TFakeListing::TFolder& f) { f.OpenError = ERROR_ACCESS_DENIED; }, 5},
        {"vanished", [](TFakeListing::TFolder& f) { f.OpenError = ERROR_PATH_NOT_FOUND; }, 3},
        {"sharing violation mid-listing",
         [](TFakeListing::TFolder& f) { f.FailAfter = 3, f.FailCode = ERROR_SHARING_VIOLATION; }, 32},
        // ".", "..", 2, 3 and the subfolder s were handled: the line names b, not s.
        {"failure at the end, after a subfolder",
         [](TFakeListing::TFolder& f) { f.FailAfter = 5, f.FailCode = ERROR_ACCESS_DENIED; }, 5},
        {"empty drive root", [](TFakeListing::TFolder& f) { f.Entries.clear(); }, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TScanRun& run = NewRun();
        Fake->AddFile(Root + L"a\\1", Minute(1));
        Fake->AddFile(Root + L"b\\2", Minute(2));
        Fake->AddFile(Root + L"b\\3", Minute(3));
        Fake->AddFile(Root + L"b\\s\\5", Minute(5));
        Fake->AddFile(Root + L"c\\4", Minute(4));
        c.Break(Fake->Folder(Root + L"b\\"));

        ASSERT_TRUE(run.Run());

        if (c.Code) {
            EXPECT_EQ((std::vector<std::wstring>{LogLine(Root + L"b\\", c.Code)}), run.Recorder.LogLines);
        } else {
            EXPECT_TRUE(run.Recorder.LogLines.empty());
        }
        const auto rows = run.Recorder.Rows();
        EXPECT_EQ(Root + L"a\\1", rows.front());
        EXPECT_EQ(Root + L"c\\4", rows.back());
        EXPECT_EQ(Fake->Opens, Fake->Closes);
        EXPECT_EQ(1, run.Ended);
    }
}

TEST_F(WalkTest, UnconvertibleTimesAreCountedButNeverQualify) {
    TScanRun& run = NewRun();
    Fake->AddFile(Root + L"negative", FILETIME{0xFFFFFFFF, 0xFFFFFFFF});
    Fake->AddFile(Root + L"year30828", FILETIME{0xFFFFFFFF, 0x7FFFFFFF});
    Fake->AddFile(Root + L"fine", Minute(1));

    ASSERT_TRUE(run.Run());

    EXPECT_EQ((std::vector<std::wstring>{Root + L"fine"}), run.Recorder.Rows());
    EXPECT_EQ(3, run.Job->Counts().FileCount);
    EXPECT_FALSE(run.Job->FatalException);
}

TEST_F(WalkTest, FileCountDoesNotWrapAt32Bits) {
    struct TNearTheLimit : TWorkThread {
        TNearTheLimit() { counts_.FileCount = 0xFFFFFFFFLL - 2; }
    };
    TScanRun& run = NewRun(true, 0, 256, std::make_unique<TNearTheLimit>());
    for (int i = 0; i < 5; ++i) {
        Fake->AddFile(Root + std::to_wstring(i), Minute(i));
    }
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(0x100000002LL, run.Job->Counts().FileCount);
}

// A deep tree: every level holds files and then the next level.
void DeepTree(TFakeListing& fake, int depth, int filesPerLevel) {
    std::wstring folder = Root;
    int minute = 0;
    for (int level = 0; level < depth; ++level) {
        for (int i = 0; i < filesPerLevel; ++i) {
            fake.AddFile(folder + L"f" + std::to_wstring(i), Minute(++minute));
        }
        folder += L"d" + std::to_wstring(level) + L"\\";
        fake.AddFolder(folder);
    }
}

std::wstring DeepFolder(int level) {
    std::wstring folder = Root;
    for (int i = 0; i < level; ++i) {
        folder += L"d" + std::to_wstring(i) + L"\\";
    }
    return folder;
}

// Every folder holds a file "f" and, while the path allows one more level, a folder "d": down to
// the longest path the system takes, about 16,380 folders deep. Made as it is listed; stored, the
// paths alone would take half a gigabyte.
class TDeepestListing final : public IListing {
  public:
    static constexpr size_t Longest = 32760;
    TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) override {
        // Entries to give: "f", then "d" where one more level fits.
        auto* cursor = new TCursor{0, pattern.size() - 3 + 2 <= Longest ? 2 : 1};
        Next(cursor, entry, error);
        return cursor;
    }
    bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) override {
        TCursor& cursor = *static_cast<TCursor*>(listing);
        if (cursor.Given == cursor.Count) {
            error = ERROR_NO_MORE_FILES;
            return false;
        }
        const bool file = cursor.Given++ == 0;
        entry = {};
        entry.dwFileAttributes = file ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_DIRECTORY;
        wcscpy(entry.cFileName, file ? L"f" : L"d");
        entry.ftLastWriteTime = Minute(++files_);
        return true;
    }
    void Close(TListingHandle listing) override { delete static_cast<TCursor*>(listing); }
    bool Identity(const std::wstring&, TFolderIdentity&) override { return false; }

  private:
    struct TCursor {
        int Given, Count;
    };
    std::atomic<int> files_{0};
};

TEST_F(WalkTest, TheDeepestPathTheSystemTakesIsWalkedWhole) {
    for (unsigned listers : {0u, 1u}) {
        TScanRun& run = NewRun(false, 1);
        run.Job->Listing = std::make_unique<TDeepestListing>();
        run.Job->ListerCount = listers;
        // The ranking alone: a recorder would keep every path of the walk.
        run.Recorder.Quiet = true;
        ASSERT_TRUE(run.Run());
        const long long levels = (TDeepestListing::Longest - Root.size()) / 2 + 1;
        EXPECT_EQ(levels, run.Job->Counts().FileCount) << listers;
        ASSERT_EQ(1u, run.Job->Ranking().Files().size());
        EXPECT_EQ(TDeepestListing::Longest, run.Job->Ranking().Files().front().Name.size())
            << "the deepest file";
    }
}

TEST_F(WalkTest, StopDuringADeepWalkEndsCleanlyAndQuietly) {
    struct TCase {
        size_t Batch;
        unsigned Listers;
    };
    for (TCase c : {TCase{1, 0}, TCase{256, 0}, TCase{1, 2}, TCase{256, 2}}) {
        const size_t batch = c.Batch;
        SCOPED_TRACE(testing::Message() << "batch " << batch << " listers " << c.Listers);
        TScanRun& run = NewRun(true, 0, batch);
        run.Job->ListerCount = c.Listers;
        // The walk may run one batch ahead of the batch being applied: the tree is larger than the
        // batches up to the stop and one more.
        DeepTree(*Fake, 12, 100);
        long long servedAtStop = -1;
        size_t eventsAtStop = 0;
        run.Recorder.AfterEvent = [&](const std::wstring& event) {
            if (event == L"folder " + DeepFolder(5)) {
                run.Job->Terminate();
                servedAtStop = Fake->Served;
                eventsAtStop = run.Recorder.Events.size();
            }
        };

        ASSERT_TRUE(run.Run());

        ASSERT_GE(servedAtStop, 0);
        // The walk and each lister finish the entry at hand, see the request and list nothing more.
        EXPECT_LE(Fake->Served - servedAtStop, 1 + c.Listers);
        if (batch == 1) {
            EXPECT_EQ(eventsAtStop, run.Recorder.Events.size());
        }
        EXPECT_EQ(Fake->Opens, Fake->Closes);
        EXPECT_EQ(1, run.Ended);
        EXPECT_TRUE(run.Recorder.LogLines.empty());
        EXPECT_LT(run.Job->Counts().FileCount, 12 * 100);
    }
}

TEST_F(WalkTest, PauseHaltsTheWalkAndResumeLosesAndRepeatsNothing) {
    TScanRun& reference = NewRun(true, 0, 1);
    DeepTree(*Fake, 6, 20);
    ASSERT_TRUE(reference.Run());

    TScanRun& run = NewRun(true, 0, 1);
    DeepTree(*Fake, 6, 20);
    bool paused = false;
    run.Recorder.AfterEvent = [&](const std::wstring& event) {
        if (!paused && event == L"folder " + DeepFolder(3)) {
            paused = true;
            run.Job->Suspend();
        }
    };
    run.Start();
    ASSERT_TRUE(PumpUntil([&] { return paused; }));
    PumpFor(150);
    const size_t events = run.Recorder.Events.size();
    const long long served = Fake->Served;
    PumpFor(200);
    EXPECT_EQ(events, run.Recorder.Events.size());
    EXPECT_EQ(served, Fake->Served);
    EXPECT_TRUE(run.Job->Suspended());
    EXPECT_EQ(0, run.Ended);

    run.Job->Resume();
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(reference.Recorder.Events, run.Recorder.Events);
    EXPECT_EQ(reference.Job->Counts().FileCount, run.Job->Counts().FileCount);
}

// Paused, then stopped: the stop resumes it and it ends. Stopped, then paused before the walk saw
// the request: it stays paused, ending nothing, until resumed.
TEST_F(WalkTest, PauseAndStopInEitherOrderEndOnlyOnceResumed) {
    for (const bool stopFirst : {false, true}) {
        SCOPED_TRACE(stopFirst ? "stop, then pause" : "pause, then stop");
        TScanRun& run = NewRun(true, 0, 256);
        DeepTree(*Fake, 8, 400);
        bool paused = false;
        run.Recorder.AfterEvent = [&](const std::wstring& event) {
            if (!paused && event == L"folder " + DeepFolder(2)) {
                paused = true;
                if (stopFirst) {
                    run.Job->Terminate();
                }
                run.Job->Suspend();
            }
        };
        run.Start();
        ASSERT_TRUE(PumpUntil([&] { return paused; }));
        PumpFor(100);
        EXPECT_EQ(0, run.Ended);
        EXPECT_TRUE(run.Job->Suspended());
        run.Job->Resume();
        run.Job->Terminate();
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_EQ(1, run.Ended);
        EXPECT_EQ(Fake->Opens, Fake->Closes);
        EXPECT_TRUE(run.Recorder.LogLines.empty());
        EXPECT_LT(run.Job->Counts().FileCount, 8 * 400);
    }
}

TEST_F(WalkTest, AFailureInAHandedOffCallEndsTheWalkQuietly) {
    TScanRun& run = NewRun(true, 0, 1);
    DeepTree(*Fake, 6, 10);
    int rows = 0;
    run.Recorder.AfterEvent = [&](const std::wstring& event) {
        if (event.rfind(L"row ", 0) == 0 && ++rows == 25) {
            throw std::runtime_error("sink failed");
        }
    };

    ASSERT_TRUE(run.Run());

    EXPECT_EQ(1, run.Ended);
    ASSERT_TRUE(run.Job->FatalException);
    EXPECT_THROW(std::rethrow_exception(run.Job->FatalException), std::runtime_error);
    EXPECT_EQ(25, rows);
    EXPECT_EQ(Fake->Opens, Fake->Closes);
    EXPECT_TRUE(run.Recorder.LogLines.empty());
}

// Batches must not change what the sink sees: compare batch sizes on trees of several shapes. In
// the number mode a batch may leave out rows that would have come and gone within it; the rows
// held at the end and every other event stay the same.
TEST_F(WalkTest, BatchingChangesNothingAtTheSinks) {
    enum class TTimes { Rising, FewDistinct, Random };
    struct TMode {
        bool ByDate;
        int Limit;
    };
    for (TTimes times : {TTimes::Rising, TTimes::FewDistinct, TTimes::Random}) {
        for (TMode mode :
             {TMode{false, 0}, TMode{false, 1}, TMode{false, 7}, TMode{false, 100}, TMode{true, 0}}) {
            SCOPED_TRACE(testing::Message() << "times " << static_cast<int>(times) << " limit " << mode.Limit
                                            << " byDate " << mode.ByDate);
            std::vector<std::vector<std::wstring>> events;
            std::vector<std::vector<std::wstring>> ranking;
            std::vector<std::vector<std::wstring>> rows;
            for (size_t batch : {size_t{1}, size_t{5}, size_t{256}}) {
                TScanRun& run = NewRun(mode.ByDate, mode.Limit, batch);
                std::mt19937 random(42);
                int minute = 0;
                for (int folder = 0; folder < 12; ++folder) {
                    for (int file = 0; file < 40; ++file) {
                        const int t = times == TTimes::Rising        ? ++minute
                                      : times == TTimes::FewDistinct ? static_cast<int>(random() % 4)
                                                                     : static_cast<int>(random() % 5000);
                        std::wstring path = Root + L"d" + std::to_wstring(folder % 4) + L"\\";
                        if (folder >= 4) {
                            path += L"e" + std::to_wstring(folder) + L"\\";
                        }
                        Fake->AddFile(path + std::to_wstring(file), Minute(t));
                    }
                }
                if (mode.ByDate) {
                    run.Ask(Root, true, 0, LocalValue(Minute(times == TTimes::FewDistinct ? 1 : 200)));
                }
                ASSERT_TRUE(run.Run());
                std::vector<std::wstring> seen;
                for (const std::wstring& event : run.Recorder.Events) {
                    const bool rowEvent = event.starts_with(L"row ") || event.starts_with(L"delete ");
                    if (mode.ByDate || !rowEvent) {
                        seen.push_back(event);
                    }
                }
                events.push_back(seen);
                rows.push_back(run.Recorder.Rows());
                std::vector<std::wstring> held;
                for (const TFileItem& item : run.Job->Ranking().Files()) {
                    held.push_back(item.Name);
                }
                ranking.push_back(held);
                EXPECT_EQ(480, run.Job->Counts().FileCount);
            }
            EXPECT_EQ(events[0], events[1]);
            EXPECT_EQ(events[0], events[2]);
            EXPECT_EQ(ranking[0], ranking[1]);
            EXPECT_EQ(ranking[0], ranking[2]);
            EXPECT_EQ(rows[0], rows[1]);
            EXPECT_EQ(rows[0], rows[2]);
        }
    }
}

void BuildTree(TFakeListing& fake, TShape shape) {
    std::mt19937 random(7);
    const auto time = [&random] { return Minute(static_cast<int>(random() % 5000)); };
    switch (shape) {
    case TShape::Wide:
        for (int d = 0; d < 6; ++d) {
            const std::wstring folder = Root + L"d" + std::to_wstring(d) + L"\\";
            fake.AddFile(Root + L"top" + std::to_wstring(d), time());
            for (int e = 0; e < 3; ++e) {
                for (int f = 0; f < 4; ++f) {
                    fake.AddFile(folder + L"e" + std::to_wstring(e) + L"\\" + std::to_wstring(f), time());
                }
            }
            fake.AddFile(folder + L"last", time());
        }
        for (int f = 0; f < 40; ++f) {
            fake.AddFile(Root + L"big\\" + std::to_wstring(f), time());
        }
        break;
    case TShape::Deep: {
        DeepTree(fake, 12, 10);
        std::wstring chain = Root;
        for (int level = 0; level < 12; ++level) {
            chain += L"e" + std::to_wstring(level) + L"\\";
            fake.AddFile(chain + L"f", time());
        }
        break;
    }
    case TShape::Resisting: {
        fake.AddFile(Root + L"a.txt", time());
        fake.AddFile(Root + L"first\\f", time()); // left to the walk while it is held
        fake.AddFile(Root + L"denied\\x", time());
        fake.Folder(Root + L"denied\\").OpenError = ERROR_ACCESS_DENIED;
        fake.AddFolder(Root + L"gone\\");
        fake.Folder(Root + L"gone\\").OpenError = ERROR_PATH_NOT_FOUND;
        for (int f = 0; f < 4; ++f) {
            fake.AddFile(Root + L"half\\" + std::to_wstring(f), time());
        }
        fake.Folder(Root + L"half\\").FailAfter = 4; // ".", "..", 0, 1
        fake.Folder(Root + L"half\\").FailCode = ERROR_SHARING_VIOLATION;
        // Fails at its end, after its subfolder s was walked.
        fake.AddFile(Root + L"late\\0", time());
        fake.AddFile(Root + L"late\\s\\1", time());
        fake.AddFile(Root + L"late\\s\\2", time());
        fake.Folder(Root + L"late\\").FailAfter = 4;
        fake.Folder(Root + L"late\\").FailCode = ERROR_ACCESS_DENIED;
        fake.AddFolder(Root + L"empty\\");
        fake.Folder(Root + L"empty\\").Entries.clear();
        fake.AddFile(Root + L"odd\\never", FILETIME{0xFFFFFFFF, 0x7FFFFFFF});
        fake.AddFile(LongFolder + L"beyond", time());
        fake.AddFile(Root + L"ln\\in\\behind", time());
        for (WIN32_FIND_DATAW& entry : fake.Folder(Root).Entries) {
            if (std::wstring(entry.cFileName) == L"ln") {
                entry.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            }
        }
        fake.AddFile(Root + L"z.txt", time());
        break;
    }
    }
}

// Listers change nothing the sink sees, nor the log or the counts, on every shape of tree, in
// both modes, whatever the number of listers and the bounds, and whether the machine lets them
// read ahead at once, after a while or never. The walk is held at the root until the listers have
// opened what they may, so that the walk takes their listings.
TEST_F(WalkTest, ListersChangeNothingAtTheSinks) {
    enum class TSpare { Always, Later, Never };
    struct TConfig {
        unsigned Listers;
        size_t Folders;
        size_t Entries;
        TSpare Spare = TSpare::Always;
    };
    const TConfig configs[] = {{1, 256, 262144},
                               {2, 256, 262144},
                               {8, 256, 262144},
                               {2, 2, 262144},
                               {2, 256, 30},
                               {2, 256, 262144, TSpare::Later},
                               {2, 256, 262144, TSpare::Never}};
    struct TMode {
        bool ByDate;
        int Limit;
    };
    for (TShape shape : {TShape::Wide, TShape::Deep, TShape::Resisting}) {
        for (TMode mode : {TMode{true, 0}, TMode{false, 3}}) {
            TScanRun& reference = NewRun(mode.ByDate, mode.Limit, 1);
            reference.Job->ListerCount = 0;
            BuildTree(*Fake, shape);
            ASSERT_TRUE(reference.Run());
            for (const TConfig& config : configs) {
                SCOPED_TRACE(testing::Message()
                             << "shape " << static_cast<int>(shape) << " byDate " << mode.ByDate
                             << " listers " << config.Listers << " folders " << config.Folders << " entries "
                             << config.Entries << " spare " << static_cast<int>(config.Spare));
                TScanRun& run = NewRun(mode.ByDate, mode.Limit, 1);
                run.Job->ListerCount = config.Listers;
                if (config.Spare != TSpare::Always) {
                    auto asks = std::make_shared<std::atomic<int>>(0);
                    const bool never = config.Spare == TSpare::Never;
                    run.Job->MayReadAhead = [asks, never] { return !never && ++*asks > 2; };
                }
                run.Job->MaxFoldersAhead = config.Folders;
                run.Job->MaxEntriesAhead = config.Entries;
                BuildTree(*Fake, shape);
                // Past the entry bound the listers may stop after their first folders.
                const int ahead = config.Spare == TSpare::Never ? 0
                                  : config.Entries < 262144     ? 1
                                                                : std::min(ListersReadWhileHeld(*Fake),
                                                                           static_cast<int>(config.Folders));
                TWatchedListing& watch = *Watch;
                HoldAtRoot(run, [&watch, ahead] { return watch.OpenedAhead >= ahead; });
                std::vector<std::wstring> strayOpens;
                std::mutex strayMutex;
                Watch->BeforeOpen = [&](const std::wstring& folder, bool byWalk) {
                    if (!byWalk && folder.starts_with(Root + L"ln\\")) {
                        std::lock_guard lock(strayMutex);
                        strayOpens.push_back(folder);
                    }
                };

                ASSERT_TRUE(run.Run());

                EXPECT_TRUE(Held);
                EXPECT_EQ(reference.Recorder.Events, run.Recorder.Events);
                EXPECT_EQ(reference.Recorder.LogLines, run.Recorder.LogLines);
                EXPECT_EQ(reference.Job->Counts().FileCount, run.Job->Counts().FileCount);
                EXPECT_EQ(reference.Recorder.Rows(), run.Recorder.Rows());
                EXPECT_EQ(Fake->Opens, Fake->Closes);
                EXPECT_TRUE(strayOpens.empty()) << "a lister opened a link";
                EXPECT_LE(run.Job->PeakFoldersAhead, config.Folders);
                EXPECT_LE(run.Job->PeakEntriesAhead, config.Entries);
                if (config.Folders < 256) {
                    EXPECT_EQ(config.Folders, run.Job->PeakFoldersAhead);
                }
                if (shape == TShape::Wide && config.Entries < 262144) {
                    // The big folder does not fit: read ahead in part, the rest by the walk.
                    EXPECT_EQ(config.Entries, run.Job->PeakEntriesAhead);
                }
                if (config.Spare == TSpare::Never) {
                    EXPECT_EQ(0u, run.Job->PeakFoldersAhead);
                    EXPECT_EQ(0, Watch->OpenedAhead.load());
                } else if (shape == TShape::Resisting && config.Folders == 256 && config.Entries == 262144) {
                    // Every failing folder failed in a lister, and its error reached the log with it.
                    auto opened = Watch->FoldersOpenedAhead();
                    std::sort(opened.begin(), opened.end());
                    for (const wchar_t* name : {L"denied\\", L"gone\\", L"half\\", L"late\\", L"empty\\"}) {
                        EXPECT_TRUE(std::binary_search(opened.begin(), opened.end(), Root + name)) << name;
                    }
                    EXPECT_EQ(4u, run.Recorder.LogLines.size());
                }
            }
        }
    }
}

// A lister held inside its listing while the scan stops or pauses: the end notification waits until
// the lister has left and closed its listing, paused listers take no new folder, and a resumed scan
// reports exactly what an uninterrupted one does.
TEST_F(WalkTest, StopAndPauseWithAListerHeldInItsListing) {
    enum class TAct { Stop, PauseThenStop, PauseThenResume };
    for (TAct act : {TAct::Stop, TAct::PauseThenStop, TAct::PauseThenResume}) {
        SCOPED_TRACE(static_cast<int>(act));
        TScanRun& reference = NewRun(true, 0, 1);
        reference.Job->ListerCount = 0;
        BuildTree(*Fake, TShape::Wide);
        ASSERT_TRUE(reference.Run());

        TScanRun& run = NewRun(true, 0, 1);
        // A lister that reads ahead whatever the machine's load: the test waits for one to enter.
        run.Job->ListerCount = 1;
        BuildTree(*Fake, TShape::Wide);
        const std::wstring heldFolder = Root + L"d1\\";
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<bool> inside{false}, left{false}, paused{false};
        std::atomic<int> opensWhilePaused{0};
        Watch->BeforeOpen = [&](const std::wstring& folder, bool byWalk) {
            if (!byWalk && paused) {
                ++opensWhilePaused;
            }
            if (!byWalk && folder == heldFolder) {
                inside = true;
                WaitForSingleObject(release, 20000);
                left = true;
            }
        };
        bool acted = false;
        HoldAtRoot(
            run, [&] { return inside.load(); },
            [&] {
                if (act == TAct::Stop) {
                    run.Job->Terminate();
                } else {
                    paused = true;
                    run.Job->Suspend();
                }
                acted = true;
            });
        bool leftBeforeEnd = false;
        long long opensAtEnd = -1, closesAtEnd = -2;
        run.Job->OnTerminate = [&](TThread&) {
            ++run.Ended;
            leftBeforeEnd = left;
            opensAtEnd = Fake->Opens;
            closesAtEnd = Fake->Closes;
        };

        run.Start();
        ASSERT_TRUE(PumpUntil([&] { return acted; }));
        EXPECT_TRUE(Held);
        if (act == TAct::Stop) {
            // Time for a walk that would not wait for its listers to end too early.
            PumpUntil([&] { return run.Ended > 0; }, 300);
            SetEvent(release);
        } else {
            SetEvent(release);
            // Time for a lister that would not pause to take another folder.
            PumpUntil([&] { return opensWhilePaused > 1; }, 300);
            paused = false;
            run.Job->Resume();
            if (act == TAct::PauseThenStop) {
                run.Job->Terminate();
            }
        }
        ASSERT_TRUE(run.WaitForEnd());
        CloseHandle(release);

        EXPECT_EQ(1, run.Ended);
        EXPECT_TRUE(leftBeforeEnd) << "the end notification ran while a lister was inside its listing";
        EXPECT_EQ(opensAtEnd, closesAtEnd) << "a listing was open when the end notification ran";
        // The one lister not held may have been about to open its next folder as the pause came.
        EXPECT_LE(opensWhilePaused, 1);
        EXPECT_FALSE(run.Job->FatalException);
        EXPECT_TRUE(run.Recorder.LogLines.empty());
        if (act == TAct::PauseThenResume) {
            EXPECT_EQ(reference.Recorder.Events, run.Recorder.Events);
            EXPECT_EQ(reference.Job->Counts().FileCount, run.Job->Counts().FileCount);
        } else {
            EXPECT_LT(run.Job->Counts().FileCount, reference.Job->Counts().FileCount);
        }
    }
}

} // namespace
