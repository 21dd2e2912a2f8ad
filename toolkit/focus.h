#pragma once
// The focus as the dialog manager keeps it.
#include <windows.h>

// Enables or disables a control. A control that is about to be disabled while it holds the focus
// first hands it to the next enabled control in tab order, which would otherwise leave the window
// without a focus and deaf to Tab.
void EnableKeepingFocus(HWND control, bool enabled);

// A focus that disabling moved, and that the user has not moved since, goes to the form's default
// button as soon as that is enabled again: Enter then does what it did before (Start after a scan)
// instead of pressing wherever the focus was pushed to.
void ReturnDisplacedFocus(HWND form);

// Gives the focus to a control of a form as the dialog manager does (an edit box has its text
// selected, a push button becomes the default button while it has the focus).
void FocusControl(HWND form, HWND control);
