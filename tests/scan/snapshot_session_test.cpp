// A scan against the kept snapshot of its root: what the walk hands over in either mode, what is
// compared, and which snapshot is kept after a completed, a partly unread and a stopped scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "scan/snapshot_session.h"
#include "scan_harness.h"

namespace {

const std::wstring Root = L"C:\\r\\";

struct TStep {
    const char* What;
    std::map<std::wstring, std::pair<std::uint64_t, int>> Files; // path: size, day
    std::set<std::wstring> Denied;                               // folders whose listing fails
    enum class TMode { Newest1, AfterAll, Changes } Mode;
    bool Stop; // at the root's first notification
    bool Compared;
    std::vector<std::wstring> Changes; // sorted
    TChangeCounts Counts;
    std::size_t Rows, Files_;
    bool Kept; // the stored snapshot is this scan's
};

std::string Bytes(const std::wstring& path) {
    std::string bytes;
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD read = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &read, nullptr) &&
           read > 0) {
        bytes.append(buffer, read);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return bytes;
}

std::wstring Text(const TChange& change) {
    static const wchar_t* const kinds[] = {L"new ", L"changed ", L"deleted ", L"moved "};
    return kinds[static_cast<int>(change.Kind)] + change.Path +
           (change.Kind == TChangeKind::Moved ? L"<-" + change.OldPath : L"");
}

TEST(SnapshotSessionTest, EachScanIsComparedWithTheLastCompletedOneAndOnlyACompletedOneIsKept) {
    THandOffScope handOff;
    using M = TStep::TMode;
    const std::map<std::wstring, std::pair<std::uint64_t, int>> first = {
        {L"a.txt", {1, 1}}, {L"d\\x", {2, 2}}, {L"d\\y", {3, 3}}, {L"e\\z", {4, 4}}, {L"e\\w", {5, 5}}};
    auto second = first;
    second[L"a.txt"] = {9, 1};
    second.erase(L"e\\z");
    auto third = second;
    third.erase(L"e\\w");
    third[L"n.txt"] = {6, 6};
    third[L"w"] = {5, 5};
    const TStep steps[] = {
        // The number mode's walk hands every file over, not only those that become rows.
        {"first", first, {}, M::Newest1, false, false, {}, {}, 1, 5, true},
        // A folder not read: its files are not seen, never deleted. The date mode hands them all too.
        {"denied",
         second,
         {L"d"},
         M::AfterAll,
         false,
         true,
         {L"changed a.txt", L"deleted e\\z"},
         {0, 1, 1, 0, 2, 0},
         0,
         2,
         true},
        // Stopped: nothing settled, the last completed scan's snapshot stays.
        {"stopped", third, {}, M::Changes, true, true, {}, {}, 0, 2, false},
        // Against the denied scan's: what it could not read is not compared.
        {"moved",
         third,
         {},
         M::Changes,
         false,
         true,
         {L"moved w<-e\\w", L"new n.txt"},
         {1, 0, 0, 1, 0, 2},
         0,
         5,
         true},
    };
    // The earlier snapshot is read beside the walk: the same whether it is read before the walk's
    // first file or only after its last.
    const HANDLE walked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (const bool readLate : {false, true}) {
        SCOPED_TRACE(readLate ? "read after the walk" : "read beside it");
        TTempTree store;
        SetSnapshotFolder(store.Root());
        SetSnapshotReadGateForTesting(
            readLate ? std::function<void()>([walked] { WaitForSingleObject(walked, 20000); })
                     : std::function<void()>());
        std::string kept;
        for (const TStep& step : steps) {
            ResetEvent(walked);
            SCOPED_TRACE(step.What);
            TScanRun run;
            auto listing = std::make_unique<TFakeListing>(Root);
            for (const auto& [path, file] : step.Files) {
                listing->AddFile(Root + path, UtcFileTime(2024, 1, file.second), FILE_ATTRIBUTE_ARCHIVE,
                                 file.first);
            }
            for (const std::wstring& folder : step.Denied) {
                listing->Folder(Root + folder + L"\\").OpenError = ERROR_ACCESS_DENIED;
            }
            run.Job->Listing = std::move(listing);
            run.Job->ListerCount = 0;
            run.Job->BatchSize = 1;
            ASSERT_TRUE(run.Ask(Root, step.Mode == M::AfterAll, step.Mode == M::Newest1 ? 1 : 0,
                                step.Mode == M::AfterAll ? 2958000.0 : 0));
            TSnapshotSession session(run.Job->Request());
            run.Job->Observer = &session;
            run.Job->FilesAsRows = step.Mode != M::Changes;
            if (step.Stop) {
                run.Recorder.AfterEvent = [&run](const std::wstring& event) {
                    if (event == L"folder " + Root) {
                        run.Job->Terminate();
                    }
                };
            }
            ASSERT_TRUE(run.Run());
            SetEvent(walked);
            EXPECT_EQ(step.Stop ? TScanOutcome::Stopped : TScanOutcome::Done, run.Recorder.End.Outcome);
            EXPECT_TRUE(session.End(run.Recorder.End.Outcome, run.Recorder.End.StartUtc));
            EXPECT_EQ(step.Compared, session.HasOld());
            std::vector<std::wstring> changes;
            for (const TChange& change : session.Changes()) {
                changes.push_back(Text(change));
            }
            std::sort(changes.begin(), changes.end());
            EXPECT_EQ(step.Changes, changes);
            EXPECT_EQ(step.Rows, run.Recorder.Rows().size());
            // How far a stopped walk got is its own affair.
            if (!step.Stop) {
                EXPECT_TRUE(step.Counts == session.Counts());
                EXPECT_EQ(step.Files_, session.Files());
            }
            const std::string now = Bytes(session.Path());
            EXPECT_EQ(step.Kept, now != kept);
            kept = now;
            const TSnapshotRead read = ReadSnapshot(session.Path(), Root);
            ASSERT_TRUE(read.Usable());
            if (step.Kept) {
                EXPECT_EQ(step.Denied.empty() ? std::vector<std::wstring>{}
                                              : std::vector<std::wstring>{L"d\\"},
                          read.Scan.UnreadFolders);
            }
        }
    }
    SetSnapshotReadGateForTesting({});
    CloseHandle(walked);
    SetSnapshotFolder({});
}

// Through the system's listing on real files: a file renamed, or moved to another folder and changed
// on the way, keeps its identity and is paired as moved; a new file of a deleted one's name, size and
// time is not. The first scan lists each folder as the walk goes, the second through a lister, so
// both ways carry the identity.
TEST(SnapshotSessionTest, RealFilesMovedAndChangedArePairedByTheirIdentity) {
    THandOffScope handOff;
    TTempTree store, tree;
    SetSnapshotFolder(store.Root());
    const FILETIME day = UtcFileTime(2024, 1, 1), later = UtcFileTime(2024, 2, 1);
    tree.Folder(L"a");
    tree.Folder(L"b");
    tree.File(L"a\\moved.txt", day, 0, 10);
    tree.File(L"a\\renamed.txt", day, 0, 20);
    tree.File(L"a\\gone.txt", day, 0, 30);
    std::vector<std::wstring> changes;
    for (unsigned listers = 0; listers < 2; ++listers) {
        if (listers == 1) {
            const auto move = [&tree](const wchar_t* from, const wchar_t* to) {
                return MoveFileW(SystemPath(tree.Root() + from).c_str(),
                                 SystemPath(tree.Root() + to).c_str());
            };
            ASSERT_TRUE(move(L"a\\moved.txt", L"b\\other.txt"));
            tree.File(L"b\\other.txt", later, 0, 11); // rewritten in place: the same file
            ASSERT_TRUE(move(L"a\\renamed.txt", L"a\\new name.txt"));
            tree.File(L"b\\gone.txt", day, 0, 30); // made before the other goes: another identity
            ASSERT_TRUE(DeleteFileW(SystemPath(tree.Root() + L"a\\gone.txt").c_str()));
        }
        TScanRun run;
        run.Job->ListerCount = listers;
        run.Job->MayReadAhead = [] { return true; };
        ASSERT_TRUE(run.Ask(tree.Root(), false, 0));
        TSnapshotSession session(run.Job->Request());
        run.Job->Observer = &session;
        run.Job->FilesAsRows = false;
        ASSERT_TRUE(run.Run());
        ASSERT_TRUE(session.End(run.Recorder.End.Outcome, run.Recorder.End.StartUtc));
        for (const TChange& change : session.Changes()) {
            changes.push_back(Text(change));
        }
    }
    std::sort(changes.begin(), changes.end());
    const std::vector<std::wstring> expected = {L"deleted a\\gone.txt",
                                                L"moved a\\new name.txt<-a\\renamed.txt",
                                                L"moved b\\other.txt<-a\\moved.txt", L"new b\\gone.txt"};
    EXPECT_EQ(expected, changes);
    SetSnapshotFolder({});
}

} // namespace
