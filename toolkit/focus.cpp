#include "toolkit/focus.h"

void EnableKeepingFocus(HWND control, bool enabled) {
    if (!control) {
        return;
    }
    if (!enabled) {
        const HWND focus = GetFocus();
        if (focus && (focus == control || IsChild(control, focus))) {
            const HWND form = GetParent(control);
            const HWND next = GetNextDlgTabItem(form, control, FALSE);
            if (next && next != control) {
                FocusControl(form, next);
            } else {
                SetFocus(form);
            }
        }
    }
    EnableWindow(control, enabled);
}

void FocusControl(HWND form, HWND control) {
    SendMessageW(form, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}
