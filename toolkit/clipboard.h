#pragma once
// Putting text on the clipboard.
#include <string>
#include <windows.h>

// Empties the clipboard and places the text twice: as CF_TEXT in the ANSI code page and as
// CF_UNICODETEXT. Another program may hold the clipboard for a moment, so opening is retried for
// about a quarter of a second; then std::runtime_error("Cannot open clipboard") is thrown and the
// clipboard is left as it was. The text is taken, and freed once copied.
void PutClipboardText(HWND owner, std::wstring text);
