// Trees too big or too deep for everyday use: a million files in both modes, 2,000 levels, long paths.
#include "clipboard_support.h"
#include "reliability_support.h"
#include "scan/date_time.h"
#include "scan/sys_error.h"
#include <windows.h>
#include <algorithm>
#include <shlwapi.h>

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

// Level k is root + "d\" k times, with its file f.txt at BASE + k minutes, down to level 2,000.
// The walk goes down as far as the system lists, far past 260 characters; where the system gives
// up (Linux takes paths of at most 4,096 bytes), it logs that folder with the system's code.
TEST_F(BigTreeTest, TwoThousandLevelsAreWalkedAsDeepAsTheSystemLists) {
    const std::wstring root = LinuxTree("deep");
    Start(root, 32767);
    // Under Wine every open resolves each folder on the way: about a minute and a half in all.
    ASSERT_TRUE(Ends(400000)) << "the scan did not end";
    const size_t levels = Paths().size();
    std::vector<std::wstring> reachable;
    std::wstring folder = root;
    for (size_t level = 0; level < levels; ++level, folder += L"d\\")
        reachable.push_back(folder + L"f.txt");
    EXPECT_GT(folder.size(), 1000u) << "stopped near the old path limit";
    EXPECT_EQ(static_cast<long long>(levels), ReportedCount());
    std::reverse(reachable.begin(), reachable.end()); // the deepest is the newest
    EXPECT_EQ(reachable, Paths());
    if (levels <= 2000) {
        ASSERT_EQ(1u, logs.size());
        EXPECT_TRUE(logs[0].starts_with(folder + L" - ")) << logs[0];
    } else {
        EXPECT_TRUE(logs.empty());
    }
}

// Files at 300 and at more than 400 characters are rows like any other and copied whole.
TEST_F(BigTreeTest, FilesPastTheOldPathLimitAreFoundAndCopiedWhole) {
    TTempTree tree;
    const FILETIME time = UtcFileTime(2024, 3, 1, 12);
    const std::wstring a(120, L'a'), b = a + L"\\" + std::wstring(120, L'b'),
                                     c = b + L"\\" + std::wstring(150, L'c');
    for (const std::wstring& folder : {a, b, c})
        tree.Folder(folder);
    std::vector<std::wstring> files{tree.File(L"top.txt", time),
                                    tree.File(b + L"\\" + std::wstring(40, L'x'), time),
                                    tree.File(c + L"\\deep.txt", time)};
    ASSERT_GT(files[1].size(), 300u);
    ASSERT_GT(files[2].size(), 400u);
    Start(tree.Root(), 100);
    ASSERT_TRUE(Ends(20000));
    EXPECT_TRUE(logs.empty()) << testing::PrintToString(logs);
    auto paths = Paths();
    std::sort(paths.begin(), paths.end());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, paths);
    form->Results->SelectAll();
    form->CopyAction.Execute();
    HWND reader = clipboard_support::MakeWindow();
    std::wstring copied = clipboard_support::ReadClipboard(reader).Unicode + L"\r\n";
    DestroyWindow(reader);
    std::vector<std::wstring> lines;
    for (size_t at = 0, end; (end = copied.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
        lines.push_back(copied.substr(at, end - at));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(files, lines);
}

} // namespace
} // namespace reliability
