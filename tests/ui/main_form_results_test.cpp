// The results list inside the main window: enable rules, the shell commands, copying, the menu.
#include "clipboard_support.h"
#include "scan/listing.h"
#include "scan/scan_harness.h"
#include "scan/sys_error.h"
#include "toolkit/clipboard.h"
#include "toolkit/message_box.h"
#include "toolkit/registry.h"
#include "ui/main_form.h"
#include "ui/window_test_support.h"
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <memory>
#include <shellapi.h>
#include <string>
#include <vector>

using namespace clipboard_support;

namespace {

struct TShownBox {
    std::wstring Text, Caption;
    UINT Flags;
};

struct TShellCall {
    HWND Owner;
    std::wstring Verb, File;
    bool HasParameters;
    std::wstring Parameters;
};

class MainFormResultsTest : public testing::Test {
  protected:
    void SetUp() override {
        DeleteSettings();
        form = std::make_unique<TMainForm>(std::vector<std::wstring>{});
        form->Show();
        SetMessageBoxForTesting([this](const std::wstring& text, const std::wstring& caption, UINT flags) {
            boxes.push_back({text, caption, flags});
            return answer;
        });
    }
    void TearDown() override {
        HoldKeys(false, false, false);
        SetMessageBoxForTesting({});
        form.reset();
        DeleteSettings();
    }

    // Rows with rising times: row i is i minutes after midnight on 1 March 2026, of sizes[i] bytes.
    void AddRows(int count, const std::vector<std::uint64_t>& sizes = {}) {
        for (int i = 0; i < count; ++i) {
            const double time = 46082 + i / 1440.0;
            form->Results->AddRow(L"C:\\r\\f" + std::to_wstring(i) + L".txt", UtcTicks(time),
                                  i < static_cast<int>(sizes.size()) ? sizes[i] : 0);
        }
        form->Results->Flush();
    }
    // What the status bar's counts say of the selection.
    std::wstring Selection() const {
        const std::wstring text = form->StatusBar.PartText(1);
        return text.substr(std::min(text.find(L" rows"), text.size() - 5) + 5);
    }
    void Select(std::initializer_list<int> rows) {
        for (int row : rows) {
            LVITEMW item{};
            item.stateMask = LVIS_SELECTED;
            item.state = LVIS_SELECTED;
            SendMessageW(form->ListView.Handle(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
        }
    }
    std::vector<bool> Enabled() {
        form->UpdateActions();
        // The file commands share one rule: any row selected.
        const TAction* files[] = {&form->CopyFilesAction,  &form->CopyPathAction,
                                  &form->DeleteAction,     &form->DeleteForGoodAction,
                                  &form->PropertiesAction, &form->ShellMenuAction};
        for (const TAction* action : files)
            EXPECT_EQ(form->CopyAction.Enabled(), action->Enabled()) << action->Caption();
        return {form->OpenAction.Enabled(),   form->ExploreAction.Enabled(), form->CopyAction.Enabled(),
                form->CopyNTAction.Enabled(), form->CopyTNAction.Enabled(),  form->SelectAllAction.Enabled()};
    }
    // The keys as GetKeyState reads them on this thread.
    static void HoldKeys(bool control, bool shift, bool alt) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = control ? 0x80 : 0;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        keys[VK_MENU] = alt ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    // The shell cannot select the file in its folder unless selects says so.
    void RecordShellCalls(INT_PTR result, bool selects = false) {
        form->ShellExecuteCall = [this, result](HWND owner, const wchar_t* verb, const wchar_t* file,
                                                const wchar_t* parameters) {
            shellCalls.push_back({owner, verb, file, parameters != nullptr, parameters ? parameters : L""});
            return result;
        };
        form->ShowInFolder = [this, selects](const std::wstring& folder,
                                             const std::vector<std::wstring>& names) {
            std::wstring shown = folder;
            for (const std::wstring& name : names)
                shown += (shown == folder ? L"" : L"|") + name;
            shownInFolder.push_back(shown);
            return selects;
        };
        form->ReachesFolder = [](const std::wstring&) { return true; };
        form->OpenWithDialog = [this](HWND, const std::wstring& path) {
            shellCalls.push_back({nullptr, L"open with", path, false, L""});
            return E_NOTIMPL;
        };
        form->ShellMenu = [this](HWND owner, const std::vector<std::wstring>& paths, POINT, bool extended) {
            EXPECT_EQ(form->Handle(), owner);
            for (const std::wstring& path : paths)
                shellCalls.push_back({owner, extended ? L"menu+" : L"menu", path, false, L""});
            DeleteFileW(paths.front().c_str()); // its Delete chosen
            return true;
        };
        form->ShowProperties = [this](HWND owner, const std::vector<std::wstring>& paths) {
            EXPECT_EQ(form->Handle(), owner);
            for (const std::wstring& path : paths)
                shellCalls.push_back({owner, L"properties", path, false, L""});
            return false;
        };
    }
    void SelectAllAndRun(TMenuItem& item) {
        form->Results->SelectAll();
        Choose(item);
    }
    // Chooses a popup-menu entry the way the menu does: a command to the window.
    void Choose(TMenuItem& item) {
        form->PopupMenu.Handle();
        SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(item.Id(), 0), 0);
    }

    std::unique_ptr<TMainForm> form;
    std::vector<TShownBox> boxes;
    std::vector<TShellCall> shellCalls;
    std::vector<std::wstring> shownInFolder;
    int answer = IDOK;
};

TEST_F(MainFormResultsTest, EnableRulesFollowTheSelection) {
    //                      Open   Explore Names  N+T    T+N    Select all
    EXPECT_EQ((std::vector<bool>{false, false, false, false, false, false}), Enabled()) << "empty list";
    AddRows(5);
    EXPECT_EQ((std::vector<bool>{false, false, false, false, false, true}), Enabled()) << "none selected";
    Select({2});
    EXPECT_EQ((std::vector<bool>{true, true, true, true, true, true}), Enabled()) << "one of five";
    Select({4});
    EXPECT_EQ((std::vector<bool>{true, true, true, true, true, true}), Enabled()) << "two of five";
    Select({0, 1, 3});
    EXPECT_EQ((std::vector<bool>{true, true, true, true, true, false}), Enabled()) << "all five";
}

TEST_F(MainFormResultsTest, OneRowSelectedInAOneRowList) {
    AddRows(1);
    Select({0});
    EXPECT_EQ((std::vector<bool>{true, true, true, true, true, false}), Enabled());
}

TEST_F(MainFormResultsTest, OpenAndExploreHandTheRowToTheShellOwnedByTheHiddenWindow) {
    form->Results->AddRow(L"C:\\data\\report.txt", UtcTicks(1));
    form->Results->AddRow(L"D:\\top.txt", UtcTicks(2));
    form->Results->AddRow(L"nameonly", UtcTicks(3));
    form->Results->Flush();
    RecordShellCalls(33);
    Select({0});
    Choose(form->OpenItem);
    Choose(form->ExploreItem);
    ListView_SetItemState(form->ListView.Handle(), -1, 0, LVIS_SELECTED);
    Select({1});
    Choose(form->ExploreItem);
    ListView_SetItemState(form->ListView.Handle(), -1, 0, LVIS_SELECTED);
    Select({2});
    Choose(form->ExploreItem);

    ASSERT_EQ(4u, shellCalls.size());
    for (const TShellCall& call : shellCalls)
        EXPECT_EQ(Application.Handle(), call.Owner);
    EXPECT_EQ(L"open", shellCalls[0].Verb);
    EXPECT_EQ(L"C:\\data\\report.txt", shellCalls[0].File);
    EXPECT_FALSE(shellCalls[0].HasParameters);
    const std::pair<const wchar_t*, const wchar_t*> explored[] = {
        {L"C:\\data\\", L"report.txt"}, {L"D:\\", L"top.txt"}, {L"", L"nameonly"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(L"explore", shellCalls[i + 1].Verb);
        EXPECT_EQ(explored[i].first, shellCalls[i + 1].File);
        EXPECT_EQ(explored[i].second, shellCalls[i + 1].Parameters);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\data\\report.txt", L"D:\\top.txt", L"nameonly"}),
              shownInFolder);
    EXPECT_TRUE(boxes.empty()) << "a result above 32 is success";
    // Where the shell shows the file in its folder, nothing more is asked of it.
    shellCalls.clear();
    RecordShellCalls(33, true);
    Choose(form->ExploreItem);
    EXPECT_TRUE(shellCalls.empty());
}

TEST_F(MainFormResultsTest, OpeningADeletedFileShowsTheSystemTextInAPlainBox) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring gone = std::wstring(folder) + L"quenwick-deleted-file.txt";
    DeleteFileW(gone.c_str());
    form->Results->AddRow(gone, UtcTicks(1));
    form->Results->Flush();
    Select({0});
    Choose(form->OpenItem);

    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(gone + L"\r\n\r\n" + SysErrorText(2), boxes[0].Text) << "the file, then the system's words";
    EXPECT_EQ(Application.Title(), boxes[0].Caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), boxes[0].Flags) << "no icon, one OK button";
    EXPECT_EQ(1, form->Results->SelectedCount()) << "the selection stays";

    // The shell's own results are told in the words of the system error they stand for; 31, no
    // association, is offered "Open with" instead.
    const std::pair<INT_PTR, int> shellResults[] = {
        {0, 8}, {26, 32}, {27, 1155}, {28, 1156}, {29, 1156}, {30, 1156}, {32, 1157}, {5, 5}, {11, 11}};
    for (const auto& [result, code] : shellResults) {
        boxes.clear();
        RecordShellCalls(result);
        Choose(form->OpenItem);
        ASSERT_EQ(1u, boxes.size()) << result;
        EXPECT_EQ(gone + L"\r\n\r\n" + SysErrorText(code), boxes[0].Text) << result;
    }
}

// Which file a path names: its volume and index; zero when it names none.
unsigned long long FileIdentity(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    if (file != INVALID_HANDLE_VALUE) {
        GetFileInformationByHandle(file, &information);
        CloseHandle(file);
    }
    return (static_cast<unsigned long long>(information.nFileIndexHigh) << 32 | information.nFileIndexLow) ^
           (static_cast<unsigned long long>(information.dwVolumeSerialNumber) << 48);
}

// A path the shell cannot take (past 260 characters, a name ending in a dot) reaches it in its short
// form, which names the same file; one with no short form is said in a box, never dropped.
TEST_F(MainFormResultsTest, OpenAndExploreHandTheShellAPathItCanTake) {
    TTempTree tree;
    const std::wstring deep = std::wstring(150, L'a') + L"\\" + std::wstring(150, L'b');
    tree.Folder(std::wstring(150, L'a'));
    tree.Folder(deep);
    tree.Folder(L"dot.");
    const std::wstring files[] = {tree.File(deep + L"\\long.txt", UtcFileTime(2024, 3, 1)),
                                  tree.File(L"dot.\\f", UtcFileTime(2024, 3, 1))};
    for (const std::wstring& file : files) {
        form->Results->AddRow(file, UtcTicks(1));
    }
    form->Results->AddRow(L"C:\\" + std::wstring(300, L'x'), UtcTicks(1));
    form->Results->Flush();
    RecordShellCalls(33);
    for (int row = 0; row < 3; ++row) {
        ListView_SetItemState(form->ListView.Handle(), -1, 0, LVIS_SELECTED);
        Select({row});
        Choose(form->OpenItem);
        Choose(form->ExploreItem);
    }
    ASSERT_EQ(4u, shellCalls.size());
    for (int i = 0; i < 2; ++i) {
        const std::wstring& opened = shellCalls[2 * i].File;
        EXPECT_LT(opened.size(), static_cast<size_t>(MAX_PATH));
        EXPECT_NE(0ull, FileIdentity(opened)) << opened;
        EXPECT_EQ(FileIdentity(SystemPath(files[i])), FileIdentity(opened)) << opened;
        EXPECT_EQ(opened, shownInFolder[i]);
        EXPECT_EQ(opened, shellCalls[2 * i + 1].File + shellCalls[2 * i + 1].Parameters);
    }
    ASSERT_EQ(2u, boxes.size()) << "Open and Explore of the path with no short form";
    EXPECT_TRUE(boxes[0].Text.starts_with(L"C:\\xxx")) << boxes[0].Text;

    // A folder the shell does not find, by its short name or gone since the scan, is said, never
    // handed to "explore", which would show nothing.
    form->Results->AddRow(L"C:\\gone\\f.txt", UtcTicks(1));
    form->Results->Flush();
    boxes.clear();
    shellCalls.clear();
    form->ReachesFolder = [](const std::wstring&) { return false; };
    for (int row : {0, 3}) {
        ListView_SetItemState(form->ListView.Handle(), -1, 0, LVIS_SELECTED);
        Select({row});
        Choose(form->ExploreItem);
    }
    EXPECT_TRUE(shellCalls.empty());
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NE(std::wstring::npos, boxes[0].Text.find(L"does not take the folder's short name"))
        << boxes[0].Text;
    EXPECT_EQ(L"C:\\gone\\f.txt\r\n\r\n" + SysErrorText(ERROR_PATH_NOT_FOUND), boxes[1].Text);
}

// A first click sorts newest first, by name ascending, or largest first; a second click on the same
// header reverses. The copy layouts stay as they were.
TEST_F(MainFormResultsTest, CopyFollowsTheListOrderAfterAHeaderClick) {
    AddRows(3, {1024, 4'193'280, 7});
    Select({0, 1, 2});
    NMLISTVIEW click{};
    click.hdr = {form->ListView.Handle(), 0, LVN_COLUMNCLICK};
    click.iSubItem = 1;
    SendMessageW(form->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
    Choose(form->NandTItem);
    HWND reader = MakeWindow();
    std::wstring t[3];
    for (int i = 0; i < 3; ++i)
        t[i] = DateTimeText(46082 + i / 1440.0, UserFormatSettings());
    EXPECT_EQ(L"C:\\r\\f2.txt\t" + t[2] + L"\r\nC:\\r\\f1.txt\t" + t[1] + L"\r\nC:\\r\\f0.txt\t" + t[0],
              ReadClipboard(reader).Unicode);

    click.iSubItem = 0;
    SendMessageW(form->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
    Choose(form->TandNItem);
    EXPECT_EQ(t[0] + L"\tC:\\r\\f0.txt\t\r\n" + t[1] + L"\tC:\\r\\f1.txt\t\r\n" + t[2] + L"\tC:\\r\\f2.txt\t",
              ReadClipboard(reader).Unicode);
    SendMessageW(form->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
    Choose(form->NamesItem);
    EXPECT_EQ(L"C:\\r\\f2.txt\r\nC:\\r\\f1.txt\r\nC:\\r\\f0.txt", ReadClipboard(reader).Unicode);
    click.iSubItem = 1;
    for (int times = 0; times < 2; ++times)
        SendMessageW(form->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
    Choose(form->NamesItem);
    EXPECT_EQ(L"C:\\r\\f0.txt\r\nC:\\r\\f1.txt\r\nC:\\r\\f2.txt", ReadClipboard(reader).Unicode)
        << "oldest first";
    click.iSubItem = 2;
    for (const wchar_t* order : {L"C:\\r\\f1.txt\r\nC:\\r\\f0.txt\r\nC:\\r\\f2.txt",
                                 L"C:\\r\\f2.txt\r\nC:\\r\\f0.txt\r\nC:\\r\\f1.txt"}) {
        SendMessageW(form->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
        Choose(form->NamesItem);
        EXPECT_EQ(order, ReadClipboard(reader).Unicode);
    }
    DestroyWindow(reader);
}

// The status bar adds up the selection's sizes, when the selection changes or rows go.
TEST_F(MainFormResultsTest, TheStatusBarSumsTheSelectedSizes) {
    AddRows(4, {1024, 4'193'280, 1'048'575, 7});
    const auto counts = [&](std::initializer_list<int> rows) {
        ListView_SetItemState(form->ListView.Handle(), -1, 0, LVIS_SELECTED);
        Select(rows);
        const std::wstring text = form->StatusBar.PartText(1);
        PumpUntil([&] { return form->StatusBar.PartText(1) != text; });
        return Selection();
    };
    EXPECT_EQ(L", 2 selected, 4.00 MB", counts({0, 1}));
    EXPECT_EQ(L", 3 selected, 4.99 MB", counts({0, 1, 2}));
    EXPECT_EQ(L"", counts({2}));
    form->Results->SelectAll();
    PumpUntil([&] { return !Selection().empty(); });
    EXPECT_EQ(L", 4 selected, 5.00 MB", Selection());
}

// The Date/Time and Size columns fit their texts at first and the File column takes the rest, with
// no horizontal scroll bar; widths the user gives them are remembered, absurd stored ones give way.
TEST_F(MainFormResultsTest, ColumnsFitAndTheirWidthsAreRemembered) {
    const HWND list = form->ListView.Handle();
    TDateTime widest = 0;
    TryEncodeDateTime(SYSTEMTIME{2026, 12, 1, 28, 23, 58, 58, 0}, widest);
    const std::wstring date = DateTimeText(widest, UserFormatSettings());
    for (const auto& [column, text] : {std::pair{1, date}, {2, std::wstring(L"1023 bytes")}})
        EXPECT_GE(form->ListView.ColumnWidth(column),
                  SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())) + 12)
            << column;
    AddRows(40);
    EXPECT_FALSE(GetWindowLongW(list, GWL_STYLE) & WS_HSCROLL);
    const int time = form->ListView.ColumnWidth(1), size = form->ListView.ColumnWidth(2);

    form->ListView.SetColumnWidth(1, time + 30);
    form->ListView.SetColumnWidth(2, size + 9);
    form.reset();
    form = std::make_unique<TMainForm>(std::vector<std::wstring>{});
    EXPECT_EQ(time + 30, form->ListView.ColumnWidth(1));
    EXPECT_EQ(size + 9, form->ListView.ColumnWidth(2));
    for (const int absurd : {5000, 0, -3}) {
        form.reset();
        TRegistryKey::OpenForWriting(HKEY_CURRENT_USER, SettingsKey)
            ->WriteInteger(L"SizeColumnWidth", absurd);
        form = std::make_unique<TMainForm>(std::vector<std::wstring>{});
        EXPECT_EQ(time + 30, form->ListView.ColumnWidth(1)) << absurd;
        EXPECT_EQ(size, form->ListView.ColumnWidth(2)) << absurd;
    }
}

TEST_F(MainFormResultsTest, OpeningTheCopySubmenuLeavesTheClipboardAlone) {
    HWND reader = MakeWindow();
    TClipboardText(L"the user's own text").Place(reader);
    AddRows(2);
    Select({1});
    HMENU copyMenu = nullptr;
    form->PopupMenu.Handle();
    copyMenu = form->CopyItem.SubMenu();
    ASSERT_NE(nullptr, copyMenu);
    SendMessageW(form->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(copyMenu), MAKELPARAM(3, FALSE));
    EXPECT_EQ(L"the user's own text", ReadClipboard(reader).Unicode);
    // The submenu's entries were brought up to date as it opened.
    EXPECT_FALSE(GetMenuState(copyMenu, form->NamesItem.Id(), MF_BYCOMMAND) & MF_GRAYED);
    DestroyWindow(reader);
}

// Held until the copy has given up: reported at once, the clipboard kept, and a later copy works.
TEST_F(MainFormResultsTest, ABusyClipboardIsReportedAndKeepsItsText) {
    HWND reader = MakeWindow();
    TClipboardText(L"before").Place(reader);
    AddRows(2);
    Select({0});
    {
        THolder holder;
        ASSERT_TRUE(holder.Held());
        Choose(form->NamesItem);
    }
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Cannot open clipboard.", boxes[0].Text);
    EXPECT_EQ(Application.Title(), boxes[0].Caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), boxes[0].Flags);
    EXPECT_EQ(L"before", ReadClipboard(reader).Unicode);
    Choose(form->NamesItem);
    EXPECT_EQ(L"C:\\r\\f0.txt", ReadClipboard(reader).Unicode);
    EXPECT_EQ(1u, boxes.size());
    DestroyWindow(reader);
}

TEST_F(MainFormResultsTest, ADisabledCommandDoesNotRun) {
    AddRows(3);
    RecordShellCalls(33);
    for (TMenuItem* item : {&form->OpenItem, &form->DeleteItem, &form->PropertiesItem, &form->ShellMenuItem})
        Choose(*item);
    EXPECT_TRUE(shellCalls.empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(3, form->Results->RowCount());
}

// Every command takes every selected row: Explore each folder once with its files selected, Open
// each file (asking first above fifteen), and a file no program opens is offered "Open with".
TEST_F(MainFormResultsTest, OpenAndExploreTakeEverySelectedRow) {
    for (const wchar_t* path : {L"C:\\a\\x.txt", L"D:\\b\\z.txt", L"C:\\a\\y.txt"})
        form->Results->AddRow(path, UtcTicks(1));
    form->Results->Flush();
    RecordShellCalls(33);
    Select({0, 1, 2});
    Choose(form->ExploreItem);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\a\\x.txt|y.txt", L"D:\\b\\z.txt"}), shownInFolder);
    EXPECT_EQ(2u, shellCalls.size()) << "each folder opened alone where the shell does not select";
    shellCalls.clear();
    Choose(form->OpenItem);
    ASSERT_EQ(3u, shellCalls.size());
    EXPECT_EQ(L"D:\\b\\z.txt", shellCalls[1].File);
    EXPECT_TRUE(boxes.empty());

    AddRows(13);
    SelectAllAndRun(form->OpenItem); // 16: asked, answered No
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Open all 16 selected files?", boxes[0].Text);
    EXPECT_EQ(3u, shellCalls.size());

    boxes.clear();
    shellCalls.clear();
    RecordShellCalls(SE_ERR_NOASSOC);
    ListView_SetItemState(form->ListView.Handle(), -1, 0, LVIS_SELECTED);
    Select({1});
    answer = IDYES;
    Choose(form->OpenItem);
    const std::vector<std::wstring> asked{L"open", L"open with", L"menu"};
    ASSERT_EQ(asked.size(), shellCalls.size());
    for (std::size_t i = 0; i < asked.size(); ++i) {
        EXPECT_EQ(asked[i], shellCalls[i].Verb);
        EXPECT_EQ(L"D:\\b\\z.txt", shellCalls[i].File);
    }
    EXPECT_NE(std::wstring::npos, boxes.at(0).Text.find(L"\"Open with\""));
}

// The rows are named before the system's question, which serves messages: a row pushed out meanwhile
// is not mistaken for another; a file refused keeps its row. The keys reach their commands.
TEST_F(MainFormResultsTest, DeletingAndTheShellsMenuDropTheRowsOfFilesThatWent) {
    TTempTree tree;
    std::vector<std::wstring> files;
    std::vector<TRowId> rows;
    for (int i = 0; i < 5; ++i) {
        files.push_back(tree.File(L"f" + std::to_wstring(i), UtcFileTime(2024, 3, 1)));
        rows.push_back(form->Results->AddRow(files.back(), UtcTicks(i)));
    }
    const std::wstring beyondShell = tree.Root() + std::wstring(150, L'x') + L"\\" + std::wstring(150, L'y');
    form->Results->AddRow(beyondShell, UtcTicks(9));
    form->Results->Flush();
    RecordShellCalls(33);
    std::vector<std::pair<std::vector<std::wstring>, bool>> deletions;
    form->DeleteFiles = [&](HWND owner, const std::vector<std::wstring>& paths, bool recycle) {
        EXPECT_EQ(form->Handle(), owner);
        deletions.push_back({paths, recycle});
        form->Results->DeleteRow(form->Results->IndexOfRow(rows[1]));
        for (std::size_t i = 0; i + 1 < paths.size(); ++i)
            DeleteFileW(paths[i].c_str()); // the last one refused
        return TShellDeleteResult{0, true};
    };
    Select({0, 1, 2});
    form->ListViewKeyDown(VK_DELETE);
    ASSERT_EQ(1u, deletions.size());
    EXPECT_EQ((std::vector<std::wstring>{files[0], files[1], files[2]}), deletions[0].first);
    EXPECT_TRUE(deletions[0].second) << "to the Recycle Bin";
    const auto paths = [&] {
        std::vector<std::wstring> left;
        for (int i = 0; i < form->Results->RowCount(); ++i)
            left.push_back(form->Results->Path(i));
        return left;
    };
    EXPECT_EQ((std::vector<std::wstring>{files[2], files[3], files[4], beyondShell}), paths());

    // Shift+Del for good; a path the shell cannot take is asked about, and said when it fails.
    ListView_SetItemState(form->ListView.Handle(), -1, 0, LVIS_SELECTED);
    Select({0, 3});
    HoldKeys(false, true, false);
    answer = IDYES;
    form->ListViewKeyDown(VK_DELETE);
    ASSERT_EQ(2u, deletions.size());
    EXPECT_FALSE(deletions[1].second);
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NE(std::wstring::npos, boxes[0].Text.find(L"Delete them permanently?")) << boxes[0].Text;
    EXPECT_TRUE(boxes[0].Flags & MB_YESNO);
    EXPECT_EQ(beyondShell + L"\r\n\r\n" + SysErrorText(ERROR_PATH_NOT_FOUND), boxes[1].Text);
    EXPECT_EQ((std::vector<std::wstring>{files[2], files[3], files[4]}), paths()) << "its file is not there";

    // Shift with the right button: the shell's own menu, whose Delete takes the row too.
    ListView_SetItemState(form->ListView.Handle(), -1, 0, LVIS_SELECTED);
    Select({1});
    SendMessageW(form->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form->ListView.Handle()),
                 MAKELPARAM(10, 10));
    ASSERT_EQ(1u, shellCalls.size());
    EXPECT_EQ(L"menu+", shellCalls[0].Verb);
    EXPECT_EQ(files[3], shellCalls[0].File);
    EXPECT_EQ((std::vector<std::wstring>{files[2], files[4]}), paths());

    // Alt+Enter: one properties window for the selection, or a box where the system shows none.
    boxes.clear();
    shellCalls.clear();
    Select({0, 1});
    HoldKeys(false, false, true);
    form->ListViewKeyDown(VK_RETURN);
    ASSERT_EQ(2u, shellCalls.size());
    EXPECT_EQ(L"properties", shellCalls[1].Verb);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"The system shows no properties window for these 2 files.", boxes[0].Text);

    // Ctrl+Shift+C: the paths in double quotes, one a line.
    HoldKeys(true, true, false);
    form->ListViewKeyDown('C');
    HWND reader = MakeWindow();
    EXPECT_EQ(L"\"" + files[2] + L"\"\r\n\"" + files[4] + L"\"", ReadClipboard(reader).Unicode);
    // Ctrl+C: the files, whose paths are made when asked for, still there after their rows have gone.
    HoldKeys(true, false, false);
    form->ListViewKeyDown('C');
    form->Results->Clear();
    EXPECT_EQ(files[2] + L"\r\n" + files[4], ReadClipboard(reader).Unicode);
    DestroyWindow(reader);
}

// Ctrl+S saves every row, whatever is selected, through the dialog; a write that fails is told in the
// system's words and leaves the file that was there as it was.
TEST_F(MainFormResultsTest, SavingWritesEveryRowOrLeavesTheEarlierFileWhole) {
    TTempTree tree;
    std::vector<std::wstring> proposed;
    std::wstring target = tree.Root() + L"saved.csv";
    form->ChooseSaveFile = [&](HWND owner, std::wstring& path, TOutputFormat& format) {
        EXPECT_EQ(form->Handle(), owner);
        proposed.push_back(path + (format == TOutputFormat::Csv ? L"|csv" : L"|other"));
        path = target;
        return true;
    };
    HoldKeys(true, false, false);
    form->ListViewKeyDown('S');
    EXPECT_TRUE(proposed.empty()) << "nothing to save";
    AddRows(3);
    Select({1});
    form->ListViewKeyDown('S');
    EXPECT_EQ(std::vector<std::wstring>{L"results.csv|csv"}, proposed);
    const std::string earlier = ReadBytes(target);
    EXPECT_TRUE(earlier.starts_with("\xEF\xBB\xBF"
                                    "File,Date/Time,Size\r\nC:\\r\\f0.txt,"))
        << earlier;
    EXPECT_EQ(4, std::count(earlier.begin(), earlier.end(), '\n'));

    for (const std::wstring& failing : {tree.Root() + L"gone\\saved.csv", target}) {
        target = failing;
        boxes.clear();
        // The earlier file held open without sharing: it cannot be replaced.
        const HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        form->ListViewKeyDown('S');
        const DWORD error = held == INVALID_HANDLE_VALUE ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        ASSERT_EQ(1u, boxes.size()) << target;
        EXPECT_EQ(target + L"\r\n\r\nThe results could not be saved.\r\n\r\n" + SysErrorText(error),
                  boxes[0].Text);
    }
    EXPECT_EQ(earlier, ReadBytes(target));
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW((tree.Root() + L"*.tmp").c_str(), &entry);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find) << "the new file is not left behind";
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

} // namespace
