#include "ui/logs_form.h"

#include <algorithm>

TLogsForm::TLogsForm() {
    LogEdit.MultiLine = true;
    LogEdit.ReadOnly = true;
    LogEdit.VerticalScrollBar = false;
    CloseButton.ModalResult = IDOK;
    const TControlRow layout[] = {
        {&LogEdit, {4, 4, 384, 328}, akLeft | akTop | akRight | akBottom, 0},
        {&CloseButton, {8, 342, 75, 25}, akLeft | akBottom, 1, L"OK"},
    };
    TFormProperties properties;
    properties.Caption = L"Processing log";
    properties.ClientWidth = 392;
    properties.ClientHeight = 373;
    properties.Sizeable = true;
    properties.ToolWindow = true;
    // Enter and Esc both press OK, and it is drawn as the default button.
    properties.DefaultButton = &CloseButton;
    properties.CancelButton = &CloseButton;
    Create(properties, layout);
    ActiveControl = &CloseButton;
}

TLogsForm::~TLogsForm() {
    DestroyHandle();
}

void TLogsForm::AppendLine(const std::wstring& line) {
    if (!text_.empty()) {
        text_ += L"\r\n";
    }
    text_ += line;
    if (Visible()) {
        LogEdit.Append(text_.substr(shown_));
        shown_ = text_.size();
    }
}

int TLogsForm::ShowModalOver(HWND owner) {
    LogEdit.Append(text_.substr(shown_));
    shown_ = text_.size();
    RECT over{}, own{};
    GetWindowRect(owner, &over);
    GetWindowRect(Handle(), &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    // Centred over the owner, but kept on its screen, caption included.
    MONITORINFO monitor{sizeof monitor};
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& area = monitor.rcWork;
    const int left = std::max<int>(
        area.left, std::min<int>(over.left + (over.right - over.left - width) / 2, area.right - width));
    const int top = std::max<int>(
        area.top, std::min<int>(over.top + (over.bottom - over.top - height) / 2, area.bottom - height));
    SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return ShowModal();
}
