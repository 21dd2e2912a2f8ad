// The main window in process: layout, start-up state, scaling, keyboard, picker and about link.
#include "scan/sys_error.h"
#include "toolkit/dpi.h"
#include "toolkit/error.h"
#include "toolkit/format_settings.h"
#include "toolkit/message_box.h"
#include "ui/main_form.h"
#include "ui/program.h"
#include "ui/window_test_support.h"
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <memory>
#include <shellapi.h>
#include <shlobj.h>

namespace {

class MainFormTest : public testing::Test {
  protected:
    void SetUp() override { DeleteSettings(); }
    void TearDown() override {
        form.reset();
        SetClockForTesting(nullptr);
        SetScreenPixelsPerInchForTesting(0);
        SetMessageBoxForTesting({});
        DeleteSettings();
    }
    // A start without settings: the one before stores its own as it goes.
    TMainForm& Open(std::vector<std::wstring> arguments = {}) {
        form.reset();
        DeleteSettings();
        form = std::make_unique<TMainForm>(arguments);
        return *form;
    }
    // Brings the window to the front, where keyboard input reaches it.
    void ShowInFront() {
        form->Show();
        SetForegroundWindow(form->Handle());
        ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == form->Handle(); }))
            << "no keyboard focus";
    }
    std::unique_ptr<TMainForm> form;
};

TDateTime fixedNow;
TDateTime FixedClock() {
    return fixedNow;
}

SIZE ClientSize(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

TEST_F(MainFormTest, FirstStartWithoutSettings) {
    TDateTime before = Now();
    TMainForm& f = Open();
    f.Show();
    PumpUntil([&] { return f.PathEdit.Focused(); });

    SIZE client = ClientSize(f.Handle());
    EXPECT_EQ(542, client.cx);
    EXPECT_EQ(351, client.cy);
    EXPECT_EQ(L"100", f.NumberEdit.Text());
    EXPECT_EQ(100, f.NumberSpin.Position());
    EXPECT_EQ(L"", f.PathEdit.Text());
    EXPECT_TRUE(f.RecurseBox.Checked());
    EXPECT_TRUE(f.NumberRadioButton.Checked());
    EXPECT_FALSE(f.LatestRadioButton.Checked());
    EXPECT_TRUE(f.NumberEdit.Enabled());
    EXPECT_TRUE(f.NumberSpin.Enabled());
    EXPECT_FALSE(f.LatestDate.Enabled());
    EXPECT_FALSE(f.LatestTime.Enabled());
    EXPECT_TRUE(f.PathEdit.Focused());
    EXPECT_EQ(L"", f.SkipEdit.Text());
    EXPECT_EQ(L"", f.NamesEdit.Text());
    EXPECT_EQ(0, f.TimeBox.SelectedIndex()) << "Modified";

    // Both pickers show the same moment, one hour before the start, to the minute.
    SYSTEMTIME date = f.LatestDate.DateTime();
    SYSTEMTIME time = f.LatestTime.DateTime();
    SYSTEMTIME expected = DecodeDateTime(before - 1.0 / 24);
    EXPECT_EQ(expected.wYear, date.wYear);
    EXPECT_EQ(expected.wMonth, date.wMonth);
    EXPECT_EQ(expected.wDay, date.wDay);
    int expectedMinutes = expected.wHour * 60 + expected.wMinute;
    int minutes = time.wHour * 60 + time.wMinute;
    EXPECT_LE((minutes - expectedMinutes + 1440) % 1440, 1);
}

TEST_F(MainFormTest, ControlsSitWhereTheLayoutPutsThem) {
    TMainForm& f = Open();
    struct Row {
        TControl* Control;
        TBounds Bounds;
    } rows[] = {
        {&f.PathLabel, {8, 8, 22, 13}},       {&f.PathEdit, {8, 24, 495, 21}},
        {&f.PathButton, {506, 24, 30, 21}},   {&f.RecurseBox, {8, 48, 113, 17}},
        {&f.NumberEdit, {24, 104, 99, 21}},   {&f.NumberSpin, {123, 104, 15, 21}},
        {&f.LatestDate, {24, 160, 95, 21}},   {&f.MomentButton, {120, 160, 18, 21}},
        {&f.ListView, {152, 84, 383, 205}},   {&f.StartButton, {8, 300, 50, 25}},
        {&f.CloseButton, {488, 300, 50, 25}}, {&f.AboutLabel, {374, 298, 99, 26}},
        {&f.SkipEdit, {178, 56, 160, 21}},    {&f.NamesEdit, {378, 56, 157, 21}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.Bounds, row.Control->Bounds()) << row.Control->Text().c_str();
    }
    EXPECT_EQ(L"&Start", f.StartButton.Text());
    EXPECT_EQ(L"&Pause", f.PauseButton.Text());
    EXPECT_EQ(L"S&top", f.StopButton.Text());

    // Tab order as the window reads: the path box first, the filter boxes and the list after the
    // options, the buttons last, the labels not at all, the radio set once, at its checked button.
    f.UpdateActions();
    std::vector<HWND> order;
    HWND first = GetNextDlgTabItem(f.Handle(), nullptr, FALSE);
    for (HWND at = first; at && (order.empty() || at != first);
         at = GetNextDlgTabItem(f.Handle(), at, FALSE)) {
        order.push_back(at);
    }
    std::vector<HWND> expected = {
        f.PathEdit.Handle(),   f.PathButton.Handle(),   f.RecurseBox.Handle(), f.NumberRadioButton.Handle(),
        f.NumberEdit.Handle(), f.MomentButton.Handle(), f.TimeBox.Handle(),    f.SkipEdit.Handle(),
        f.NamesEdit.Handle(),  f.ListView.Handle(),     f.CloseButton.Handle()};
    // Disabled controls are skipped: Start, Pause and Stop, with no path and no scan.
    EXPECT_EQ(expected, order);

    // Widening and heightening by 100 stretches the list and moves the anchored buttons.
    TBounds outer = f.BoundsRect();
    f.SetBounds({outer.Left, outer.Top, outer.Width + 100, outer.Height + 100});
    EXPECT_EQ((TBounds{152, 84, 483, 305}), f.ListView.Bounds());
    EXPECT_EQ((TBounds{588, 400, 50, 25}), f.CloseButton.Bounds());
    EXPECT_EQ((TBounds{8, 400, 50, 25}), f.StartButton.Bounds());
    // The two filter boxes share the width gained.
    EXPECT_EQ((TBounds{178, 56, 210, 21}), f.SkipEdit.Bounds());
    EXPECT_EQ((TBounds{392, 60, 34, 13}), f.NamesLabel.Bounds());
    EXPECT_EQ((TBounds{428, 56, 207, 21}), f.NamesEdit.Bounds());
    EXPECT_EQ((TBounds{606, 24, 30, 21}), f.PathButton.Bounds());
    EXPECT_EQ((TBounds{8, 24, 595, 21}), f.PathEdit.Bounds());
    EXPECT_EQ((TBounds{24, 104, 99, 21}), f.NumberEdit.Bounds());
}

TEST_F(MainFormTest, PickersShowAnHourBeforeTheStartAcrossMidnight) {
    struct Case {
        TDateTime Start;
        WORD Year, Month, Day, Hour, Minute;
    } cases[] = {
        {MakeDateTime(2026, 3, 1, 0, 30), 2026, 2, 28, 23, 30},
        {MakeDateTime(2024, 3, 1, 0, 0), 2024, 2, 29, 23, 0},
        {MakeDateTime(2027, 1, 1, 0, 59), 2026, 12, 31, 23, 59},
        {MakeDateTime(2026, 7, 15, 14, 5), 2026, 7, 15, 13, 5},
    };
    SetClockForTesting(FixedClock);
    for (const Case& c : cases) {
        fixedNow = c.Start;
        TMainForm& f = Open();
        SYSTEMTIME date = f.LatestDate.DateTime();
        SYSTEMTIME time = f.LatestTime.DateTime();
        EXPECT_EQ(c.Year, date.wYear);
        EXPECT_EQ(c.Month, date.wMonth);
        EXPECT_EQ(c.Day, date.wDay);
        EXPECT_EQ(c.Hour, time.wHour);
        EXPECT_EQ(c.Minute, time.wMinute);
    }
}

TEST_F(MainFormTest, ScalesToTheScreen) {
    struct Case {
        int PixelsPerInch, MinWidth, MinHeight, ClientWidth, ClientHeight;
    } cases[] = {
        {96, 374, 334, 542, 351},
        {120, 467, 417, 678, 439},
        {144, 561, 501, 813, 527},
    };
    int lastDateTimeColumn = 0;
    for (const Case& c : cases) {
        SetScreenPixelsPerInchForTesting(c.PixelsPerInch);
        TMainForm& f = Open();
        MINMAXINFO info{};
        SendMessageW(f.Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(c.MinWidth, info.ptMinTrackSize.x) << c.PixelsPerInch;
        EXPECT_EQ(c.MinHeight, info.ptMinTrackSize.y) << c.PixelsPerInch;
        // The Date/Time column fits its text in the list's font, which grows with the screen's density.
        const int dateTimeColumn = ListView_GetColumnWidth(f.ListView.Handle(), 1);
        EXPECT_EQ(f.Results->FittingWidth(TSortColumn::Time), dateTimeColumn) << c.PixelsPerInch;
        EXPECT_GT(dateTimeColumn, lastDateTimeColumn) << c.PixelsPerInch;
        lastDateTimeColumn = dateTimeColumn;
        SIZE client = ClientSize(f.Handle());
        EXPECT_EQ(c.ClientWidth, client.cx) << c.PixelsPerInch;
        EXPECT_EQ(c.ClientHeight, client.cy) << c.PixelsPerInch;
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(f.PathEdit.Handle(), WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_EQ(-ScaleToScreen(11, c.PixelsPerInch), font.lfHeight);
    }
}

TEST_F(MainFormTest, ListViewIsAnOwnerDataReportWithThreeColumns) {
    TMainForm& f = Open();
    LONG style = GetWindowLongW(f.ListView.Handle(), GWL_STYLE);
    EXPECT_EQ(LVS_REPORT, style & LVS_TYPEMASK);
    EXPECT_TRUE(style & LVS_OWNERDATA);
    EXPECT_FALSE(style & (LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_EDITLABELS | LVS_NOSORTHEADER));
    DWORD extended =
        static_cast<DWORD>(SendMessageW(f.ListView.Handle(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(DWORD(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
              extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP));
    // The "File" column takes what the list leaves beside "Date/Time", "Size" and a scroll bar, and
    // follows the window's width.
    const int dateTime = ListView_GetColumnWidth(f.ListView.Handle(), 1);
    const int size = ListView_GetColumnWidth(f.ListView.Handle(), 2);
    const int fileWidth = 383 - dateTime - size - GetSystemMetrics(SM_CXVSCROLL) - 4;
    EXPECT_EQ(fileWidth, ListView_GetColumnWidth(f.ListView.Handle(), 0));
    EXPECT_EQ(f.Results->FittingWidth(TSortColumn::Size), size);
    TBounds bounds = f.BoundsRect();
    bounds.Width += 100;
    f.SetBounds(bounds);
    EXPECT_EQ(fileWidth + 100, ListView_GetColumnWidth(f.ListView.Handle(), 0));
    wchar_t caption[32] = {};
    LVCOLUMNW column{LVCF_TEXT};
    column.pszText = caption;
    column.cchTextMax = 32;
    SendMessageW(f.ListView.Handle(), LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(L"Date/Time", caption);
    column.mask = LVCF_TEXT | LVCF_FMT;
    SendMessageW(f.ListView.Handle(), LVM_GETCOLUMNW, 2, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(L"Size", caption);
    EXPECT_EQ(LVCFMT_RIGHT, column.fmt & LVCFMT_JUSTIFYMASK);

    // The pointer's moves over the list, as the message loop meets them, give the row's tip; off the
    // rows the tip is switched off.
    f.Results->AddRow(L"C:\\a.txt", std::int64_t{0}, std::uint64_t{1024});
    f.Results->Flush();
    RECT row{LVIR_BOUNDS};
    SendMessageW(f.ListView.Handle(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    const auto tipAt = [&](int x, int y) {
        PostMessageW(f.ListView.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
        Application.ProcessMessages();
        HWND tip = nullptr;
        while ((tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) &&
               GetWindow(tip, GW_OWNER) != f.Handle()) {
        }
        wchar_t text[80] = {};
        TTTOOLINFOW tool{sizeof tool, 0, f.ListView.Handle(), 1};
        tool.lpszText = text;
        if (tip)
            SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&tool));
        return std::wstring(text);
    };
    EXPECT_EQ(f.Results->TipText(0), tipAt(row.left + 5, (row.top + row.bottom) / 2));
    EXPECT_EQ(L"1,024 bytes", f.Results->TipText(0).substr(0, 11));
    EXPECT_EQ(L"", tipAt(row.left + 5, row.bottom + 40));

    // Notifications from the list reach the handler the results list installs.
    int seen = 0;
    f.ListView.OnNotify = [&](NMHDR& header, LRESULT&) {
        seen += header.hwndFrom == f.ListView.Handle();
        return false;
    };
    NMHDR header{f.ListView.Handle(), 0, LVN_ITEMCHANGED};
    SendMessageW(f.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(1, seen);
}

TEST_F(MainFormTest, AFailedStartShowsAnApplicationErrorAndEndsWithOne) {
    std::vector<std::pair<std::wstring, std::wstring>> boxes;
    SetMessageBoxForTesting([&](const std::wstring& text, const std::wstring& caption, UINT flags) {
        boxes.emplace_back(text, caption);
        EXPECT_TRUE(flags & MB_ICONERROR);
        return IDOK;
    });
    EXPECT_EQ(1, RunProgram([]() -> std::unique_ptr<TForm> { throw TError(L"Cannot create the window"); }));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Application Error", boxes[0].second);
    EXPECT_EQ(L"Cannot create the window.", boxes[0].first);
}

// The box takes digits only; what it holds is brought into range and written back when it is left.
TEST_F(MainFormTest, NumberBoxTakesDigitsAndComesIntoRangeWhenLeft) {
    TMainForm& f = Open();
    ShowInFront();
    EXPECT_TRUE(GetWindowLongW(f.NumberEdit.Handle(), GWL_STYLE) & ES_NUMBER);
    const std::wstring thousands = UserFormatSettings().ThousandSeparator;
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {L"50000", L"32" + thousands + L"767"}, {L"", L"32" + thousands + L"767"}, {L"7", L"7"}, {L"", L"7"}};
    for (const auto& [typed, shown] : cases) {
        f.NumberEdit.SetFocus();
        f.NumberEdit.SetText(typed);
        f.PathEdit.SetFocus();
        EXPECT_TRUE(PumpUntil([&] { return f.NumberEdit.Text() == shown; })) << "typed " << typed;
    }
}

TEST_F(MainFormTest, RadioButtonsEnableTheirControls) {
    TMainForm& f = Open();
    f.Show();
    // A click as the mouse makes it, then back.
    SendMessageW(f.LatestRadioButton.Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(f.LatestRadioButton.Checked());
    EXPECT_FALSE(f.NumberRadioButton.Checked());
    EXPECT_FALSE(f.NumberEdit.Enabled());
    EXPECT_FALSE(f.NumberSpin.Enabled());
    EXPECT_TRUE(f.LatestDate.Enabled());
    EXPECT_TRUE(f.LatestTime.Enabled());

    SendMessageW(f.NumberRadioButton.Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(f.NumberRadioButton.Checked());
    EXPECT_FALSE(f.LatestRadioButton.Checked());
    EXPECT_TRUE(f.NumberEdit.Enabled());
    EXPECT_TRUE(f.NumberSpin.Enabled());
    EXPECT_FALSE(f.LatestDate.Enabled());
    EXPECT_FALSE(f.LatestTime.Enabled());
}

// Sends real key strokes: virtual keys pressed in order, released in reverse.
void Press(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input{INPUT_KEYBOARD};
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        INPUT input{INPUT_KEYBOARD};
        input.ki.wVk = *key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

TEST_F(MainFormTest, EscCloseButtonAndCloseBoxReachTheCloseQuery) {
    struct Case {
        const char* Way;
        std::function<void(TMainForm&)> Request;
    } cases[] = {
        {"Esc", [](TMainForm&) { Press({VK_ESCAPE}); }},
        {"Close button", [](TMainForm& f) { SendMessageW(f.CloseButton.Handle(), BM_CLICK, 0, 0); }},
        {"close box", [](TMainForm& f) { PostMessageW(f.Handle(), WM_CLOSE, 0, 0); }},
    };
    for (const Case& c : cases) {
        TMainForm& f = Open();
        ShowInFront();
        f.PathEdit.SetFocus();
        int asked = 0;
        f.OnCloseQuery = [&] {
            ++asked;
            return false;
        };
        c.Request(f);
        EXPECT_TRUE(PumpUntil([&] { return asked > 0; })) << c.Way;
        EXPECT_EQ(1, asked) << c.Way;
        EXPECT_TRUE(f.Visible()) << c.Way << ": a refused close keeps the window";
    }
}

TEST_F(MainFormTest, AltPPressesPauseOnlyWhenEnabledAndNeverFocusesThePath) {
    for (bool enabled : {true, false}) {
        TMainForm& f = Open();
        int paused = 0;
        f.PauseAction.OnUpdate = [&] { f.PauseAction.SetEnabled(enabled); };
        f.PauseAction.OnExecute = [&] { ++paused; };
        ShowInFront();
        f.RecurseBox.SetFocus();
        PumpUntil([&] { return f.PauseButton.Enabled() == enabled; });
        Press({VK_MENU, 'P'});
        if (enabled) {
            EXPECT_TRUE(PumpUntil([&] { return paused > 0; }));
        } else {
            // Space behind it ticks the focused box: once it has, Alt+P has been handled too.
            const bool checked = f.RecurseBox.Checked();
            Press({VK_SPACE});
            EXPECT_TRUE(PumpUntil([&] { return f.RecurseBox.Checked() != checked; }));
        }
        EXPECT_EQ(enabled ? 1 : 0, paused) << "Pause enabled: " << enabled;
        EXPECT_FALSE(f.PathEdit.Focused()) << "Pause enabled: " << enabled;
        // The dialog manager presses a button by its access key as a click does, focus and all.
        EXPECT_TRUE(enabled ? f.PauseButton.Focused() : f.RecurseBox.Focused())
            << "Pause enabled: " << enabled;
    }
    // The new boxes' labels lead to them.
    TMainForm& f = Open();
    ShowInFront();
    for (auto [key, box] :
         {std::pair<WORD, TControl*>{'K', &f.SkipEdit}, {'N', &f.NamesEdit}, {'W', &f.TimeBox}}) {
        Press({VK_MENU, key});
        EXPECT_TRUE(PumpUntil([&] { return box->Focused(); })) << static_cast<char>(key);
    }
}

TEST_F(MainFormTest, EnterPressesTheDefaultButton) {
    TMainForm& f = Open();
    int started = 0;
    f.StartAction.OnUpdate = [&] { f.StartAction.SetEnabled(true); };
    f.StartAction.OnExecute = [&] { ++started; };
    ShowInFront();
    f.PathEdit.SetFocus();
    Press({VK_RETURN});
    EXPECT_TRUE(PumpUntil([&] { return started > 0; }));
    EXPECT_EQ(1, started);
}

// Answers the folder dialog from inside its own message loop.
struct TDialogScript {
    HWND Form = nullptr;
    std::wstring Choose; // empty: cancel
    bool FormWasDisabled = false;
    bool CriticalErrorsFailed = false;
    bool Answered = false;
    int Attempts = 0;
};
TDialogScript* script;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    wchar_t name[16];
    GetClassNameW(window, name, 16);
    if (IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The text of the folder the dialog's tree has selected.
std::wstring SelectedFolderName(HWND dialog) {
    HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
    for (HWND child = GetWindow(dialog, GW_CHILD); !tree && child; child = GetWindow(child, GW_HWNDNEXT)) {
        tree = FindWindowExW(child, nullptr, WC_TREEVIEWW, nullptr);
    }
    wchar_t text[MAX_PATH] = {};
    TVITEMW item{TVIF_TEXT};
    item.hItem = tree ? TreeView_GetSelection(tree) : nullptr;
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (item.hItem) {
        TreeView_GetItem(tree, &item);
    }
    return text;
}

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog || script->Answered) {
        return;
    }
    script->FormWasDisabled = !IsWindowEnabled(script->Form);
    script->CriticalErrorsFailed = GetErrorMode() & SEM_FAILCRITICALERRORS;
    if (!script->Choose.empty()) {
        // The tree fills itself in steps: select until it shows the folder, then choose it. A busy
        // machine or a crowded temporary folder makes that slow (over five seconds seen): the bound,
        // a minute, only ends a dialog that would never get there.
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(script->Choose.c_str()));
        std::wstring name = script->Choose.substr(script->Choose.find_last_of(L'\\') + 1);
        if (SelectedFolderName(dialog) != name && ++script->Attempts < 1200) {
            return;
        }
    }
    KillTimer(nullptr, timer);
    script->Answered = true;
    PostMessageW(dialog, WM_COMMAND, script->Choose.empty() ? IDCANCEL : IDOK, 0);
}

TEST_F(MainFormTest, FolderPickerKeepsOrReplacesThePathAndRestoresTheProgram) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring chosen = std::wstring(temp) + L"QuenwickPick";
    CreateDirectoryW(chosen.c_str(), nullptr);
    struct Case {
        std::wstring Choose;
        std::wstring Expected;
    } cases[] = {
        {L"", L"C:\\keep me"},
        {chosen, chosen},
    };
    for (const Case& c : cases) {
        TMainForm& f = Open();
        f.Show();
        f.PathEdit.SetText(L"C:\\keep me");
        TDialogScript answers{f.Handle(), c.Choose};
        script = &answers;
        UINT before = SetErrorMode(SEM_NOGPFAULTERRORBOX);
        SetTimer(nullptr, 0, 50, AnswerDialog);
        SendMessageW(f.PathButton.Handle(), BM_CLICK, 0, 0);
        UINT after = SetErrorMode(before);

        EXPECT_TRUE(answers.Answered);
        EXPECT_TRUE(answers.FormWasDisabled);
        EXPECT_TRUE(answers.CriticalErrorsFailed);
        EXPECT_EQ(UINT(SEM_NOGPFAULTERRORBOX), after) << "error mode restored";
        EXPECT_TRUE(IsWindowEnabled(f.Handle()));
        std::wstring path = f.PathEdit.Text();
        EXPECT_EQ(0, lstrcmpiW(c.Expected.c_str(), path.c_str()))
            << "path box: " << std::string(path.begin(), path.end());
    }
    RemoveDirectoryW(chosen.c_str());
}

TEST_F(MainFormTest, AboutLabelTurnsHotInsideAndPlainOutsideAndOnClick) {
    TMainForm& f = Open();
    f.Show();
    std::vector<std::pair<HWND, std::string>> opened;
    INT_PTR shellResult = 33;
    f.OpenAddress = [&](HWND parent, const char* address) {
        opened.emplace_back(parent, address);
        return shellResult;
    };
    std::vector<std::wstring> boxes;
    SetMessageBoxForTesting([&](const std::wstring& text, const std::wstring&, UINT) {
        boxes.push_back(text);
        return IDOK;
    });
    HWND label = f.AboutLabel.Handle();
    auto move = [&](int x, int y) { SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); };
    auto hot = [&] { return f.AboutLabel.Underlined() && GetCapture() == label; };
    auto plain = [&] { return !f.AboutLabel.Underlined() && GetCapture() != label; };

    // The label is 99 by 26: its top row and left column count as outside.
    struct Step {
        int X, Y;
        bool Hot;
    } steps[] = {
        {0, 10, false},  {10, 0, false}, {1, 1, true},    {98, 25, true},
        {99, 10, false}, {1, 1, true},   {10, 26, false}, {-5, -5, false},
    };
    for (const Step& step : steps) {
        move(step.X, step.Y);
        EXPECT_TRUE(step.Hot ? hot() : plain()) << step.X << "," << step.Y;
    }

    move(5, 5);
    ASSERT_TRUE(hot());
    SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(plain()) << "a click leaves it plain, without capture";
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(f.Handle(), opened[0].first);
    EXPECT_EQ("https://www.dovrel.example/?prod=qnwk", opened[0].second);
    move(5, 5);
    EXPECT_TRUE(hot()) << "the next move inside turns it hot again";
    EXPECT_TRUE(boxes.empty());
    // A page that cannot be opened is said, as for a file.
    shellResult = SE_ERR_NOASSOC;
    SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"https://www.dovrel.example/?prod=qnwk\r\n\r\n" + SysErrorText(ERROR_NO_ASSOCIATION),
              boxes[0]);
}

} // namespace
