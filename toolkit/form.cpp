#include "toolkit/form.h"

#include "toolkit/dpi.h"
#include "toolkit/error.h"
#include "toolkit/focus.h"
#include "toolkit/message_box.h"
#include <algorithm>
#include <climits>
#include <commctrl.h>

namespace {

const wchar_t FormClassName[] = L"QuenwickForm";
constexpr int FirstControlId = 100;

// The first form made; closing it ends the program.
TForm* mainForm = nullptr;

void RegisterFormClass(WNDPROC procedure) {
    static bool registered = false;
    if (registered) {
        return;
    }
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    // A dialog class: DefDlgProcW keeps its state in these bytes.
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = FormClassName;
    registered = RegisterClassExW(&windowClass) != 0;
}

bool IsRadio(const TControlRow* row) {
    return dynamic_cast<const TRadioButton*>(row->Control) != nullptr;
}

// Creation order is the dialog manager's order: tab order, except that the radio buttons of a set
// follow one another, since the arrow keys move only between neighbours. Only the checked one of
// a set is a tab stop, so Tab meets the set where its checked button stands in the table.
// A label whose access letter leads to a control comes just before it, where the dialog manager
// looks for the control; other controls without a tab stop come last, in table order.
std::vector<const TControlRow*> CreationOrder(std::span<const TControlRow> layout) {
    std::vector<const TControlRow*> byTab;
    for (const TControlRow& row : layout) {
        byTab.push_back(&row);
    }
    std::ranges::stable_sort(byTab, [](const TControlRow* a, const TControlRow* b) {
        auto key = [](const TControlRow* row) {
            return row->TabOrder == NoTabStop ? INT_MAX : row->TabOrder;
        };
        return key(a) < key(b);
    });
    std::vector<const TControlRow*> ordered;
    std::size_t lastOfSet = SIZE_MAX; // where the current radio set ends in ordered
    for (const TControlRow* row : byTab) {
        if (IsRadio(row) && !static_cast<const TRadioButton*>(row->Control)->GroupStart &&
            lastOfSet != SIZE_MAX) {
            ordered.insert(ordered.begin() + static_cast<std::ptrdiff_t>(++lastOfSet), row);
            continue;
        }
        ordered.push_back(row);
        if (IsRadio(row)) {
            lastOfSet = ordered.size() - 1;
        }
    }
    for (const TControlRow& row : layout) {
        const auto* label = dynamic_cast<const TLabel*>(row.Control);
        if (label && label->For) {
            std::erase(ordered, &row);
            const auto target = std::ranges::find_if(
                ordered, [label](const TControlRow* other) { return other->Control == label->For; });
            ordered.insert(target, &row);
        }
    }
    return ordered;
}

// WS_GROUP only where a group begins: at the first control, at each radio set, after a radio set,
// and at the first control that takes no focus, so that the arrow keys never land on a label.
bool BeginsGroup(const std::vector<const TControlRow*>& ordered, std::size_t i) {
    if (i == 0) {
        return true;
    }
    const TControlRow* row = ordered[i];
    const TControlRow* before = ordered[i - 1];
    if (IsRadio(row)) {
        return static_cast<const TRadioButton*>(row->Control)->GroupStart || !IsRadio(before);
    }
    return IsRadio(before) || (row->TabOrder == NoTabStop && before->TabOrder != NoTabStop);
}

} // namespace

TForm::~TForm() {
    DestroyHandle();
}

void TForm::Create(const TFormProperties& properties, std::span<const TControlRow> layout) {
    RegisterFormClass(WindowProc);
    pixelsPerInch_ = ScreenPixelsPerInch();
    designClientWidth_ = ScaleToScreen(properties.ClientWidth, pixelsPerInch_);
    designClientHeight_ = ScaleToScreen(properties.ClientHeight, pixelsPerInch_);

    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (properties.Sizeable) {
        style |= WS_THICKFRAME;
    }
    if (!properties.ToolWindow) {
        style |= WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    }
    // Owned by the hidden window, so a taskbar button only comes with WS_EX_APPWINDOW.
    DWORD exStyle = properties.ToolWindow ? WS_EX_TOOLWINDOW : WS_EX_APPWINDOW;
    RECT outer{0, 0, designClientWidth_, designClientHeight_};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    handle_ = CreateWindowExW(exStyle, FormClassName, properties.Caption.c_str(), style, CW_USEDEFAULT,
                              CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                              Application.Handle(), nullptr, GetModuleHandleW(nullptr), this);
    if (!handle_) {
        throw TError(L"Cannot create the window \"" + properties.Caption + L"\"");
    }
    if (!mainForm) {
        mainForm = this;
    }
    Application.AddMessageFilter(*this);
    Application.AddIdleHandler(*this);

    font_ = CreateFontW(-ScaleToScreen(properties.FontHeight, pixelsPerInch_), 0, 0, 0, FW_NORMAL, FALSE,
                        FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, properties.FontName);
    if (properties.Icon) {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        auto icon = [&](int size) {
            return reinterpret_cast<LPARAM>(LoadImageW(instance, properties.Icon, IMAGE_ICON,
                                                       GetSystemMetrics(size), GetSystemMetrics(size),
                                                       LR_SHARED));
        };
        SendMessageW(handle_, WM_SETICON, ICON_BIG, icon(SM_CXICON));
        SendMessageW(handle_, WM_SETICON, ICON_SMALL, icon(SM_CXSMICON));
    }
    CreateControls(layout, properties);
    Realign();
    for (const TPlaced& placed : placed_) {
        if (placed.Control->OnResize) {
            placed.Control->OnResize();
        }
    }
}

void TForm::CreateControls(std::span<const TControlRow> layout, const TFormProperties& properties) {
    const std::vector<const TControlRow*> ordered = CreationOrder(layout);
    int id = FirstControlId;
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        const TControlRow& row = *ordered[i];
        TControl& control = *row.Control;
        DWORD controlStyle = WS_CHILD | WS_VISIBLE | control.WindowStyle();
        if (row.TabOrder == NoTabStop) {
            controlStyle &= ~WS_TABSTOP;
        }
        if (BeginsGroup(ordered, i)) {
            controlStyle |= WS_GROUP;
        }
        if (&control == properties.DefaultButton) {
            controlStyle |= BS_DEFPUSHBUTTON;
        }
        if (!row.Enabled) {
            controlStyle |= WS_DISABLED;
        }
        // The dialog manager sends Esc to the control numbered IDCANCEL.
        const int controlId = &control == properties.CancelButton ? IDCANCEL : id++;
        TBounds bounds = ScaleToScreen(row.Bounds, pixelsPerInch_);
        control.handle_ = CreateWindowExW(control.WindowExStyle(), control.WindowClass(), row.Text,
                                          controlStyle, bounds.Left, bounds.Top, bounds.Width, bounds.Height,
                                          handle_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                          GetModuleHandleW(nullptr), nullptr);
        if (!control.handle_) {
            throw TError(L"Cannot create a control of the window \"" + properties.Caption + L"\"");
        }
        SendMessageW(control.handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        control.Created();
        placed_.push_back({&control, bounds, row.Anchors, row.DockBottom, row.Share});
    }
    if (properties.DefaultButton) {
        SendMessageW(handle_, DM_SETDEFID, GetDlgCtrlID(properties.DefaultButton->Handle()), 0);
    }
}

void TForm::DestroyHandle() {
    // Controls may be gone already; nothing routes to them from here on.
    placed_.clear();
    actionLists_.clear();
    if (handle_) {
        Application.RemoveMessageFilter(*this);
        Application.RemoveIdleHandler(*this);
        DestroyWindow(handle_);
        handle_ = nullptr;
    }
    if (mainForm == this) {
        mainForm = nullptr;
    }
    if (font_) {
        DeleteObject(font_);
        font_ = nullptr;
    }
}

void TForm::Show() {
    ShowWindow(handle_, SW_SHOWNORMAL);
    UpdateWindow(handle_);
}

void TForm::Hide() {
    ShowWindow(handle_, SW_HIDE);
}

int TForm::ShowModal() {
    ModalResult = 0;
    modal_ = true;
    {
        // Ends by enabling the others and activating again the one that was active.
        TDisabledTaskWindows others(handle_);
        Show();
        Application.HandleMessages([this] { return ModalResult != 0 || !handle_; });
    }
    if (handle_) {
        Hide();
    }
    modal_ = false;
    if (ModalResult == 0) {
        ModalResult = IDCANCEL;
    }
    return ModalResult;
}

void TForm::Close() {
    if (OnCloseQuery && !OnCloseQuery()) {
        return;
    }
    if (modal_) {
        ModalResult = IDCANCEL;
        return;
    }
    Hide();
    if (mainForm == this) {
        Application.Terminate();
    }
}

void TForm::UpdateActions() {
    for (TActionList* list : actionLists_) {
        list->UpdateAll();
    }
    ReturnDisplacedFocus(handle_);
}

TBounds TForm::BoundsRect() const {
    RECT rect{};
    GetWindowRect(handle_, &rect);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

TBounds TForm::NormalBounds() const {
    WINDOWPLACEMENT placement{sizeof placement};
    if (!GetWindowPlacement(handle_, &placement)) {
        return BoundsRect();
    }
    RECT rect = placement.rcNormalPosition;
    // The placement counts from the work area's corner, except for tool windows.
    if (!(GetWindowLongW(handle_, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) {
        MONITORINFO monitor{sizeof monitor};
        if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor)) {
            OffsetRect(&rect, monitor.rcWork.left - monitor.rcMonitor.left,
                       monitor.rcWork.top - monitor.rcMonitor.top);
        }
    }
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void TForm::SetBounds(const TBounds& bounds) {
    SetWindowPos(handle_, nullptr, bounds.Left, bounds.Top, std::max(bounds.Width, MinWidth),
                 std::max(bounds.Height, MinHeight), SWP_NOZORDER | SWP_NOACTIVATE);
}

TControl* TForm::FindControl(HWND window) const {
    for (; window && window != handle_; window = GetParent(window)) {
        auto found = std::ranges::find_if(
            placed_, [window](const TPlaced& p) { return p.Control->Handle() == window; });
        if (found != placed_.end()) {
            return found->Control;
        }
    }
    return nullptr;
}

// All anchored controls move in one batch, and what moved is painted anew: bits copied from the
// old places, or not painted at all, would leave blank controls and trails behind.
void TForm::Realign() {
    RECT client;
    GetClientRect(handle_, &client);
    int deltaWidth = client.right - designClientWidth_;
    int deltaHeight = client.bottom - designClientHeight_;
    std::vector<std::pair<TControl*, TBounds>> moved;
    std::vector<TControl*> resized;
    HDWP batch = BeginDeferWindowPos(static_cast<int>(placed_.size()));
    for (const TPlaced& placed : placed_) {
        if (placed.DockBottom) {
            continue;
        }
        TBounds wanted = AnchoredBounds(placed.Design, placed.Anchors, deltaWidth, deltaHeight, placed.Share);
        TBounds current = placed.Control->Bounds();
        if (wanted == current) {
            continue;
        }
        moved.emplace_back(placed.Control, wanted);
        if (wanted.Width != current.Width || wanted.Height != current.Height) {
            resized.push_back(placed.Control);
        }
        if (batch) {
            batch =
                DeferWindowPos(batch, placed.Control->Handle(), nullptr, wanted.Left, wanted.Top,
                               wanted.Width, wanted.Height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
        }
    }
    if (!batch || !EndDeferWindowPos(batch)) {
        // Out of memory for the batch: one by one is slower to look at, but right.
        for (const auto& [control, wanted] : moved) {
            SetWindowPos(control->Handle(), nullptr, wanted.Left, wanted.Top, wanted.Width, wanted.Height,
                         SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
        }
    }
    for (const auto& [control, wanted] : moved) {
        RedrawWindow(control->Handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    for (const TPlaced& placed : placed_) {
        if (placed.DockBottom) {
            // A docked bar measures itself against the parent; its text and size grip are drawn whole.
            SendMessageW(placed.Control->Handle(), WM_SIZE, 0, 0);
            if (placed.Control->OnResize) {
                placed.Control->OnResize();
            }
            RedrawWindow(placed.Control->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
        }
    }
    for (TControl* control : resized) {
        if (control->OnResize) {
            control->OnResize();
        }
    }
}

// Gives the focus back after an activation when the dialog manager could not: the control that
// had it was disabled meanwhile, or none had it yet.
void TForm::RestoreFocus() {
    if (IsIconic(handle_) || !IsWindowEnabled(handle_) || !IsWindowVisible(handle_)) {
        return;
    }
    const HWND focus = GetFocus();
    if (focus && IsChild(handle_, focus) && IsWindowEnabled(focus)) {
        return;
    }
    auto usable = [](HWND window) { return window && IsWindowEnabled(window) && IsWindowVisible(window); };
    HWND target = nullptr;
    if (lastFocus_ && IsWindow(lastFocus_) && IsChild(handle_, lastFocus_)) {
        target = usable(lastFocus_) ? lastFocus_ : GetNextDlgTabItem(handle_, lastFocus_, FALSE);
    }
    if (!usable(target) && ActiveControl) {
        target = ActiveControl->Handle();
    }
    if (!usable(target)) {
        target = GetNextDlgTabItem(handle_, nullptr, FALSE);
    }
    if (usable(target)) {
        FocusControl(handle_, target);
    }
}

// Every message of the form passes the dialog manager, which translates and dispatches what it
// does not take itself. Only Enter for a control that takes it itself bypasses it.
bool TForm::PreTranslateMessage(MSG& message) {
    if (!handle_ || (message.hwnd != handle_ && !IsChild(handle_, message.hwnd))) {
        return false;
    }
    if (message.message == WM_KEYDOWN && OnKeyDown && OnKeyDown(static_cast<WORD>(message.wParam))) {
        return true;
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        const TControl* focused = FindControl(GetFocus());
        if (focused && focused->WantsReturn()) {
            return false;
        }
    }
    if (message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST) {
        if (auto* list = dynamic_cast<TListView*>(FindControl(message.hwnd)))
            list->RelayToTip(message);
    }
    // Alt+Enter never reaches a list view as a key: handed to it here, and taken.
    if (message.message == WM_SYSKEYDOWN && message.wParam == VK_RETURN) {
        auto* list = dynamic_cast<TListView*>(FindControl(GetFocus()));
        if (list && list->OnKeyDown) {
            list->OnKeyDown(VK_RETURN);
            return true;
        }
    }
    return IsDialogMessageW(handle_, &message) != FALSE;
}

bool TForm::HandleMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

LRESULT CALLBACK TForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        reinterpret_cast<TForm*>(create->lpCreateParams)->handle_ = window;
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) {
        return DefDlgProcW(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    bool handled = false;
    try {
        result = form->Dispatch(message, wParam, lParam);
        handled = true;
    } catch (...) {
        Application.ShowException(std::current_exception());
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
    return handled ? result : DefDlgProcW(window, message, wParam, lParam);
}

LRESULT TForm::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcW(handle_, message, wParam, lParam);
}

LRESULT TForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleMessage(message, wParam, lParam, result)) {
        return result;
    }
    switch (message) {
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_CLOSE:
        Close();
        return 0;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED && !placed_.empty()) {
            Realign();
        }
        return 0;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        if (MinWidth > 0) {
            info->ptMinTrackSize.x = MinWidth;
        }
        if (MinHeight > 0) {
            info->ptMinTrackSize.y = MinHeight;
        }
        return 0;
    }
    case WM_ACTIVATE: {
        // The dialog manager keeps the focused control while the form is inactive and gives it back.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(handle_, focus)) {
                lastFocus_ = focus;
            }
        }
        result = Default(message, wParam, lParam);
        if (LOWORD(wParam) != WA_INACTIVE) {
            RestoreFocus();
        }
        return result;
    }
    case WM_SETFOCUS:
        Default(message, wParam, lParam);
        RestoreFocus();
        return 0;
    case WM_CTLCOLORSTATIC:
        if (TControl* control = FindControl(reinterpret_cast<HWND>(lParam))) {
            if (HBRUSH brush = control->ControlColor(reinterpret_cast<HDC>(wParam))) {
                return reinterpret_cast<LRESULT>(brush);
            }
        }
        break;
    case WM_COMMAND:
        return Command(wParam, lParam);
    case WM_INITMENUPOPUP:
        MenuOpening(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_CONTEXTMENU:
        if (ContextMenu(reinterpret_cast<HWND>(wParam), lParam)) {
            return 0;
        }
        break;
    case WM_NOTIFY: {
        auto& header = *reinterpret_cast<NMHDR*>(lParam);
        TControl* control = FindControl(header.hwndFrom);
        if (control && control->Notify(header, result)) {
            return result;
        }
        break;
    }
    case WM_NCDESTROY: {
        HWND window = handle_;
        handle_ = nullptr;
        return DefDlgProcW(window, message, wParam, lParam);
    }
    }
    return Default(message, wParam, lParam);
}

// A control's notification goes back to the control; a menu entry's to the menu that has it.
LRESULT TForm::Command(WPARAM wParam, LPARAM lParam) {
    const HWND from = reinterpret_cast<HWND>(lParam);
    const WORD code = HIWORD(wParam);
    if (!from) {
        if (code == 0) {
            MenuCommand(LOWORD(wParam));
        }
        return 0;
    }
    TControl* control = FindControl(from);
    if (!control) {
        return Default(WM_COMMAND, wParam, lParam);
    }
    // The dialog manager sends Esc to the cancel button also when it is disabled.
    if (code == BN_CLICKED && !IsWindowEnabled(from)) {
        return 0;
    }
    control->Command(code);
    auto* button = dynamic_cast<TButton*>(control);
    if (button && code == BN_CLICKED && button->ModalResult) {
        ModalResult = button->ModalResult;
    }
    return 0;
}

void TForm::MenuCommand(UINT id) {
    for (const TPlaced& placed : placed_) {
        if (!placed.Control->PopupMenu) {
            continue;
        }
        if (TMenuItem* item = placed.Control->PopupMenu->FindItem(id)) {
            if (item->Action) {
                item->Action->Execute();
            } else if (item->OnClick) {
                item->OnClick();
            }
            return;
        }
    }
}

void TForm::MenuOpening(HMENU menu) {
    for (TActionList* list : actionLists_) {
        list->UpdateMenu(menu);
    }
    for (const TPlaced& placed : placed_) {
        if (placed.Control->PopupMenu) {
            if (TMenuItem* owner = placed.Control->PopupMenu->FindSubMenuOwner(menu);
                owner && owner->OnClick) {
                owner->OnClick();
            }
        }
    }
}

bool TForm::ContextMenu(HWND window, LPARAM at) {
    TControl* control = FindControl(window);
    if (!control || !control->PopupMenu) {
        return false;
    }
    control->SetFocus();
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (point.x == -1 && point.y == -1) {
        if (control->MenuPoint) {
            point = control->MenuPoint();
        } else {
            point = {0, 0};
            ClientToScreen(control->Handle(), &point);
        }
    }
    if (!control->OnContextMenu || !control->OnContextMenu(point)) {
        control->PopupMenu->Popup(handle_, point.x, point.y);
    }
    return true;
}

bool CaptionOnScreen(const TBounds& window) {
    int captionHeight = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME);
    RECT caption{window.Left, window.Top, window.Left + window.Width, window.Top + captionHeight};
    return MonitorFromRect(&caption, MONITOR_DEFAULTTONULL) != nullptr;
}
