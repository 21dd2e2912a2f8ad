// The walk over real folders under Wine's temporary folder, with times set by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "scan/sys_error.h"
#include "scan_harness.h"

namespace {

class TreeTest : public ::testing::Test {
  protected:
    THandOffScope handOff;
    TTempTree tree;

    std::unique_ptr<TScanRun> NewRun(bool byDate, int limit, bool recursive = true) {
        auto run = std::make_unique<TScanRun>();
        run->Ask(tree.Root(), byDate, limit, 0, recursive);
        return run;
    }
};

std::vector<std::wstring> EventsStartingWith(const std::vector<std::wstring>& events,
                                             const std::wstring& prefix) {
    std::vector<std::wstring> found;
    for (const std::wstring& event : events) {
        if (event.rfind(prefix, 0) == 0) {
            found.push_back(event);
        }
    }
    return found;
}

size_t IndexOf(const std::vector<std::wstring>& events, const std::wstring& prefix) {
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].rfind(prefix, 0) == 0) {
            return i;
        }
    }
    return SIZE_MAX;
}

TEST_F(TreeTest, EveryFileIsCountedAndASubfolderIsWalkedWhereItIsMet) {
    tree.File(L"a.txt", UtcFileTime(2020, 1, 1));
    tree.Folder(L"sub");
    tree.File(L"sub\\b.txt", UtcFileTime(2020, 1, 2));
    tree.File(L"c.txt", UtcFileTime(2020, 1, 3));
    auto run = NewRun(true, 0);
    ASSERT_TRUE(run->Run());

    const auto& events = run->Recorder.Events;
    ASSERT_EQ(5u, events.size());
    EXPECT_EQ(L"folder " + tree.Root(), events[0]);
    const size_t sub = IndexOf(events, L"folder " + tree.Root() + L"sub\\");
    ASSERT_NE(SIZE_MAX, sub);
    ASSERT_LT(sub + 1, events.size());
    EXPECT_EQ(0u, events[sub + 1].rfind(L"row " + tree.Root() + L"sub\\b.txt ", 0));
    EXPECT_EQ(3u, EventsStartingWith(events, L"row ").size());
    EXPECT_EQ(3, run->Job->Counts().FileCount);
    EXPECT_TRUE(run->Recorder.LogLines.empty());
    EXPECT_EQ(1, run->Ended);
}

TEST_F(TreeTest, NumberModeEdges) {
    // Three files share the newest time; the walk's own order decides which one N = 1 keeps.
    for (int i = 0; i < 4; ++i) {
        tree.Folder(L"d" + std::to_wstring(i));
        tree.File(L"d" + std::to_wstring(i) + L"\\old", UtcFileTime(2019, 1, 1 + i));
        tree.File(L"d" + std::to_wstring(i) + L"\\new", UtcFileTime(i == 0 ? 2018 : 2021, 5, 5));
    }
    {
        SCOPED_TRACE("N = 0");
        auto run = NewRun(false, 0);
        ASSERT_TRUE(run->Run());
        EXPECT_TRUE(run->Recorder.Rows().empty());
        EXPECT_TRUE(run->Job->Ranking().Files().empty());
        EXPECT_EQ(0, run->Job->Ranking().After());
        EXPECT_EQ(8, run->Job->Counts().FileCount);
        EXPECT_EQ(5u, EventsStartingWith(run->Recorder.Events, L"folder ").size());
    }
    {
        SCOPED_TRACE("N = 1");
        auto run = NewRun(false, 1);
        ASSERT_TRUE(run->Run());
        std::wstring firstNewest;
        for (const std::wstring& event : EventsStartingWith(run->Recorder.Events, L"row ")) {
            if (firstNewest.empty() && event.find(L"\\new ") != std::wstring::npos &&
                event.find(L"\\d0\\") == std::wstring::npos) {
                firstNewest = event.substr(4, event.find(L"\\new "));
            }
        }
        ASSERT_EQ(1u, run->Recorder.Rows().size());
        EXPECT_EQ(firstNewest, run->Recorder.Rows()[0]);
        EXPECT_EQ(FileTimeTicks(UtcFileTime(2021, 5, 5)), run->Job->Ranking().After());
    }
}

TEST_F(TreeTest, DateModeTakesOnlyTimesStrictlyAfterTheMoment) {
    const FILETIME moment = UtcFileTime(2022, 6, 1, 10, 20, 30, 400);
    tree.File(L"at", moment);
    tree.File(L"later", UtcFileTime(2022, 6, 1, 10, 20, 30, 401));
    tree.File(L"earlier", UtcFileTime(2022, 6, 1, 10, 20, 30, 399));
    auto run = NewRun(true, 0);
    run->Ask(tree.Root(), true, 0, LocalValue(moment));
    ASSERT_TRUE(run->Run());
    EXPECT_EQ((std::vector<std::wstring>{tree.Root() + L"later"}), run->Recorder.Rows());
    EXPECT_TRUE(run->Job->Ranking().Files().empty());
    EXPECT_EQ(LocalValue(moment), run->Job->Request().After);
    EXPECT_EQ(FileTimeTicks(moment), run->Job->Request().AfterUtc); // the instant, made once
    EXPECT_EQ(3, run->Job->Counts().FileCount);
}

TEST_F(TreeTest, WhatIsEnteredAndWhatIsCounted) {
    tree.File(L"plain", UtcFileTime(2020, 1, 1));
    tree.File(L"hidden", UtcFileTime(2020, 1, 1), FILE_ATTRIBUTE_HIDDEN);
    tree.File(L"system", UtcFileTime(2020, 1, 1), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    tree.Folder(L".dotted");
    tree.File(L".dotted\\inside", UtcFileTime(2020, 1, 1));
    tree.Folder(L"sub");
    tree.File(L"sub\\deeper", UtcFileTime(2020, 1, 1));
    struct TCase {
        bool Recursive;
        std::vector<std::wstring> Rows;
    };
    const TCase cases[] = {
        {true, {L"plain", L"hidden", L"system", L".dotted\\inside", L"sub\\deeper"}},
        {false, {L"plain", L"hidden", L"system"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Recursive);
        auto run = NewRun(true, 0, c.Recursive);
        ASSERT_TRUE(run->Run());
        auto rows = run->Recorder.Rows();
        std::vector<std::wstring> expected;
        for (const std::wstring& name : c.Rows) {
            expected.push_back(tree.Root() + name);
        }
        std::sort(rows.begin(), rows.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, rows);
        EXPECT_EQ(static_cast<std::int64_t>(c.Rows.size()), run->Job->Counts().FileCount);
        EXPECT_EQ(c.Recursive ? 3u : 1u, EventsStartingWith(run->Recorder.Events, L"folder ").size());
    }
}

TEST_F(TreeTest, AMissingRootGivesOneLineWithPathNotFound) {
    auto run = NewRun(true, 0);
    run->Ask(tree.Root() + L"missing\\", true, 0);
    ASSERT_TRUE(run->Run());
    EXPECT_EQ((std::vector<std::wstring>{LogLine(tree.Root() + L"missing\\", ERROR_PATH_NOT_FOUND)}),
              run->Recorder.LogLines);
    EXPECT_EQ(0, run->Job->Counts().FileCount);
    EXPECT_EQ(1, run->Ended);
}

// Paths past 260 characters, and names ending in a dot or a blank (which only \\?\ reaches), are
// walked like any other.
TEST_F(TreeTest, LongPathsAndNamesEndingInADotOrABlankAreWalked) {
    std::wstring relative;
    std::vector<std::wstring> files;
    for (int level = 0; (tree.Root() + relative).size() < 420; ++level) {
        relative += std::wstring(40, static_cast<wchar_t>(L'a' + level)) +
                    (level == 2   ? L"."
                     : level == 3 ? L" "
                                  : L"") +
                    L"\\";
        tree.Folder(relative);
        files.push_back(tree.File(relative + (level == 4 ? L"file." : L"file"), UtcFileTime(2020, 1, 1)));
    }
    auto run = NewRun(false, 100);
    run->Ask(L"\\\\?\\" + tree.Root(), false, 100);
    ASSERT_TRUE(run->Run());
    EXPECT_EQ(std::vector<std::wstring>{}, run->Recorder.LogLines);
    std::vector<std::wstring> rows = run->Recorder.Rows();
    std::sort(rows.begin(), rows.end());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, rows);
}

TEST_F(TreeTest, FolderLinksThatLoopAreLoggedNotFollowed) {
    tree.File(L"top", UtcFileTime(2020, 1, 1));
    tree.Folder(L"sub");
    tree.File(L"sub\\inner", UtcFileTime(2020, 1, 2));
    tree.Folder(L"other");
    tree.File(L"other\\elsewhere", UtcFileTime(2020, 1, 3));
    tree.Link(L"sub\\self", ".");
    tree.Link(L"sub\\up1", "..");
    tree.Link(L"sub\\up2", "..");
    tree.Link(L"sub\\across", tree.UnixPath(L"other")); // not a loop: walked
    const DWORD attributes = GetFileAttributesW((tree.Root() + L"sub\\self").c_str());
    ASSERT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));

    auto run = NewRun(true, 0);
    ASSERT_TRUE(run->Run());

    auto rows = run->Recorder.Rows();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(
        (std::vector<std::wstring>{tree.Root() + L"other\\elsewhere", tree.Root() + L"sub\\across\\elsewhere",
                                   tree.Root() + L"sub\\inner", tree.Root() + L"top"}),
        rows);
    auto lines = run->Recorder.LogLines;
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ((std::vector<std::wstring>{LogLine(tree.Root() + L"sub\\self\\", ERROR_CANT_RESOLVE_FILENAME),
                                         LogLine(tree.Root() + L"sub\\up1\\", ERROR_CANT_RESOLVE_FILENAME),
                                         LogLine(tree.Root() + L"sub\\up2\\", ERROR_CANT_RESOLVE_FILENAME)}),
              lines);
    EXPECT_EQ(1, run->Ended);
}

// Listers change nothing the sink sees on a real tree with every kind of folder the walk meets:
// wide and deep ones, an empty one, hidden and dotted ones, link loops and a link across, and a
// chain past 260 characters. The walk is held at the root until a lister has opened a folder.
TEST_F(TreeTest, ListersChangeNothingAtTheSinks) {
    int minute = 0;
    const auto next = [&minute] {
        ++minute;
        return UtcFileTime(2021, 3, 1, minute / 60, minute % 60);
    };
    tree.File(L"top", next());
    tree.File(L"hidden", next(), FILE_ATTRIBUTE_HIDDEN);
    tree.Folder(L".dotted");
    tree.File(L".dotted\\inside", next());
    for (int w = 0; w < 8; ++w) {
        const std::wstring wide = L"w" + std::to_wstring(w);
        tree.Folder(wide);
        for (int s = 0; s < 3; ++s) {
            tree.Folder(wide + L"\\s" + std::to_wstring(s));
            for (int f = 0; f < 3; ++f) {
                tree.File(wide + L"\\s" + std::to_wstring(s) + L"\\f" + std::to_wstring(f), next());
            }
        }
    }
    std::wstring deep = L"deep";
    for (int level = 0; level < 10; ++level, deep += L"\\d") {
        tree.Folder(deep);
        tree.File(deep + L"\\f", next());
    }
    tree.Folder(L"empty");
    tree.Folder(L"sub");
    tree.File(L"sub\\inner", next());
    tree.Folder(L"other");
    tree.File(L"other\\elsewhere", next());
    tree.Link(L"sub\\self", ".");
    tree.Link(L"sub\\up", "..");
    tree.Link(L"sub\\across", tree.UnixPath(L"other"));
    std::wstring chain;
    while ((tree.Root() + chain + L"*.*").size() + 1 <= MAX_PATH) {
        chain += std::wstring(40, L'c') + L"\\";
        tree.Folder(chain);
        tree.File(chain + L"f", next());
    }

    struct TConfig {
        unsigned Listers;
        size_t Folders;
        size_t Entries;
    };
    for (bool byDate : {true, false}) {
        std::vector<std::wstring> reference;
        for (TConfig config : {TConfig{0, 256, 262144}, TConfig{1, 256, 262144}, TConfig{2, 256, 262144},
                               TConfig{8, 256, 262144}, TConfig{2, 2, 30}}) {
            SCOPED_TRACE(testing::Message()
                         << "byDate " << byDate << " listers " << config.Listers << " folders "
                         << config.Folders << " entries " << config.Entries);
            auto run = NewRun(byDate, 5);
            run->Job->ListerCount = config.Listers;
            run->Job->MaxFoldersAhead = config.Folders;
            run->Job->MaxEntriesAhead = config.Entries;
            run->Job->BatchSize = 1;
            auto listing = std::make_unique<TWatchedListing>(CreateSystemListing());
            TWatchedListing& watch = *listing;
            run->Job->Listing = std::move(listing);
            std::atomic<int> strayOpens{0};
            watch.BeforeOpen = [&](const std::wstring& folder, bool byWalk) {
                if (!byWalk && (folder.find(L"\\sub\\self\\") != std::wstring::npos ||
                                folder.find(L"\\sub\\up\\") != std::wstring::npos ||
                                folder.find(L"\\sub\\across\\") != std::wstring::npos)) {
                    ++strayOpens;
                }
            };
            bool held = config.Listers == 0;
            run->Recorder.AfterEvent = [&](const std::wstring& event) {
                if (!held && event == L"folder " + tree.Root()) {
                    const ULONGLONG deadline = GetTickCount64() + 20000;
                    while (watch.OpenedAhead == 0 && GetTickCount64() < deadline) {
                        Sleep(1);
                    }
                    held = watch.OpenedAhead > 0;
                }
            };

            ASSERT_TRUE(run->Run());

            EXPECT_TRUE(held) << "no lister opened a folder";
            EXPECT_EQ(0, strayOpens) << "a lister went through a link";
            std::vector<std::wstring> seen = run->Recorder.Events;
            seen.push_back(L"count " + std::to_wstring(run->Job->Counts().FileCount));
            if (config.Listers == 0) {
                reference = seen;
                EXPECT_EQ(2u, run->Recorder.LogLines.size()) << "two loops";
            } else {
                EXPECT_EQ(reference, seen);
            }
            EXPECT_LE(run->Job->PeakFoldersAhead, config.Folders);
            EXPECT_LE(run->Job->PeakEntriesAhead, config.Entries);
        }
    }
}

// What the system is handed carries the long-path prefix; what users see never does, but a volume's
// path has no other form. A path with the prefix is never resolved.
TEST(SystemPath, PrefixesFullPathsAndOrdinaryPathTakesItOff) {
    const std::wstring volume = L"\\\\?\\Volume{26a21bda-a627-11d7-9931-806e6f6e6963}\\a\\";
    const std::wstring shadow = L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\\a\\";
    const struct {
        std::wstring Given, System, Ordinary;
    } cases[] = {
        {L"C:\\data\\", L"\\\\?\\C:\\data\\", L"C:\\data\\"},
        {L"\\\\server\\share\\a\\", L"\\\\?\\UNC\\server\\share\\a\\", L"\\\\server\\share\\a\\"},
        {L"\\\\?\\C:\\x", L"\\\\?\\C:\\x", L"C:\\x"},
        {L"relative\\", L"relative\\", L"relative\\"},
        {volume, volume, volume},
        {shadow, shadow, shadow},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.System, SystemPath(c.Given));
        EXPECT_EQ(c.Ordinary, OrdinaryPath(c.System));
    }
    EXPECT_EQ(L"\\\\?\\C:\\a\\..\\b. ", FullPath(L"\\\\?\\C:\\a\\..\\b. "));
}

} // namespace
