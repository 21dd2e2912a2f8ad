#include "toolkit/focus.h"

namespace {
// Where disabling last moved the focus of a form, kept on the form.
constexpr wchar_t kDisplacedFocus[] = L"Quenwick.DisplacedFocus";
} // namespace

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
                SetPropW(form, kDisplacedFocus, next);
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

void ReturnDisplacedFocus(HWND form) {
    const auto displaced = static_cast<HWND>(GetPropW(form, kDisplacedFocus));
    if (!displaced) {
        return;
    }
    if (GetFocus() != displaced) {
        RemovePropW(form, kDisplacedFocus); // the user moved it
        return;
    }
    const LRESULT id = SendMessageW(form, DM_GETDEFID, 0, 0);
    const HWND button = HIWORD(id) == DC_HASDEFID ? GetDlgItem(form, LOWORD(id)) : nullptr;
    if (button && IsWindowEnabled(button) && IsWindowVisible(button)) {
        RemovePropW(form, kDisplacedFocus);
        FocusControl(form, button);
    }
}
