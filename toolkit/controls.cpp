#include "toolkit/controls.h"

#include "toolkit/actions.h"
#include "toolkit/application.h"
#include "toolkit/focus.h"
#include <algorithm>
#include <climits>
#include <commctrl.h>
#include <windowsx.h>

// ---- TControl

bool TControl::Enabled() const {
    return IsWindowEnabled(handle_);
}
void TControl::SetEnabled(bool enabled) {
    EnableKeepingFocus(handle_, enabled);
}
bool TControl::Visible() const {
    return IsWindowVisible(handle_);
}

std::wstring TControl::Text() const {
    std::wstring text(GetWindowTextLengthW(handle_) + 1, L'\0');
    text.resize(GetWindowTextW(handle_, text.data(), static_cast<int>(text.size())));
    return text;
}

void TControl::SetText(const std::wstring& text) {
    SetWindowTextW(handle_, text.c_str());
}

TBounds TControl::Bounds() const {
    RECT rect{};
    GetWindowRect(handle_, &rect);
    MapWindowPoints(nullptr, GetParent(handle_), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

bool TControl::Focused() const {
    return handle_ && GetFocus() == handle_;
}
void TControl::SetFocus() {
    FocusControl(GetParent(handle_), handle_);
}

void TControl::Command(WORD code) {
    if (code == BN_CLICKED && OnClick) {
        OnClick();
    }
}

bool TControl::Notify(NMHDR& header, LRESULT& result) {
    return OnNotify && OnNotify(header, result);
}

// ---- TLabel

DWORD TLabel::WindowStyle() const {
    return (RightAligned ? SS_RIGHT : SS_LEFT) | (OnClick || OnMouseMove ? SS_NOTIFY : 0);
}

TLabel::~TLabel() {
    if (underlinedFont_) {
        DeleteObject(underlinedFont_);
    }
}

void TLabel::Created() {
    SetWindowSubclass(handle_, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

HBRUSH TLabel::ControlColor(HDC dc) {
    if (!Transparent) {
        return nullptr;
    }
    // The form is button-face; painting that keeps the label see-through on it and wipes an old
    // underline.
    SetBkMode(dc, TRANSPARENT);
    return GetSysColorBrush(COLOR_BTNFACE);
}

void TLabel::SetUnderlined(bool underlined) {
    if (underlined == underlined_) {
        return;
    }
    underlined_ = underlined;
    if (underlined && !underlinedFont_) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(handle_, WM_GETFONT, 0, 0)), sizeof font, &font);
        font.lfUnderline = TRUE;
        underlinedFont_ = CreateFontIndirectW(&font);
    }
    HFONT font = underlined ? underlinedFont_
                            : reinterpret_cast<HFONT>(SendMessageW(GetParent(handle_), WM_GETFONT, 0, 0));
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

LRESULT CALLBACK TLabel::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR data) {
    auto* label = reinterpret_cast<TLabel*>(data);
    switch (message) {
    case WM_GETDLGCODE:
        // Not a static control to the dialog manager, unless its access letter leads somewhere.
        return label->For ? DLGC_STATIC : 0;
    case WM_MOUSEMOVE:
        if (label->OnMouseMove) {
            Guarded([&] {
                label->OnMouseMove(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            });
            return 0;
        }
        break;
    case WM_LBUTTONUP: {
        if (!label->OnClick) {
            break;
        }
        // A click is a release over the label, also while it holds the capture.
        RECT client;
        GetClientRect(window, &client);
        POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (PtInRect(&client, point)) {
            Guarded([&] { label->OnClick(); });
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (label->OnClick) {
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, SubclassProc, 1);
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// ---- TEdit

DWORD TEdit::WindowStyle() const {
    DWORD style = WS_TABSTOP | (ReadOnly ? ES_READONLY : 0) | (DigitsOnly ? ES_NUMBER : 0);
    return MultiLine ? style | ES_MULTILINE | ES_AUTOVSCROLL | (VerticalScrollBar ? WS_VSCROLL : 0) |
                           (ReadOnly ? 0 : ES_WANTRETURN)
                     : style | ES_AUTOHSCROLL;
}

void TEdit::Append(const std::wstring& text) {
    const LRESULT end = SendMessageW(handle_, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(handle_, EM_SETSEL, end, end);
    SendMessageW(handle_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TEdit::Command(WORD code) {
    if (code == EN_CHANGE && OnChange) {
        OnChange();
    } else if (code == EN_KILLFOCUS && OnExit) {
        OnExit();
    }
}

void TEdit::Created() {
    if (!CueText.empty()) {
        SendMessageW(handle_, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(CueText.c_str()));
    }
    if (MultiLine) {
        // The default limit silently stops appended text at 30,000 characters.
        SendMessageW(handle_, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    }
}

// ---- TButton

void TButton::Created() {
    if (Action) {
        Action->BindButton(handle_);
    }
}

void TButton::Command(WORD code) {
    if (code != BN_CLICKED) {
        return;
    }
    if (Action) {
        Action->Execute();
    } else if (OnClick) {
        OnClick();
    }
}

// ---- TDropDownButton

void TDropDownButton::Created() {
    TButton::Created();
    SetWindowSubclass(handle_, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

bool TDropDownButton::Notify(NMHDR& header, LRESULT& result) {
    if (header.code != NM_CUSTOMDRAW) {
        return TButton::Notify(header, result);
    }
    auto& draw = reinterpret_cast<NMCUSTOMDRAW&>(header);
    if (draw.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYPOSTPAINT;
        return true;
    }
    if (draw.dwDrawStage == CDDS_POSTPAINT) {
        // A triangle a third of the button's width wide, over the face the theme drew.
        const RECT& box = draw.rc;
        const int half = std::max<int>(2, (box.right - box.left) / 6);
        const int x = (box.left + box.right) / 2, y = (box.top + box.bottom) / 2 - half / 2;
        const POINT corners[] = {{x - half, y}, {x + half, y}, {x, y + half}};
        const int color = IsWindowEnabled(handle_) ? COLOR_BTNTEXT : COLOR_GRAYTEXT;
        const HGDIOBJ brush = SelectObject(draw.hdc, GetSysColorBrush(color));
        const HGDIOBJ pen = SelectObject(draw.hdc, GetStockObject(NULL_PEN));
        Polygon(draw.hdc, corners, 3);
        SelectObject(draw.hdc, pen);
        SelectObject(draw.hdc, brush);
        result = CDRF_DODEFAULT;
        return true;
    }
    result = CDRF_DODEFAULT;
    return true;
}

LRESULT CALLBACK TDropDownButton::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                               UINT_PTR, DWORD_PTR data) {
    switch (message) {
    case WM_SYSKEYDOWN:
        if (wParam == VK_DOWN) {
            Guarded([data] { reinterpret_cast<TDropDownButton*>(data)->Command(BN_CLICKED); });
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, SubclassProc, 1);
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// ---- TCheckButton

bool TCheckButton::Checked() const {
    return SendMessageW(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckButton::SetChecked(bool checked) {
    SendMessageW(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// ---- TUpDown

const wchar_t* TUpDown::WindowClass() const {
    return UPDOWN_CLASSW;
}
DWORD TUpDown::WindowStyle() const {
    return UDS_SETBUDDYINT | UDS_ARROWKEYS;
}

void TUpDown::Created() {
    // Bound without an alignment style, so the edit box keeps the width of the layout.
    if (Associate) {
        SendMessageW(handle_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Associate->Handle()), 0);
    }
    SendMessageW(handle_, UDM_SETRANGE32, Min, Max);
    SetPosition(InitialPosition);
}

int TUpDown::Position() const {
    BOOL failed = FALSE;
    return static_cast<int>(SendMessageW(handle_, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
}

void TUpDown::SetPosition(int position) {
    SendMessageW(handle_, UDM_SETPOS32, 0, position);
}

// ---- TComboBox

void TComboBox::Created() {
    for (const std::wstring& item : Items) {
        SendMessageW(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    SetSelectedIndex(0);
}

int TComboBox::SelectedIndex() const {
    return static_cast<int>(SendMessageW(handle_, CB_GETCURSEL, 0, 0));
}

void TComboBox::SetSelectedIndex(int index) {
    const bool inside = index >= 0 && index < static_cast<int>(Items.size());
    SendMessageW(handle_, CB_SETCURSEL, inside ? index : 0, 0);
}

// ---- TDateTimePicker

const wchar_t* TDateTimePicker::WindowClass() const {
    return DATETIMEPICK_CLASSW;
}

DWORD TDateTimePicker::WindowStyle() const {
    return WS_TABSTOP | (Kind == TKind::Date ? DTS_SHORTDATEFORMAT : DTS_TIMEFORMAT);
}

SYSTEMTIME TDateTimePicker::DateTime() const {
    SYSTEMTIME value{};
    SendMessageW(handle_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&value));
    return value;
}

void TDateTimePicker::SetDateTime(const SYSTEMTIME& value) {
    SendMessageW(handle_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&value));
}

// ---- TListView

void TListView::RelayToTip(const MSG& message) {
    if (!RowTip || !handle_ || message.hwnd != handle_)
        return;
    TTTOOLINFOW tool{sizeof tool};
    tool.hwnd = handle_;
    tool.uId = 1;
    if (!tip_ || !IsWindow(tip_)) {
        tip_ =
            CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                            GetAncestor(handle_, GA_ROOT), nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!tip_)
            return;
        // One tool over the whole list; its text follows the row under the pointer.
        tool.rect = {0, 0, SHRT_MAX, SHRT_MAX};
        tool.lpszText = tipText_.data();
        SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, SHRT_MAX); // lines break only where the text does
        tipRow_ = -1;
    }
    if (message.message == WM_MOUSEMOVE) {
        LVHITTESTINFO hit{};
        hit.pt = {GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
        const int row =
            static_cast<int>(SendMessageW(handle_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (row != tipRow_) {
            tipRow_ = row;
            tipText_ = row >= 0 ? RowTip(row) : std::wstring();
            SendMessageW(tip_, TTM_POP, 0, 0);
            tool.lpszText = tipText_.data();
            SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
            SendMessageW(tip_, TTM_ACTIVATE, !tipText_.empty(), 0);
        }
    }
    MSG relayed = message;
    SendMessageW(tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

const wchar_t* TListView::WindowClass() const {
    return WC_LISTVIEWW;
}

DWORD TListView::WindowStyle() const {
    return WS_TABSTOP | LVS_REPORT | (OwnerData ? LVS_OWNERDATA : 0) | (MultiSelect ? 0 : LVS_SINGLESEL);
}

void TListView::Created() {
    DWORD extended = (GridLines ? LVS_EX_GRIDLINES : 0) | (RowSelect ? LVS_EX_FULLROWSELECT : 0);
    SendMessageW(handle_, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    for (size_t i = 0; i < Columns.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = Columns[i].RightAligned ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.pszText = Columns[i].Caption.data();
        column.cx = Columns[i].Width;
        SendMessageW(handle_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void TListView::SetColumnWidth(int column, int width) {
    SendMessageW(handle_, LVM_SETCOLUMNWIDTH, column, width);
}

int TListView::ColumnWidth(int column) const {
    return static_cast<int>(SendMessageW(handle_, LVM_GETCOLUMNWIDTH, column, 0));
}

bool TListView::Notify(NMHDR& header, LRESULT& result) {
    switch (header.code) {
    case LVN_COLUMNCLICK:
        if (OnColumnClick) {
            OnColumnClick(reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
            result = 0;
            return true;
        }
        break;
    case NM_DBLCLK:
        if (OnDoubleClick && reinterpret_cast<NMITEMACTIVATE&>(header).iItem >= 0) {
            OnDoubleClick();
        }
        break;
    case LVN_KEYDOWN:
        if (OnKeyDown) {
            OnKeyDown(reinterpret_cast<NMLVKEYDOWN&>(header).wVKey);
        }
        break;
    }
    return TControl::Notify(header, result);
}

// ---- TStatusBar

const wchar_t* TStatusBar::WindowClass() const {
    return STATUSCLASSNAMEW;
}

void TStatusBar::SetParts(const std::vector<int>& rightEdges) {
    SendMessageW(handle_, SB_SETPARTS, rightEdges.size(), reinterpret_cast<LPARAM>(rightEdges.data()));
}

void TStatusBar::SetPartText(int part, const std::wstring& text) {
    SendMessageW(handle_, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring TStatusBar::PartText(int part) const {
    std::wstring text(LOWORD(SendMessageW(handle_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0)) + 1,
                      L'\0');
    text.resize(LOWORD(SendMessageW(handle_, SB_GETTEXTW, static_cast<WPARAM>(part),
                                    reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

// ---- Menus

TPopupMenu::~TPopupMenu() {
    if (root_.subMenu_) {
        DestroyMenu(root_.subMenu_);
    }
}

HMENU TPopupMenu::Build(TMenuItem& parent) {
    parent.subMenu_ = CreatePopupMenu();
    for (TMenuItem* item : parent.items_) {
        if (item->Caption == L"-") {
            AppendMenuW(parent.subMenu_, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        item->id_ = nextId_++;
        const std::wstring& caption = item->Action ? item->Action->Caption() : item->Caption;
        if (!item->items_.empty()) {
            AppendMenuW(parent.subMenu_, MF_POPUP, reinterpret_cast<UINT_PTR>(Build(*item)), caption.c_str());
        } else {
            AppendMenuW(parent.subMenu_, MF_STRING, item->id_, caption.c_str());
            if (item->Action) {
                item->Action->BindMenuItem(parent.subMenu_, item->id_);
            }
        }
    }
    return parent.subMenu_;
}

HMENU TPopupMenu::Handle() {
    return root_.subMenu_ ? root_.subMenu_ : Build(root_);
}

void TPopupMenu::Popup(HWND owner, int x, int y) {
    TrackPopupMenu(Handle(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr);
}

namespace {

TMenuItem* FindIn(TMenuItem& parent, UINT id, HMENU subMenu) {
    for (TMenuItem* item : parent.Items()) {
        if ((id && item->Id() == id && item->Items().empty()) || (subMenu && item->SubMenu() == subMenu)) {
            return item;
        }
        if (TMenuItem* found = FindIn(*item, id, subMenu)) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

TMenuItem* TPopupMenu::FindItem(UINT id) {
    return root_.SubMenu() ? FindIn(root_, id, nullptr) : nullptr;
}

TMenuItem* TPopupMenu::FindSubMenuOwner(HMENU menu) {
    return root_.SubMenu() ? FindIn(root_, 0, menu) : nullptr;
}
