#include "toolkit/form.h"

#include <algorithm>
#include <commctrl.h>
#include "toolkit/application.h"
#include "toolkit/dpi.h"
#include "toolkit/error.h"
#include "toolkit/message_box.h"

namespace {

const wchar_t FormClassName[] = L"QuenwickForm";

void RegisterFormClass(WNDPROC procedure) {
    static bool registered = false;
    if (registered) {
        return;
    }
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = FormClassName;
    registered = RegisterClassExW(&windowClass) != 0;
}

} // namespace

TForm::~TForm() { DestroyHandle(); }

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
    handle_ = CreateWindowExW(exStyle, FormClassName, properties.Caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                              outer.right - outer.left, outer.bottom - outer.top, Application.Handle(), nullptr,
                              GetModuleHandleW(nullptr), this);
    if (!handle_) {
        throw TError(L"Cannot create the window \"" + properties.Caption + L"\"");
    }
    Application.AddForm(*this);

    font_ = CreateFontW(-ScaleToScreen(properties.FontHeight, pixelsPerInch_), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, properties.FontName);
    if (properties.Icon) {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        auto icon = [&](int size) {
            return reinterpret_cast<LPARAM>(LoadImageW(instance, properties.Icon, IMAGE_ICON, GetSystemMetrics(size),
                                                       GetSystemMetrics(size), LR_SHARED));
        };
        SendMessageW(handle_, WM_SETICON, ICON_BIG, icon(SM_CXICON));
        SendMessageW(handle_, WM_SETICON, ICON_SMALL, icon(SM_CXSMICON));
    }

    // Creation order is tab order; controls without a tab stop come last, in table order.
    std::vector<const TControlRow*> ordered;
    for (const TControlRow& row : layout) {
        ordered.push_back(&row);
    }
    std::ranges::stable_sort(ordered, [](const TControlRow* a, const TControlRow* b) {
        auto key = [](const TControlRow* row) { return row->TabOrder == NoTabStop ? INT_MAX : row->TabOrder; };
        return key(a) < key(b);
    });
    int id = 100;
    for (const TControlRow* row : ordered) {
        TControl& control = *row->Control;
        DWORD controlStyle = WS_CHILD | WS_VISIBLE | control.WindowStyle();
        if (row->TabOrder == NoTabStop) {
            controlStyle &= ~WS_TABSTOP;
        } else {
            // Every stop its own group: arrow keys stay in the control that wants them.
            controlStyle |= WS_GROUP;
        }
        if (!row->Enabled) {
            controlStyle |= WS_DISABLED;
        }
        TBounds bounds = ScaleToScreen(row->Bounds, pixelsPerInch_);
        control.handle_ = CreateWindowExW(control.WindowExStyle(), control.WindowClass(), row->Text, controlStyle,
                                          bounds.Left, bounds.Top, bounds.Width, bounds.Height, handle_,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)),
                                          GetModuleHandleW(nullptr), nullptr);
        if (!control.handle_) {
            throw TError(L"Cannot create a control of the window \"" + properties.Caption + L"\"");
        }
        SendMessageW(control.handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        control.Created();
        placed_.push_back({&control, bounds, row->Anchors, row->DockBottom});
    }
    Realign();
    for (const TPlaced& placed : placed_) {
        if (placed.Control->OnResize) {
            placed.Control->OnResize();
        }
    }
}

void TForm::DestroyHandle() {
    // Controls may be gone already; nothing routes to them from here on.
    placed_.clear();
    actionLists_.clear();
    if (handle_) {
        Application.RemoveForm(*this);
        DestroyWindow(handle_);
        handle_ = nullptr;
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

void TForm::Hide() { ShowWindow(handle_, SW_HIDE); }

int TForm::ShowModal() {
    ModalResult = 0;
    modal_ = true;
    {
        TDisabledTaskWindows others(handle_);
        Show();
        Application.HandleMessages([this] { return ModalResult != 0 || !handle_; });
    }
    // The others are enabled again first, so the activation goes back to one of them.
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
    if (Application.MainForm == this) {
        Application.Terminate();
    }
}

void TForm::UpdateActions() {
    for (TActionList* list : actionLists_) {
        list->UpdateAll();
    }
}

TBounds TForm::BoundsRect() const {
    RECT rect{};
    GetWindowRect(handle_, &rect);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void TForm::SetBounds(const TBounds& bounds) {
    SetWindowPos(handle_, nullptr, bounds.Left, bounds.Top, std::max(bounds.Width, MinWidth),
                 std::max(bounds.Height, MinHeight), SWP_NOZORDER | SWP_NOACTIVATE);
}

TControl* TForm::FindControl(HWND window) const {
    for (; window && window != handle_; window = GetParent(window)) {
        auto found = std::ranges::find_if(placed_, [window](const TPlaced& p) { return p.Control->Handle() == window; });
        if (found != placed_.end()) {
            return found->Control;
        }
    }
    return nullptr;
}

void TForm::Realign() {
    RECT client;
    GetClientRect(handle_, &client);
    int deltaWidth = client.right - designClientWidth_;
    int deltaHeight = client.bottom - designClientHeight_;
    for (const TPlaced& placed : placed_) {
        HWND window = placed.Control->Handle();
        if (placed.DockBottom) {
            // A docked bar measures itself against the parent.
            SendMessageW(window, WM_SIZE, 0, 0);
            continue;
        }
        TBounds wanted = AnchoredBounds(placed.Design, placed.Anchors, deltaWidth, deltaHeight);
        TBounds current = placed.Control->Bounds();
        if (wanted == current) {
            continue;
        }
        SetWindowPos(window, nullptr, wanted.Left, wanted.Top, wanted.Width, wanted.Height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        bool resized = wanted.Width != current.Width || wanted.Height != current.Height;
        if (resized && placed.Control->OnResize) {
            placed.Control->OnResize();
        }
    }
}

void TForm::UncheckOtherRadios(TRadioButton& checked) {
    // Sets run in table order from one GroupStart to the next.
    int set = 0, checkedSet = -1;
    std::vector<std::pair<int, TRadioButton*>> radios;
    for (const TPlaced& placed : placed_) {
        if (auto* radio = dynamic_cast<TRadioButton*>(placed.Control)) {
            set += radio->GroupStart && !radios.empty();
            radios.emplace_back(set, radio);
            if (radio == &checked) {
                checkedSet = set;
            }
        }
    }
    checked.SetChecked(true);
    for (auto [radioSet, radio] : radios) {
        if (radioSet == checkedSet && radio != &checked) {
            radio->SetChecked(false);
        }
    }
}

bool TForm::AccessKey(wchar_t key) {
    for (const TPlaced& placed : placed_) {
        if (placed.Control->AccessKey(key)) {
            return true;
        }
    }
    return false;
}

void TForm::FocusActiveControl() {
    if (lastFocus_ && IsWindow(lastFocus_) && IsChild(handle_, lastFocus_) && IsWindowEnabled(lastFocus_)) {
        ::SetFocus(lastFocus_);
    } else if (ActiveControl && ActiveControl->Handle()) {
        ActiveControl->SetFocus();
    }
}

bool TForm::PreTranslate(MSG& message) {
    if (message.hwnd != handle_ && !IsChild(handle_, message.hwnd)) {
        return false;
    }
    if (message.message == WM_SYSCHAR) {
        return AccessKey(static_cast<wchar_t>(message.wParam));
    }
    if (message.message != WM_KEYDOWN) {
        return false;
    }
    switch (message.wParam) {
    case VK_RETURN: {
        TControl* focused = FindControl(GetFocus());
        if (focused && focused->WantsReturn()) {
            return false;
        }
        // A focused push button takes Enter itself, as in dialogs.
        TButton* button = dynamic_cast<TButton*>(focused);
        if (!button) {
            button = DefaultButton;
        }
        if (!button) {
            return false;
        }
        Guarded([button] { button->Click(); });
        return true;
    }
    case VK_ESCAPE:
        if (!CancelButton) {
            return false;
        }
        Guarded([this] { CancelButton->Click(); });
        return true;
    case VK_TAB:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
        return IsDialogMessageW(handle_, &message);
    default:
        return false;
    }
}

bool TForm::HandleMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT CALLBACK TForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        reinterpret_cast<TForm*>(create->lpCreateParams)->handle_ = window;
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) {
        return DefWindowProcW(window, message, wParam, lParam);
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
    return handled ? result : DefWindowProcW(window, message, wParam, lParam);
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
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(handle_, focus)) {
                lastFocus_ = focus;
            }
        } else {
            FocusActiveControl();
        }
        return 0;
    case WM_SETFOCUS:
        FocusActiveControl();
        return 0;
    case WM_NEXTDLGCTL: {
        HWND next = lParam ? reinterpret_cast<HWND>(wParam) : GetNextDlgTabItem(handle_, GetFocus(), wParam != 0);
        if (next) {
            ::SetFocus(next);
        }
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        auto* label = dynamic_cast<TLabel*>(FindControl(reinterpret_cast<HWND>(lParam)));
        if (label && label->Transparent) {
            // The form is button-face; painting that keeps the label see-through on it and wipes
            // an old underline.
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    case WM_COMMAND: {
        HWND from = reinterpret_cast<HWND>(lParam);
        if (from) {
            TControl* control = FindControl(from);
            if (!control) {
                break;
            }
            WORD code = HIWORD(wParam);
            auto* radio = dynamic_cast<TRadioButton*>(control);
            if (radio && code == BN_CLICKED) {
                UncheckOtherRadios(*radio);
            }
            control->Command(code);
            auto* button = dynamic_cast<TButton*>(control);
            if (button && code == BN_CLICKED && button->ModalResult) {
                ModalResult = button->ModalResult;
            }
            return 0;
        }
        if (HIWORD(wParam) == 0) {
            for (const TPlaced& placed : placed_) {
                if (!placed.Control->PopupMenu) {
                    continue;
                }
                if (TMenuItem* item = placed.Control->PopupMenu->FindItem(LOWORD(wParam))) {
                    if (item->Action) {
                        item->Action->Execute();
                    } else if (item->OnClick) {
                        item->OnClick();
                    }
                    return 0;
                }
            }
        }
        break;
    }
    case WM_INITMENUPOPUP: {
        HMENU menu = reinterpret_cast<HMENU>(wParam);
        for (TActionList* list : actionLists_) {
            list->UpdateMenu(menu);
        }
        for (const TPlaced& placed : placed_) {
            if (placed.Control->PopupMenu) {
                if (TMenuItem* owner = placed.Control->PopupMenu->FindSubMenuOwner(menu); owner && owner->OnClick) {
                    owner->OnClick();
                }
            }
        }
        return 0;
    }
    case WM_CONTEXTMENU: {
        TControl* control = FindControl(reinterpret_cast<HWND>(wParam));
        if (control && control->PopupMenu) {
            control->SetFocus();
            POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (point.x == -1 && point.y == -1) {
                if (control->MenuPoint) {
                    point = control->MenuPoint();
                } else {
                    point = {0, 0};
                    ClientToScreen(control->Handle(), &point);
                }
            }
            control->PopupMenu->Popup(handle_, point.x, point.y);
            return 0;
        }
        break;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        TControl* control = FindControl(header->hwndFrom);
        if (control && control->OnNotify && control->OnNotify(*header, result)) {
            return result;
        }
        break;
    }
    case WM_NCDESTROY: {
        HWND window = handle_;
        handle_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    }
    return DefWindowProcW(handle_, message, wParam, lParam);
}

bool CaptionOnScreen(const TBounds& window) {
    int captionHeight = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME);
    RECT caption{window.Left, window.Top, window.Left + window.Width, window.Top + captionHeight};
    return MonitorFromRect(&caption, MONITOR_DEFAULTTONULL) != nullptr;
}
