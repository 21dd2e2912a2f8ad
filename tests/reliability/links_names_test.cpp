// Folder links that loop, and names that test the UTF-16 path: beyond the Basic Multilingual Plane,
// beyond the ANSI code page, and twins that differ only in case.
#include "clipboard_support.h"
#include "reliability_support.h"
#include "scan/date_time.h"
#include "scan/sys_error.h"
#include <windows.h>
#include <algorithm>
#include <shlwapi.h>

namespace reliability {
namespace {

using LinkTest = WindowTest;

TEST_F(LinkTest, FolderLinkLoopsAreLoggedAndEveryFileIsFound) {
    TTempTree tree;
    const FILETIME time = UtcFileTime(2024, 3, 1, 12);
    for (const wchar_t* folder : {L"self", L"two", L"x", L"y"}) {
        tree.Folder(folder);
        tree.File(std::wstring(folder) + L"\\f.txt", time);
    }
    tree.Link(L"self\\me", ".");  // a self-loop
    tree.Link(L"two\\here", "."); // two links in one folder, to itself ...
    tree.Link(L"two\\up", "..");  // ... and to the root above it
    tree.Link(L"x\\toY", "../y"); // a loop between two folders
    tree.Link(L"y\\toX", "../x");
    Start(tree.Root(), 32767);
    ASSERT_TRUE(Ends(30000)) << "the walk did not end";

    // x's file is met in x and through y\toX, y's in y and through x\toY.
    const std::wstring r = tree.Root();
    std::vector<std::wstring> expected{r + L"self\\f.txt",   r + L"two\\f.txt", r + L"x\\f.txt",
                                       r + L"x\\toY\\f.txt", r + L"y\\f.txt",   r + L"y\\toX\\f.txt"};
    auto paths = Paths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(expected, paths);
    EXPECT_EQ(6, ReportedCount());
    std::vector<std::wstring> loops = LogLinesWithCode(ERROR_CANT_RESOLVE_FILENAME);
    std::sort(loops.begin(), loops.end());
    EXPECT_EQ((std::vector<std::wstring>{LogLine(r + L"self\\me\\", 1921), LogLine(r + L"two\\here\\", 1921),
                                         LogLine(r + L"two\\up\\", 1921), LogLine(r + L"x\\toY\\toX\\", 1921),
                                         LogLine(r + L"y\\toX\\toY\\", 1921)}),
              loops);
}

TEST_F(LinkTest, PipesSocketsAndLinksToDevicesOrNowhereNeitherHangNorHideTheFiles) {
    const std::wstring root = LinuxTree("special");
    Start(root, 100);
    ASSERT_TRUE(Ends(30000)) << "the walk did not end";
    // Each is met as a file, without being opened; a link to nowhere is no file at all.
    auto paths = Paths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ((std::vector<std::wstring>{root + L"pipe", root + L"plain.txt", root + L"socket",
                                         root + L"to-device", root + L"to-file"}),
              paths);
    EXPECT_EQ(5, ReportedCount());
    EXPECT_TRUE(logs.empty());
}

// The names make_trees.py gives the files of its "names" tree, in its order; file k is k hours
// after BASE, and the subfolder's copies eight minutes later still.
const wchar_t* const Names[] = {L"Case.txt",
                                L"case.txt",
                                L"CASE.TXT",
                                L"\U0001F600 smile.txt",
                                L"\U0001D11Eclef.txt",
                                L"\u041f\u0440\u0438\u0432\u0435\u0442.txt",
                                L"\u65e5\u672c\u8a9e.txt",
                                L"caf\u00e9.txt",
                                L"plain.txt"};
const wchar_t SubFolder[] = L"\u00c5 sub \U0001F4C1\\";

TEST_F(LinkTest, NamesBeyondTheCodePageAndCaseTwinsAreShownSortedAndCopiedWhole) {
    const std::wstring root = LinuxTree("names");
    std::vector<TRow> expected; // newest first
    const TFormatSettings settings = UserFormatSettings();
    for (int k = 8; k >= 0; --k) {
        for (const std::wstring& folder : {root + SubFolder, root}) {
            const long long seconds = TreeBase + k * 3600 + (folder == root ? 0 : 8 * 60);
            expected.push_back({folder + Names[k], DateTimeText(LocalValue(UnixTime(seconds)), settings)});
        }
    }
    Start(root, 100);
    ASSERT_TRUE(Ends(20000));
    EXPECT_EQ(18, ReportedCount());
    EXPECT_TRUE(logs.empty());
    auto rows = Rows();
    ASSERT_EQ(expected.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(expected[i].Path, rows[i].Path) << i;
        EXPECT_EQ(expected[i].TimeText, rows[i].TimeText) << i;
    }

    // By path, in the shell's logical order; no twin is lost or merged.
    form->ListViewColumnClick(0);
    std::vector<std::wstring> byName;
    for (const TRow& row : expected)
        byName.push_back(row.Path);
    std::stable_sort(byName.begin(), byName.end(), [](const std::wstring& a, const std::wstring& b) {
        return StrCmpLogicalW(a.c_str(), b.c_str()) < 0;
    });
    EXPECT_EQ(byName, Paths());

    // Copied whole in UTF-16; the ANSI copy is the code page's rendering of the same text.
    form->ListViewColumnClick(1);
    form->Results->SelectAll();
    form->PopupMenu.Handle();
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(form->NandTItem.Id(), 0), 0);
    std::wstring text;
    for (const TRow& row : expected)
        text += (text.empty() ? L"" : L"\r\n") + row.Path + L"\t" + row.TimeText;
    HWND reader = clipboard_support::MakeWindow();
    const auto content = clipboard_support::ReadClipboard(reader);
    DestroyWindow(reader);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(text, content.Unicode);
    EXPECT_EQ(clipboard_support::Ansi(text), content.Text);
    EXPECT_NE(std::wstring::npos, content.Unicode.find(L"\U0001F600 smile.txt"));
}

} // namespace
} // namespace reliability
