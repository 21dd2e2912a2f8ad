// Trees too big or too deep for everyday use: a million files in both modes, 2,000 levels, long paths.
#include <algorithm>
#include <windows.h>
#include <shlwapi.h>
#include "reliability_support.h"
#include "scan/date_time.h"
#include "scan/sys_error.h"

namespace reliability {
namespace {

constexpr int MillionFiles = 1000000;

struct TMillionFile {
    long long Seconds;
    std::wstring Path;
};

// The million tree as make_trees.py makes it: file i at BASE + (i * 7919) mod 1000003 seconds.
std::vector<TMillionFile> MillionFilesNewestFirst(const std::wstring& root) {
    std::vector<TMillionFile> files;
    files.reserve(MillionFiles);
    wchar_t name[32];
    for (int i = 0; i < MillionFiles; ++i) {
        swprintf(name, 32, L"d%02d\\e%02d\\f%04d.txt", i / 100000, i / 1000 % 100, i % 1000);
        files.push_back({TreeBase + (static_cast<long long>(i) * 7919) % 1000003, root + name});
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.Seconds > b.Seconds; });
    return files;
}

using BigTreeTest = WindowTest;

TEST_F(BigTreeTest, AMillionFilesInTheNumberModeGiveTheHundredNewest) {
    const std::wstring root = LinuxTree("million");
    const auto files = MillionFilesNewestFirst(root);
    Start(root, 100);
    ASSERT_TRUE(Ends(300000)) << "the scan did not end";
    EXPECT_EQ(MillionFiles, ReportedCount()) << form->StatusBar.Text();
    EXPECT_TRUE(logs.empty());
    const auto rows = Rows();
    ASSERT_EQ(100u, rows.size());
    const TFormatSettings settings = UserFormatSettings();
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(files[i].Path, rows[i].Path) << i;
        EXPECT_EQ(DateTimeText(LocalValue(UnixTime(files[i].Seconds)), settings), rows[i].TimeText) << i;
    }
}

TEST_F(BigTreeTest, HeaderSortsDuringAMillionFileScanLeaveTheRankingWhole) {
    const std::wstring root = LinuxTree("million");
    const auto files = MillionFilesNewestFirst(root);
    Start(root, 1000);
    int sorts = 0;
    const ULONGLONG deadline = GetTickCount64() + 300000;
    while (form->HasJob() && GetTickCount64() < deadline) {
        form->ListViewColumnClick(sorts++ % 2);
        PumpFor(5);
    }
    ASSERT_FALSE(form->HasJob()) << "the scan did not end";
    ASSERT_GT(sorts, 20);
    EXPECT_EQ(MillionFiles, ReportedCount());
    const auto rows = Rows();
    ASSERT_EQ(1000u, rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(files[i].Path, rows[i].Path) << i;
}

TEST_F(BigTreeTest, AMillionFilesInTheDateModeGiveEveryLaterFileNewestFirst) {
    const std::wstring root = LinuxTree("million");
    const auto files = MillionFilesNewestFirst(root);
    const long long after = TreeBase + 500000;
    StartByDate(root, LocalValue(UnixTime(after)));
    ASSERT_TRUE(Ends(600000)) << "the scan did not end";
    EXPECT_EQ(MillionFiles, ReportedCount()) << form->StatusBar.Text();
    const auto rows = Rows();
    const size_t later = static_cast<size_t>(
        std::count_if(files.begin(), files.end(), [&](const TMillionFile& f) { return f.Seconds > after; }));
    ASSERT_EQ(later, rows.size());
    // Times are distinct, so newest first leaves one order only.
    for (size_t i = 0; i < rows.size(); ++i) {
        if (files[i].Path != rows[i].Path) {
            FAIL() << "row " << i << " differs";
        }
    }
    // The header sorts that many rows by path and back to newest first.
    const ULONGLONG start = GetTickCount64();
    form->ListViewColumnClick(0);
    const ULONGLONG byName = GetTickCount64() - start;
    const auto named = Rows();
    ASSERT_EQ(rows.size(), named.size());
    for (size_t i = 1; i < named.size(); ++i) {
        if (StrCmpLogicalW(named[i - 1].Path.c_str(), named[i].Path.c_str()) > 0) {
            FAIL() << "rows " << i - 1 << " and " << i << " out of order";
        }
    }
    form->ListViewColumnClick(1);
    EXPECT_EQ(files[0].Path, Rows()[0].Path);

    // All of them selected and copied: the clipboard takes the whole text.
    form->Results->SelectAll();
    form->PopupMenu.Handle();
    const ULONGLONG copyStart = GetTickCount64();
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(form->NamesItem.Id(), 0), 0);
    RecordProperty("CopyMs", static_cast<int>(GetTickCount64() - copyStart));
    EXPECT_TRUE(boxes.empty()) << testing::PrintToString(boxes);
    HWND reader = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(OpenClipboard(reader));
    size_t copiedChars = 0, lines = 0;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        const wchar_t* text = static_cast<const wchar_t*>(GlobalLock(data));
        copiedChars = wcslen(text);
        lines = static_cast<size_t>(std::count(text, text + copiedChars, L'\n')) + 1;
        GlobalUnlock(data);
    }
    CloseClipboard();
    DestroyWindow(reader);
    size_t expectedChars = 0;
    for (size_t i = 0; i < later; ++i)
        expectedChars += files[i].Path.size() + 2;
    EXPECT_EQ(later, lines);
    EXPECT_EQ(expectedChars - 2, copiedChars);
    RecordProperty("SortByNameMs", static_cast<int>(byName));
    EXPECT_LT(byName, 60000u) << "sorting by path froze the window";
}

TEST_F(BigTreeTest, TwoThousandLevelsAreWalkedToThePathLimitAndTheRestIsLogged) {
    const std::wstring root = LinuxTree("deep");
    // Level k is root + "d\" k times, with its file f.txt at BASE + k minutes.
    std::vector<std::wstring> reachable;
    std::wstring folder = root;
    int level = 0;
    for (; (folder + L"*.*").size() + 1 <= MAX_PATH; ++level, folder += L"d\\") {
        reachable.push_back(folder + L"f.txt");
    }
    ASSERT_LT(level, 2000);
    Start(root, 32767);
    ASSERT_TRUE(Ends(60000)) << "the scan did not end";
    EXPECT_EQ(static_cast<long long>(reachable.size()), ReportedCount());
    std::reverse(reachable.begin(), reachable.end()); // the deepest is the newest
    EXPECT_EQ(reachable, Paths());
    // One line, naming the first folder beyond the limit.
    ASSERT_EQ(1u, logs.size());
    EXPECT_EQ(LogLine(folder, ERROR_FILENAME_EXCED_RANGE), logs[0]);
}

TEST_F(BigTreeTest, AFolderWhosePathPassesTheLimitIsLoggedAndItsSiblingsWalked) {
    TTempTree tree;
    const std::wstring a(120, L'a'), b(120, L'b');
    const FILETIME time = UtcFileTime(2024, 3, 1, 12);
    const std::wstring top = tree.File(L"top.txt", time);
    tree.Folder(a);
    const std::wstring inA = tree.File(a + L"\\in-a.txt", time);
    tree.Folder(a + L"\\" + b);
    const std::wstring beyond = tree.Root() + a + L"\\" + b + L"\\";
    ASSERT_GT(beyond.size() + 4, static_cast<size_t>(MAX_PATH));
    // Made with a path the walk may not use: Wine takes longer ones.
    ASSERT_TRUE(CloseHandle(CreateFileW((beyond + L"deep.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
    Start(tree.Root(), 100);
    ASSERT_TRUE(Ends(20000));
    EXPECT_EQ(2, ReportedCount());
    auto paths = Paths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ((std::vector<std::wstring>{inA, top}), paths);
    ASSERT_EQ(1u, logs.size());
    EXPECT_EQ(LogLine(beyond, ERROR_FILENAME_EXCED_RANGE), logs[0]);
}

} // namespace
} // namespace reliability
