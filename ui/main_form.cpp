#include "ui/main_form.h"

#include "scan/date_time.h"
#include "scan/snapshot_session.h"
#include "scan/work_thread.h"
#include "toolkit/application.h"
#include "toolkit/registry.h"
#include "ui/search_rules.h"
#include <algorithm>
#include <shellapi.h>

namespace {

constexpr int DesignMinWidth = 374;
// Tall enough that the buttons never cover the time box.
constexpr int DesignMinHeight = 334;
// The columns beside the file's until the list's font is known.
constexpr int DesignDateTimeColumnWidth = 120;
constexpr int DesignSizeColumnWidth = 70;
// A width given to a column and remembered, at 96 pixels per inch; outside this, the fitting one.
constexpr int MinStoredColumnWidth = 16;
constexpr int MaxStoredColumnWidth = 1000;
struct TStoredColumn {
    const wchar_t* Name;
    int Column;
    TSortColumn Fits; // the texts its fitting width is measured on
};
constexpr TStoredColumn StoredColumns[] = {{L"DateTimeColumnWidth", 1, TSortColumn::Time},
                                           {L"SizeColumnWidth", 2, TSortColumn::Size}};
constexpr int MaxNumber = 32767;

// Scales a figure the toolkit does not scale, truncating as integer arithmetic does.
int ScaleFigure(int value, int pixelsPerInch) {
    return value * pixelsPerInch / DesignPixelsPerInch;
}

} // namespace

TMainForm::TMainForm(const std::vector<std::wstring>& arguments) {
    NumberRadioButton.GroupStart = true;
    ChangedRadioButton.Multiline = true;
    NumberEdit.DigitsOnly = true;
    NumberEdit.OnChange = [this] { NumberEditChange(); };
    NumberEdit.OnExit = [this] { NumberEditExit(); };
    NumberSpin.Associate = &NumberEdit;
    NumberSpin.Min = 0;
    NumberSpin.Max = MaxNumber;
    NumberSpin.InitialPosition = InitialNumber;
    LatestDate.Kind = TDateTimePicker::TKind::Date;
    LatestTime.Kind = TDateTimePicker::TKind::Time;
    ListView.OwnerData = true;
    ListView.GridLines = true;
    ListView.RowSelect = true;
    ListView.Columns = {
        {L"File", 100}, {L"Date/Time", DesignDateTimeColumnWidth}, {L"Size", DesignSizeColumnWidth, true}};
    ListView.PopupMenu = &PopupMenu;
    StartButton.Action = &StartAction;
    PauseButton.Action = &PauseAction;
    StopButton.Action = &StopAction;
    AboutLabel.RightAligned = true;
    AboutLabel.Transparent = true;
    SkipLabel.For = &SkipEdit;
    SkipEdit.CueText = L"node_modules; .git; **\\AppData\\Local\\Temp";
    NamesLabel.For = &NamesEdit;
    NamesEdit.CueText = L"*.docx; report*";
    TimeLabel.For = &TimeBox;
    TimeBox.Items = {L"Modified", L"Created", L"Later of the two"};

    PathButton.OnClick = [this] { PathButtonClick(); };
    MomentButton.OnClick = [this] { MomentButtonClick(); };
    TrackMenu = [this](HMENU menu, POINT at) {
        return static_cast<UINT>(
            TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y,
                             Handle(), nullptr));
    };
    NumberRadioButton.OnClick = [this] { RadioButtonClick(); };
    LatestRadioButton.OnClick = [this] { RadioButtonClick(); };
    ChangedRadioButton.OnClick = [this] { RadioButtonClick(); };
    CloseButton.OnClick = [this] { CloseButtonClick(); };
    StatusBar.OnResize = [this] { LayoutStatusBar(); };
    AboutLabel.OnMouseMove = [this](int x, int y) { AboutLabelMouseMove(x, y); };
    AboutLabel.OnClick = [this] { AboutLabelClick(); };
    // Shown: a browser that honours the show command on a fresh start would open hidden.
    OpenAddress = [](HWND parent, const char* address) {
        return reinterpret_cast<INT_PTR>(
            ShellExecuteA(parent, "open", address, nullptr, nullptr, SW_SHOWNORMAL));
    };

    for (TAction* action :
         {&StartAction, &PauseAction, &StopAction, &OpenAction, &ExploreAction, &CopyAction, &CopyNTAction,
          &CopyTNAction, &SelectAllAction, &CopyFilesAction, &CopyPathAction, &DeleteAction,
          &DeleteForGoodAction, &PropertiesAction, &ShellMenuAction, &SaveResultsAction}) {
        ActionList.Add(*action);
    }
    const std::pair<TMenuItem*, TAction*> bindings[] = {{&OpenItem, &OpenAction},
                                                        {&ExploreItem, &ExploreAction},
                                                        {&NamesItem, &CopyAction},
                                                        {&NandTItem, &CopyNTAction},
                                                        {&TandNItem, &CopyTNAction},
                                                        {&SelectAllItem, &SelectAllAction},
                                                        {&CopyFilesItem, &CopyFilesAction},
                                                        {&CopyPathItem, &CopyPathAction},
                                                        {&DeleteItem, &DeleteAction},
                                                        {&DeleteForGoodItem, &DeleteForGoodAction},
                                                        {&PropertiesItem, &PropertiesAction},
                                                        {&ShellMenuItem, &ShellMenuAction},
                                                        {&SaveResultsItem, &SaveResultsAction}};
    for (const auto& [item, action] : bindings) {
        item->Action = action;
    }
    CopyItem.Add(NamesItem);
    CopyItem.Add(NandTItem);
    CopyItem.Add(TandNItem);
    for (TMenuItem* item :
         {&OpenItem, &ExploreItem, &N1, &CopyItem, &SelectAllItem, &N2, &CopyFilesItem, &CopyPathItem,
          &DeleteItem, &DeleteForGoodItem, &PropertiesItem, &ShellMenuItem, &N3, &SaveResultsItem}) {
        PopupMenu.Add(*item);
    }
    AddActionList(ActionList);

    // Tab order as the window reads: the path, the options down the left, the filters and the list on
    // the right, then the buttons along the bottom.
    const TControlRow layout[] = {
        {&PathLabel, {8, 8, 22, 13}, akLeft | akTop, NoTabStop, L"&Path"},
        {&PathEdit, {8, 24, 495, 21}, akLeft | akTop | akRight, 0},
        {&PathButton, {506, 24, 30, 21}, akTop | akRight, 1, L"..."},
        {&RecurseBox, {8, 48, 113, 17}, akLeft | akTop, 2, L"&Include subfolders"},
        {&NumberRadioButton, {8, 80, 137, 17}, akLeft | akTop, 3, L"Number of freshest files"},
        {&NumberEdit, {24, 104, 99, 21}, akLeft | akTop, 4, L"100"},
        {&NumberSpin, {123, 104, 15, 21}, akLeft | akTop, 5},
        {&LatestRadioButton, {8, 136, 137, 17}, akLeft | akTop, 6, L"Files modified after"},
        {&LatestDate, {24, 160, 95, 21}, akLeft | akTop, 7, L"", false},
        {&MomentButton, {120, 160, 18, 21}, akLeft | akTop, 8},
        {&LatestTime, {24, 184, 114, 21}, akLeft | akTop, 9, L"", false},
        {&ChangedRadioButton, {8, 210, 137, 27}, akLeft | akTop, 10, L"Changed since the last scan"},
        {&TimeLabel, {8, 244, 137, 13}, akLeft | akTop, NoTabStop, L"&Which time"},
        {&TimeBox, {24, 259, 114, 21}, akLeft | akTop, 11},
        // The two boxes share the width the window gains.
        {&SkipLabel, {152, 60, 24, 13}, akLeft | akTop, NoTabStop, L"S&kip"},
        {&SkipEdit, {178, 56, 160, 21}, akLeft | akTop | akRight, 12, L"", true, false, {0, 2}},
        {&NamesLabel, {342, 60, 34, 13}, akLeft | akTop, NoTabStop, L"&Names", true, false, {1, 2}},
        {&NamesEdit, {378, 56, 157, 21}, akLeft | akTop | akRight, 13, L"", true, false, {1, 2}},
        {&ListView, {152, 84, 383, 205}, akLeft | akTop | akRight | akBottom, 14},
        {&StartButton, {8, 300, 50, 25}, akLeft | akBottom, 15},
        {&PauseButton, {64, 300, 50, 25}, akLeft | akBottom, 16},
        {&StopButton, {120, 300, 50, 25}, akLeft | akBottom, 17},
        {&CloseButton, {488, 300, 50, 25}, akRight | akBottom, 18, L"&Close"},
        {&AboutLabel, {374, 298, 99, 26}, akRight | akBottom, NoTabStop, L"\u00A9 Dovrel\r\ndovrel.example"},
        {&StatusBar, {0, 332, 542, 19}, akLeft | akRight | akBottom, NoTabStop, L"", true, true},
    };
    TFormProperties form;
    form.Caption = Application.Title();
    form.ClientWidth = 542;
    form.ClientHeight = 351;
    form.Icon = L"MAINICON";
    form.DefaultButton = &StartButton;
    form.CancelButton = &CloseButton;
    Create(form, layout);
    MinWidth = DesignMinWidth;
    MinHeight = DesignMinHeight;
    RecurseBox.SetChecked(true);
    NumberRadioButton.SetChecked(true);

    SYSTEMTIME hourAgo = DecodeDateTime(Now() - 1.0 / 24);
    LatestDate.SetDateTime(hourAgo);
    LatestTime.SetDateTime(hourAgo);

    if (int pixelsPerInch = PixelsPerInch(); pixelsPerInch != DesignPixelsPerInch) {
        MinHeight = ScaleFigure(DesignMinHeight, pixelsPerInch);
        MinWidth = ScaleFigure(DesignMinWidth, pixelsPerInch);
    }

    ConnectResultsList();
    for (const TStoredColumn& stored : StoredColumns) {
        ListView.SetColumnWidth(stored.Column, Results->FittingWidth(stored.Fits));
    }
    ListViewResize();
    ConnectSearchControl();
    ConnectSaving();
    LoadSettings();
    if (!arguments.empty()) {
        PathEdit.SetText(arguments.front());
    }
    ActiveControl = &PathEdit;
}

TMainForm::~TMainForm() {
    SaveSettings();
    // A scan that is still there may yet hand off: it must find nothing of this window.
    if (WorkThread) {
        WorkThread->Detach();
        WorkThread = nullptr;
        // Its walk may still be handing files to the snapshot: left to the ending process.
        static_cast<void>(snapshot_.release());
    }
    DestroyHandle();
}

void TMainForm::LoadSettings() {
    auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, SettingsKey);
    if (!key) {
        return;
    }
    // Values of the wrong type or size count as missing: the design values stay.
    auto top = key->ReadInteger(L"Top");
    auto left = key->ReadInteger(L"Left");
    auto width = key->ReadInteger(L"Width");
    auto height = key->ReadInteger(L"Height");
    auto number = key->ReadInteger(L"Number");
    auto path = key->ReadString(L"Path");
    auto skip = key->ReadString(L"SkipFolders");
    auto names = key->ReadString(L"NameMasks");
    auto timeKind = key->ReadInteger(L"TimeKind");
    auto byDate = key->ReadInteger(L"ByDate");
    auto recursive = key->ReadInteger(L"Recursive");

    TBounds bounds = BoundsRect();
    TBounds stored{left.value_or(bounds.Left), top.value_or(bounds.Top),
                   std::max(width.value_or(bounds.Width), MinWidth),
                   std::max(height.value_or(bounds.Height), MinHeight)};
    // A window whose caption no monitor shows could never be dragged back: the system's place wins.
    if (!CaptionOnScreen(stored)) {
        stored.Left = bounds.Left;
        stored.Top = bounds.Top;
    }
    if (stored != bounds) {
        SetBounds(stored);
    }
    if (number) {
        NumberSpin.SetPosition(std::clamp(*number, 0, MaxNumber));
    }
    if (path) {
        PathEdit.SetText(*path);
    }
    if (skip) {
        SkipEdit.SetText(*skip);
    }
    if (names) {
        NamesEdit.SetText(*names);
    }
    if (timeKind) {
        TimeBox.SetSelectedIndex(*timeKind); // one it does not know stays Modified
    }
    if (recursive) {
        RecurseBox.SetChecked(*recursive != 0);
    }
    if (byDate) {
        // 2: the changed mode; other values mean the date mode, as they did before there was one.
        NumberRadioButton.SetChecked(*byDate == 0);
        LatestRadioButton.SetChecked(*byDate != 0 && *byDate != 2);
        ChangedRadioButton.SetChecked(*byDate == 2);
        RadioButtonClick();
    }
    for (const TStoredColumn& stored : StoredColumns) {
        const auto width = key->ReadInteger(stored.Name);
        if (width && *width >= MinStoredColumnWidth && *width <= MaxStoredColumnWidth) {
            ListView.SetColumnWidth(stored.Column, ScaleFigure(*width, PixelsPerInch()));
        }
    }
    ListViewResize();
}

void TMainForm::SaveSettings() {
    auto key = TRegistryKey::OpenForWriting(HKEY_CURRENT_USER, SettingsKey);
    if (!key) {
        return;
    }
    // The normal bounds, also when the window is closed minimised or maximised.
    const TBounds bounds = NormalBounds();
    key->WriteInteger(L"Top", bounds.Top);
    key->WriteInteger(L"Left", bounds.Left);
    key->WriteInteger(L"Width", bounds.Width);
    key->WriteInteger(L"Height", bounds.Height);
    key->WriteInteger(L"Number", CommitNumber());
    key->WriteString(L"Path", PathEdit.Text());
    key->WriteString(L"SkipFolders", SkipEdit.Text());
    key->WriteString(L"NameMasks", NamesEdit.Text());
    key->WriteInteger(L"TimeKind", TimeBox.SelectedIndex());
    key->WriteInteger(L"ByDate", LatestRadioButton.Checked() ? 1 : ChangedRadioButton.Checked() ? 2 : 0);
    key->WriteInteger(L"Recursive", RecurseBox.Checked() ? 1 : 0);
    // A width left as it fits is not stored: it follows the user's date format and font.
    for (const TStoredColumn& stored : StoredColumns) {
        const int width = ListView.ColumnWidth(stored.Column);
        const int atDesign = (width * DesignPixelsPerInch + PixelsPerInch() / 2) / PixelsPerInch();
        key->WriteInteger(stored.Name, width == Results->FittingWidth(stored.Fits) ? 0 : atDesign);
    }
}

void TMainForm::RadioButtonClick() {
    bool byNumber = NumberRadioButton.Checked();
    NumberEdit.SetEnabled(byNumber);
    NumberSpin.SetEnabled(byNumber);
    bool byDate = LatestRadioButton.Checked();
    LatestDate.SetEnabled(byDate);
    LatestTime.SetEnabled(byDate);
}

void TMainForm::CloseButtonClick() {
    Close();
}

// The folder on the left, the counts on the right in a part of their own; a counts text longer
// than the usual part, as a hint after the scan, takes up to three fifths of the bar.
void TMainForm::LayoutStatusBar() {
    RECT bar{};
    GetClientRect(StatusBar.Handle(), &bar);
    const int width = static_cast<int>(bar.right);
    const int usual = UsualCountsWidth();
    countsWidth_ = CountsWidth(StatusBar.PartText(1));
    const int counts =
        countsWidth_ <= usual ? std::min(usual, width / 2) : std::min(countsWidth_, width * 4 / 5);
    StatusBar.SetParts({width - counts, -1});
}

int TMainForm::UsualCountsWidth() const {
    return ScaleToScreen(260, PixelsPerInch());
}

// The text in the bar's font, with the part's borders, the gap before the text and the size grip,
// about as wide as the bar is high, after it.
int TMainForm::CountsWidth(const std::wstring& text) const {
    const HWND bar = StatusBar.Handle();
    RECT client{};
    GetClientRect(bar, &client);
    const HDC dc = GetDC(bar);
    const HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(bar, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, font);
    ReleaseDC(bar, dc);
    return size.cx + ScaleToScreen(12, PixelsPerInch()) + static_cast<int>(client.bottom);
}

// The spin would read an empty box as 0: the last number the box held stands instead.
void TMainForm::NumberEditChange() {
    const int number = NumberFromText(NumberEdit.Text(), -1, MaxNumber + 1, thousandSeparator_);
    if (number >= 0 && number <= MaxNumber) {
        lastNumber_ = number;
    }
}

void TMainForm::NumberEditExit() {
    CommitNumber();
}

int TMainForm::CommitNumber() {
    const int number = NumberFromText(NumberEdit.Text(), lastNumber_, MaxNumber, thousandSeparator_);
    // Written back by the spin, in its own format, even when the number stays: the box shows what counts.
    NumberSpin.SetPosition(number);
    return number;
}
