// The snapshot file: read back as written; cut, damaged, foreign and other files named and treated as
// absent; a write that fails at any step leaves the previous file whole; the store keeps the newest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "scan/snapshot_file.h"
#include "scan_harness.h"

namespace {

std::string Bytes(const std::wstring& path) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    return bytes.substr(0, file == INVALID_HANDLE_VALUE ? 0 : got);
}

void Put(const std::wstring& path, std::string_view bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(file);
}

std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &found);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(found.cFileName);
        }
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    std::sort(names.begin(), names.end());
    return names;
}

const TSnapshotScan TheScan{L"C:\\Data\\Tree\\",
                            false,
                            L"node_modules;.git",
                            L"*.txt;*.jpg",
                            2,
                            133'000'000'000'000'000,
                            133'000'000'123'456'789,
                            {L"", L"locked\\", L"Ünï\\日本\\"}};

// Folders left and come back to, names sharing starts, and every field at its limits.
const std::vector<TSnapshotEntry> Varied{
    {L"a.txt", 0, 0, 0, 0, {}},
    {L"sub\\Ünïcødé 日本語 \U0001F600.txt",
     (1ull << 32) + 1,
     133'000'000'000'000'001,
     133'000'000'000'000'001,
     0x20,
     {0xABCD1234, 77, 0}},
    {L"sub\\IMG_0001.jpg", (1ull << 53) + 1, INT64_MAX, 0, 0x20, {0xABCD1234, 5, 0xFEDCBA9876543210}},
    {L"sub\\IMG_0002.jpg", UINT64_MAX, INT64_MIN, INT64_MAX, 0x80, {0x9999, UINT64_MAX, 0}},
    {L"sub\\lone \xD800 half.txt", 1, -1, 1, 0xFFFFFFFF, {0, 1, 0}},
    {std::wstring(250, L'x') + L"\\deep\\" + std::wstring(30, L'y') + L".bin", 4096, 5, 5, 0x21, {}},
    {L"b.txt", 2, 6, 7, 0x20, {0x9999, 3, 0}},
    {L"sub\\again.txt", 3, 8, 8, 0x20, {0x9999, 4, 0}},
};

void ExpectRead(const TSnapshotRead& read, const TSnapshotScan& scan,
                const std::vector<TSnapshotEntry>& entries) {
    ASSERT_EQ(read.State, TSnapshotState::Read) << read.Problem;
    EXPECT_EQ(read.Scan.Root, scan.Root);
    EXPECT_EQ(std::tie(read.Scan.Recursive, read.Scan.SkipFolders, read.Scan.NameMasks, read.Scan.TimeKind,
                       read.Scan.StartUtc, read.Scan.EndUtc, read.Scan.UnreadFolders),
              std::tie(scan.Recursive, scan.SkipFolders, scan.NameMasks, scan.TimeKind, scan.StartUtc,
                       scan.EndUtc, scan.UnreadFolders));
    ASSERT_EQ(read.Entries.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TSnapshotEntry &a = read.Entries[i], &b = entries[i];
        EXPECT_EQ(std::tie(a.Path, a.Size, a.LastWriteUtc, a.CreationUtc, a.Attributes, a.Identity),
                  std::tie(b.Path, b.Size, b.LastWriteUtc, b.CreationUtc, b.Attributes, b.Identity))
            << i;
    }
}

bool Write(const std::wstring& path, const std::vector<TSnapshotEntry>& entries, TWholeFileFault fault = {},
           std::size_t block = TSnapshotWriter::BlockBytes) {
    TSnapshotWriter writer(path, std::move(fault), block);
    for (const TSnapshotEntry& entry : entries) {
        writer.Add(entry);
    }
    return writer.Finish(TheScan) && writer.Error() == 0;
}

TEST(SnapshotFile, EntriesAndScanAreReadBackAsWritten) {
    TTempTree tree;
    for (const auto& entries : {Varied, std::vector<TSnapshotEntry>{}}) {
        ASSERT_TRUE(Write(tree.Root() + L"s.qsnap", entries));
        // The root as another scan may spell it.
        ExpectRead(ReadSnapshot(tree.Root() + L"s.qsnap", L"c:\\data\\TREE\\"), TheScan, entries);
    }
}

TEST(SnapshotFile, CutDamagedForeignAndOtherFilesAreNamedAndTreatedAsAbsent) {
    TTempTree tree;
    const std::wstring path = tree.Root() + L"s.qsnap";
    ASSERT_TRUE(Write(path, Varied));
    const std::string good = Bytes(path);
    const auto flipped = [&](std::size_t at) {
        std::string bytes = good;
        bytes[at] ^= 0x10;
        return bytes;
    };
    std::vector<std::tuple<std::string, std::string, std::wstring, TSnapshotState>> cases{
        {"magic", flipped(1), TheScan.Root, TSnapshotState::Foreign},
        {"version", flipped(8), TheScan.Root, TSnapshotState::OtherVersion},
        {"first entry", flipped(13), TheScan.Root, TSnapshotState::Damaged},
        {"middle", flipped(good.size() / 2), TheScan.Root, TSnapshotState::Damaged},
        {"where the scan begins", flipped(good.size() - 40), TheScan.Root, TSnapshotState::Damaged},
        {"length", flipped(good.size() - 24), TheScan.Root, TSnapshotState::CutShort},
        {"checksum", flipped(good.size() - 1), TheScan.Root, TSnapshotState::Damaged},
        {"another root", good, L"C:\\Data\\", TSnapshotState::OtherRoot},
        {"text", "Quenwick snapshot, honestly\r\n", TheScan.Root, TSnapshotState::Foreign},
        {"appended to", good + "more", TheScan.Root, TSnapshotState::CutShort},
    };
    for (std::size_t cut = 0; cut < good.size(); cut += 100) {
        cases.emplace_back("cut at " + std::to_string(cut), good.substr(0, cut), TheScan.Root,
                           TSnapshotState::CutShort);
    }
    for (const auto& [name, bytes, root, state] : cases) {
        Put(path, bytes);
        const TSnapshotRead read = ReadSnapshot(path, root);
        EXPECT_EQ(read.State, state) << name;
        EXPECT_TRUE(read.Entries.empty()) << name;
        // One sentence, naming the file.
        EXPECT_NE(read.Problem.find(path), std::wstring::npos) << name;
        EXPECT_EQ(std::count(read.Problem.begin(), read.Problem.end(), L'.') -
                      std::count(path.begin(), path.end(), L'.'),
                  1)
            << name;
    }
    const TSnapshotRead missing = ReadSnapshot(tree.Root() + L"none.qsnap", TheScan.Root);
    EXPECT_EQ(missing.State, TSnapshotState::Missing);
    EXPECT_TRUE(missing.Problem.empty());
}

// Bytes no write makes but with a checksum that fits: every length is held against what is there.
TEST(SnapshotFile, HostileBytesWithAFittingChecksumNeverReadPastTheEnd) {
    TTempTree tree;
    ASSERT_TRUE(Write(tree.Root() + L"s.qsnap", Varied));
    const std::string good = Bytes(tree.Root() + L"s.qsnap");
    for (std::size_t at = 12; at < good.size() - 8; ++at) {
        // A tag, a length running on, a length near 2^63.
        for (const std::string_view patch :
             {"\xFF", "\x80", "\x41", "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F"}) {
            std::string bytes = good;
            bytes.replace(at, std::min(patch.size(), bytes.size() - 8 - at),
                          patch.substr(0, bytes.size() - 8 - at));
            const std::uint64_t checksum =
                SnapshotChecksum(std::string_view(bytes).substr(0, bytes.size() - 8));
            for (int i = 0; i < 8; ++i) {
                bytes[bytes.size() - 8 + i] = static_cast<char>(checksum >> (8 * i));
            }
            const TSnapshotRead read = ReadSnapshotBytes(bytes, L"s.qsnap", TheScan.Root);
            if (read.Usable()) {
                EXPECT_EQ(read.Entries.size(), Varied.size()) << at;
            } else {
                EXPECT_FALSE(read.Problem.empty()) << at;
            }
        }
    }
}

TEST(SnapshotFile, AWriteThatFailsAtAnyStepLeavesThePreviousSnapshotWhole) {
    TTempTree tree;
    const std::wstring path = tree.Root() + L"s.qsnap";
    ASSERT_TRUE(Write(path, Varied));
    const std::string before = Bytes(path);
    std::vector<TSnapshotEntry> changed = Varied;
    changed.resize(changed.size() - 1);
    int failedWrites = 0;
    for (const TWholeFileStep step :
         {TWholeFileStep::Create, TWholeFileStep::Flush, TWholeFileStep::Move, TWholeFileStep::Write}) {
        for (int nth = 1;; ++nth) {
            int seen = 0;
            const bool written = Write(
                path, changed,
                [&](TWholeFileStep at) -> DWORD { return at == step && ++seen == nth ? ERROR_DISK_FULL : 0; },
                64);
            if (seen < nth) {
                // Each write failed in turn; past the last one the write succeeds.
                EXPECT_TRUE(written && step == TWholeFileStep::Write) << nth;
                break;
            }
            failedWrites += step == TWholeFileStep::Write;
            EXPECT_FALSE(written) << static_cast<int>(step) << " " << nth;
            EXPECT_EQ(Bytes(path), before) << static_cast<int>(step) << " " << nth;
            EXPECT_EQ(Names(tree.Root()), std::vector<std::wstring>{L"s.qsnap"}) << static_cast<int>(step);
            if (step != TWholeFileStep::Write) {
                break;
            }
        }
    }
    EXPECT_GE(failedWrites, 3);
    ExpectRead(ReadSnapshot(path, TheScan.Root), TheScan, changed);
    // One that fails says so; one given up leaves nothing.
    const std::string after = Bytes(path);
    {
        TSnapshotWriter writer(path, [](TWholeFileStep) -> DWORD { return ERROR_DISK_FULL; });
        EXPECT_FALSE(writer.Finish(TheScan));
        EXPECT_NE(writer.ErrorText().find(path), std::wstring::npos);
        TSnapshotWriter abandoned(path);
        abandoned.Add(Varied[0]);
    }
    EXPECT_EQ(Bytes(path), after);
    EXPECT_EQ(Names(tree.Root()), std::vector<std::wstring>{L"s.qsnap"});
}

TEST(SnapshotStore, OneFileARootAndFiltersAndTheSixteenWrittenLastAreKept) {
    TTempTree tree;
    SetSnapshotFolder(tree.Root());
    const std::wstring path = SnapshotPathFor(TheScan);
    EXPECT_EQ(path.size(), tree.Root().size() + 22);
    EXPECT_EQ(path.rfind(L".qsnap"), path.size() - 6);
    TSnapshotScan other = TheScan;
    other.Root = L"c:\\DATA\\tree\\";
    EXPECT_EQ(SnapshotPathFor(other), path);
    const auto changes = std::initializer_list<void (*)(TSnapshotScan&)>{
        [](TSnapshotScan& s) { s.Root = L"C:\\Data\\"; }, [](TSnapshotScan& s) { s.Recursive = true; },
        [](TSnapshotScan& s) { s.SkipFolders.clear(); },
        [](TSnapshotScan& s) { s.NameMasks = L"*.jpg;*.txt"; }, [](TSnapshotScan& s) { s.TimeKind = 0; }};
    for (const auto change : changes) {
        other = TheScan;
        change(other);
        EXPECT_NE(SnapshotPathFor(other), path);
    }
    // Sixteen written with times of their own, the sixth the oldest, and temporary files old and new;
    // the seventeenth written last, with a clock set back.
    std::vector<std::wstring> names;
    for (int i = 0; i < 17; ++i) {
        other.Root = L"C:\\Root" + std::to_wstring(i) + L"\\";
        names.push_back(SnapshotPathFor(other).substr(tree.Root().size()));
        tree.File(names.back(), UtcFileTime(2026, 1, i == 5 || i == 16 ? 1 : 2, i % 16));
    }
    tree.File(L"~quenwick-1-1.tmp", UtcFileTime(2020, 1, 1));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    tree.File(L"~quenwick-1-2.tmp", now);
    ForgetOldSnapshots(tree.Root() + names[16]);
    names.erase(names.begin() + 5);
    names.push_back(L"~quenwick-1-2.tmp");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Names(tree.Root()), names);
    SetSnapshotFolder({});
}

} // namespace
