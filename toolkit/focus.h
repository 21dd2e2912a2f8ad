#pragma once
// The focus as the dialog manager keeps it.
#include <windows.h>

// Enables or disables a control. A control that is about to be disabled while it holds the focus
// first hands it to the next enabled control in tab order, which would otherwise leave the window
// without a focus and deaf to Tab.
void EnableKeepingFocus(HWND control, bool enabled);

// Gives the focus to a control of a form as the dialog manager does (an edit box has its text
// selected, a push button becomes the default button while it has the focus).
void FocusControl(HWND form, HWND control);
