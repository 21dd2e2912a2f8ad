// The walk against a scripted listing: order, counts, failures, stop, pause and batching.
#include <gtest/gtest.h>

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

    // A run over a fresh fake listing; the listing stays reachable through Fake.
    TScanRun& NewRun(bool byDate = true, int limit = 0, size_t batch = 256) {
        runs.push_back(std::make_unique<TScanRun>());
        TScanRun& run = *runs.back();
        auto listing = std::make_unique<TFakeListing>(Root);
        Fake = listing.get();
        run.Job->Listing = std::move(listing);
        run.Job->RootPath = Root;
        run.Job->Recursive = true;
        run.Job->ByDate = byDate ? 1 : 0;
        run.Job->Limit = limit;
        run.Job->BatchSize = batch;
        return run;
    }
    std::wstring Row(TScanRun& run, const std::wstring& path, FILETIME time) {
        return L"row " + path + L" " + DateTimeText(LocalValue(time), run.Job->FormatSettings);
    }

    TFakeListing* Fake = nullptr;
    std::vector<std::unique_ptr<TScanRun>> runs;
};

TEST_F(WalkTest, WorkedExampleNotifiesDepthFirstInListingOrder) {
    TScanRun& run = NewRun();
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
    EXPECT_EQ(3, run.Job->FileCount);
    EXPECT_TRUE(run.Recorder.LogLines.empty());
    EXPECT_EQ(2, Fake->Opens);
    EXPECT_EQ(2, Fake->Closes);
    EXPECT_FALSE(run.Job->FatalException);
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
    EXPECT_EQ(3, run.Job->FileCount);
    EXPECT_FALSE(run.Job->FatalException);
}

TEST_F(WalkTest, FileCountDoesNotWrapAt32Bits) {
    TScanRun& run = NewRun();
    for (int i = 0; i < 5; ++i) {
        Fake->AddFile(Root + std::to_wstring(i), Minute(i));
    }
    run.Job->FileCount = 0xFFFFFFFFLL - 2;
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(0x100000002LL, run.Job->FileCount);
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

TEST_F(WalkTest, StopDuringADeepWalkEndsCleanlyAndQuietly) {
    for (size_t batch : {size_t{1}, size_t{256}}) {
        SCOPED_TRACE(batch);
        TScanRun& run = NewRun(true, 0, batch);
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
        // The walk finishes the entry at hand, sees the request and lists nothing more.
        EXPECT_LE(Fake->Served - servedAtStop, 1);
        if (batch == 1) {
            EXPECT_EQ(eventsAtStop, run.Recorder.Events.size());
        }
        EXPECT_EQ(Fake->Opens, Fake->Closes);
        EXPECT_EQ(1, run.Ended);
        EXPECT_TRUE(run.Recorder.LogLines.empty());
        EXPECT_LT(run.Job->FileCount, 12 * 100);
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
    EXPECT_EQ(reference.Job->FileCount, run.Job->FileCount);
}

TEST_F(WalkTest, PauseThenStopEndsTheJob) {
    TScanRun& run = NewRun(true, 0, 256);
    DeepTree(*Fake, 8, 400);
    bool paused = false;
    run.Recorder.AfterEvent = [&](const std::wstring& event) {
        if (!paused && event == L"folder " + DeepFolder(2)) {
            paused = true;
            run.Job->Suspend();
        }
    };
    run.Start();
    ASSERT_TRUE(PumpUntil([&] { return paused; }));
    PumpFor(100);
    EXPECT_EQ(0, run.Ended);
    run.Job->Resume();
    run.Job->Terminate();
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(1, run.Ended);
    EXPECT_EQ(Fake->Opens, Fake->Closes);
    EXPECT_TRUE(run.Recorder.LogLines.empty());
    EXPECT_LT(run.Job->FileCount, 8 * 400);
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

// Batches must not change what the sinks see: compare batch sizes on trees of several shapes. In
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
                    run.Job->After = LocalValue(Minute(times == TTimes::FewDistinct ? 1 : 200));
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
                for (const TFileItem& item : run.Job->Files) {
                    held.push_back(item.Name);
                }
                ranking.push_back(held);
                EXPECT_EQ(480, run.Job->FileCount);
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

} // namespace
