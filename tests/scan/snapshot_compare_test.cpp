// The kept snapshot against the scan that runs now: what is new, changed, deleted, moved, not seen.
#include <gtest/gtest.h>

#include <sstream>

#include "scan/snapshot_compare.h"

namespace {

// A file; id 0: its identity is not known.
TSnapshotEntry File(const wchar_t* path, std::uint64_t size, std::int64_t time, std::uint64_t id = 0) {
    TSnapshotEntry entry;
    entry.Path = path;
    entry.Size = size;
    entry.LastWriteUtc = time;
    entry.Identity = {id ? 7u : 0u, id, 0};
    return entry;
}

// "path size time id|...", as File takes them.
std::vector<TSnapshotEntry> Files(const wchar_t* text) {
    std::vector<TSnapshotEntry> files;
    std::wistringstream in(text);
    for (std::wstring line; std::getline(in, line, L'|');) {
        std::wistringstream fields(line);
        std::wstring path;
        std::uint64_t size = 0, id = 0;
        std::int64_t time = 0;
        fields >> path >> size >> time >> id;
        files.push_back(File(path.c_str(), size, time, id));
    }
    return files;
}

// "moved e\b.txt<-d\a.txt 3/1 4/1": kind, path<-old path, size/old size, time/old time.
std::wstring Text(const TChange& change) {
    static const wchar_t* const kinds[] = {L"new ", L"changed ", L"deleted ", L"moved "};
    return kinds[static_cast<int>(change.Kind)] + change.Path + L"<-" + change.OldPath + L" " +
           std::to_wstring(change.Size) + L"/" + std::to_wstring(change.OldSize) + L" " +
           std::to_wstring(change.LastWriteUtc) + L"/" + std::to_wstring(change.OldLastWriteUtc);
}

// "1 new, 2 not seen": the counts that are not zero.
std::wstring Text(const TChangeCounts& counts) {
    const std::pair<std::size_t, const wchar_t*> parts[] = {
        {counts.New, L" new"},          {counts.Changed, L" changed"},
        {counts.Deleted, L" deleted"},  {counts.Moved, L" moved"},
        {counts.NotSeen, L" not seen"}, {counts.NotSeenBefore, L" not seen before"}};
    std::wstring text;
    for (const auto& [count, name] : parts) {
        if (count) {
            text += (text.empty() ? L"" : L", ") + std::to_wstring(count) + name;
        }
    }
    return text;
}

TCovers Coverage(const wchar_t* skipFolders, const wchar_t* masks, bool recursive = true) {
    TSnapshotScan scan;
    scan.Root = L"C:\\r\\";
    scan.SkipFolders = skipFolders;
    scan.NameMasks = masks;
    scan.Recursive = recursive;
    return ScanCoverage(scan);
}

// The rows Seen gives at once, "--", those Finish settles, then the counts, joined by "|".
TEST(SnapshotCompare, ReportsEachKindOfChangeAndLeavesWhatEitherScanMissedNotSeen) {
    const struct {
        const char* Name;
        const wchar_t *Old, *Now, *Rows;
        const wchar_t* UnreadNow = nullptr; // a folder
        const wchar_t* UnreadBefore = nullptr;
        TCovers CoversNow = {}, CoveredBefore = {};
    } cases[] = {
        {"new", L"a.txt 1 1 1", L"a.txt 1 1 1|b.txt 2 2 2", L"new b.txt<- 2/0 2/0|--|1 new"},
        {"size changed", L"a.txt 1 1 1", L"a.txt 5 1 1", L"changed a.txt<-a.txt 5/1 1/1|--|1 changed"},
        {"time changed only", L"a.txt 1 1 1", L"a.txt 1 9 1", L"changed a.txt<-a.txt 1/1 9/1|--|1 changed"},
        {"deleted", L"a.txt 1 1 1|b.txt 2 2 2", L"a.txt 1 1 1", L"--|deleted b.txt<-b.txt 2/2 2/2|1 deleted"},
        {"renamed within a folder", L"d\\a.txt 1 1 1", L"d\\b.txt 1 1 1",
         L"--|moved d\\b.txt<-d\\a.txt 1/1 1/1|1 moved"},
        {"moved across folders, a file new in the same folder", L"d\\a.txt 1 1 1|e\\k.txt 2 2 2",
         L"e\\k.txt 2 2 2|e\\a.txt 1 1 1|d\\n.txt 1 1 3",
         L"new d\\n.txt<- 1/0 1/0|--|moved e\\a.txt<-d\\a.txt 1/1 1/1|1 new, 1 moved"},
        {"moved and changed", L"d\\a.txt 1 1 1", L"e\\b.txt 3 4 1",
         L"--|moved e\\b.txt<-d\\a.txt 3/1 4/1|1 moved"},
        {"the identity at its own path too: a link, new", L"a.txt 1 1 1", L"a.txt 1 1 1|b.txt 1 1 1",
         L"--|new b.txt<- 1/0 1/0|1 new"},
        {"no identities: moved by name, size and time; another time is no move",
         L"d\\a.txt 1 1 0|d\\b.txt 2 2 0", L"e\\a.txt 1 1 0|e\\b.txt 2 3 0",
         L"new e\\b.txt<- 2/0 3/0|--|moved e\\a.txt<-d\\a.txt 1/1 1/1|deleted d\\b.txt<-d\\b.txt 2/2 2/2"
         L"|1 new, 1 deleted, 1 moved"},
        {"no identities: two ends on either side are not paired",
         L"d\\a.txt 1 1 0|f\\a.txt 1 1 0|d\\b.txt 2 2 0", L"e\\a.txt 1 1 0|e\\b.txt 2 2 0|g\\B.TXT 2 2 0",
         L"--|new e\\a.txt<- 1/0 1/0|new e\\b.txt<- 2/0 2/0|new g\\B.TXT<- 2/0 2/0"
         L"|deleted d\\a.txt<-d\\a.txt 1/1 1/1|deleted f\\a.txt<-f\\a.txt 1/1 1/1"
         L"|deleted d\\b.txt<-d\\b.txt 2/2 2/2|3 new, 3 deleted"},
        {"a folder unread now, its subfolder too; a folder of a longer name is not in it",
         L"d\\a.txt 1 1 1|D\\s\\b.txt 2 2 2|dd\\c.txt 3 3 3", L"",
         L"--|deleted dd\\c.txt<-dd\\c.txt 3/3 3/3|1 deleted, 2 not seen", L"d"},
        {"the root unread now", L"a.txt 1 1 1|d\\b.txt 2 2 2", L"", L"--|2 not seen", L""},
        {"a folder unread before: its files are not new", L"a.txt 1 1 1", L"a.txt 1 1 1|d\\s\\n.txt 1 1 2",
         L"--|1 not seen before", nullptr, L"d\\"},
        {"skipped by today's folder patterns and masks",
         L"obj\\a.o 1 1 1|src\\b.c 2 2 2|src\\r.txt 3 3 3|x\\obj\\c.c 4 4 4|top.c 5 5 5", L"top.c 5 5 5",
         L"--|deleted src\\b.c<-src\\b.c 2/2 2/2|1 deleted, 3 not seen", nullptr, nullptr,
         Coverage(L"obj", L"*.c")},
        {"not recursive now", L"top.c 5 5 5|s\\b.c 2 2 2", L"",
         L"--|deleted top.c<-top.c 5/5 5/5|1 deleted, 1 not seen", nullptr, nullptr,
         Coverage(L"", L"", false)},
        {"filters that differ: only what both covered", L"src\\b.c 2 2 2",
         L"src\\b.c 2 2 2|src\\n.txt 1 1 3|src\\n.c 1 1 4|bin\\m.c 1 1 5",
         L"new src\\n.c<- 1/0 1/0|--|1 new, 2 not seen before", nullptr, nullptr, nullptr,
         Coverage(L"bin", L"*.c")},
        {"case only differs: the same file", L"Dir\\\u00c4pfel.TXT 1 1 1|Dir\\B.txt 2 2 2",
         L"dIR\\\u00e4pfel.txt 1 1 3|dir\\b.TXT 3 2 4",
         L"changed dir\\b.TXT<-Dir\\B.txt 3/2 2/2|--|1 changed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TSnapshotScan old, now;
        if (c.UnreadBefore) {
            old.UnreadFolders = {c.UnreadBefore};
        }
        if (c.UnreadNow) {
            now.UnreadFolders = {c.UnreadNow};
        }
        TSnapshotComparison comparison(old, Files(c.Old), c.CoversNow, c.CoveredBefore);
        std::wstring rows;
        for (const TSnapshotEntry& file : Files(c.Now)) {
            TChange change;
            const TSeen seen = comparison.Seen(file, change);
            if (seen == TSeen::New || seen == TSeen::Changed) {
                rows += Text(change) + L"|";
            }
        }
        rows += L"--";
        for (const TChange& change : comparison.Finish(now)) {
            rows += L"|" + Text(change);
        }
        EXPECT_EQ(c.Rows, rows + L"|" + Text(comparison.Counts()));
        EXPECT_TRUE(comparison.Finish(now).empty()) << "settled once";
    }
}

// 100,000 files in 1,000 folders, 1% of them changed in every way, one folder unread, a file of the
// same name, size and time in every folder: exact counts, and the memory kept a file.
TEST(SnapshotCompare, CountsExactlyOnAHundredThousandFiles) {
    constexpr int files = 100'000, perFolder = 100, unreadFolder = 999;
    std::vector<TSnapshotEntry> old, now;
    TChangeCounts expected;
    for (int i = 0; i < files; ++i) {
        const int folder = i / perFolder;
        const std::wstring path = L"f" + std::to_wstring(folder) + L"\\n" + std::to_wstring(i) + L".txt";
        // Identities for all but one fate: those move by name, size and time.
        const int fate = folder == unreadFolder ? -1 : i % 700;
        TSnapshotEntry file = File(path.c_str(), i, i * 10, fate == 3 ? 0 : i + 1);
        old.push_back(file);
        if (i % perFolder == 0) {
            old.push_back(File((L"f" + std::to_wstring(folder) + L"\\desktop.ini").c_str(), 64, 1));
            if (folder == unreadFolder) {
                ++expected.NotSeen;
            } else {
                now.push_back(old.back());
            }
        }
        switch (fate) {
        case -1:
            ++expected.NotSeen;
            continue;
        case 0:
            file.Size += 1;
            ++expected.Changed;
            break;
        case 1:
            file.LastWriteUtc += 1;
            ++expected.Changed;
            break;
        case 2:
            ++expected.Deleted;
            continue;
        case 3: // moved across folders, with and without an identity
        case 4:
            file.Path = L"m\\" + file.Path;
            ++expected.Moved;
            break;
        case 5: // renamed and changed
            file.Path += L".bak";
            file.Size = 0;
            ++expected.Moved;
            break;
        case 6:
            now.push_back(File((L"new\\" + std::to_wstring(i)).c_str(), 1, 1, files + i));
            ++expected.New;
        }
        now.push_back(file);
    }
    now.push_back(File(L"new\\desktop.ini", 64, 1));
    ++expected.New;
    TSnapshotScan scan;
    scan.UnreadFolders = {L"f" + std::to_wstring(unreadFolder)};
    TSnapshotComparison comparison({}, std::move(old), {}, {});
    std::size_t rows = 0;
    for (const TSnapshotEntry& file : now) {
        TChange change;
        const TSeen seen = comparison.Seen(file, change);
        rows += seen == TSeen::New || seen == TSeen::Changed;
    }
    rows += comparison.Finish(scan).size();
    EXPECT_EQ(Text(expected), Text(comparison.Counts()));
    EXPECT_EQ(expected.New + expected.Changed + expected.Deleted + expected.Moved, rows);
    EXPECT_LE(comparison.BytesBesideNames(), 60 * comparison.OldFiles());
}

} // namespace
