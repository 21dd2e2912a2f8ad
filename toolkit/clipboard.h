#pragma once
// Putting text on the clipboard.
#include <functional>
#include <memory>
#include <string>
#include <windows.h>

// Empties the clipboard and places the text twice: as CF_TEXT in the ANSI code page and as
// CF_UNICODETEXT. Another program may hold the clipboard for a moment, so opening is retried for
// about a quarter of a second; then std::runtime_error("Cannot open clipboard") is thrown and the
// clipboard is left as it was. The text is taken, and freed once copied.
void PutClipboardText(HWND owner, std::wstring text);

// Tests see each time the copy finds the clipboard held and waits to try again.
void SetClipboardWaitObserverForTesting(std::function<void()> observer);

class TGlobalMemory;

// The same in two steps: making the two copies, which may run on any thread and take long for a
// big text, and placing them, on the thread of the owner window.
class TClipboardText {
public:
    explicit TClipboardText(std::wstring text);
    ~TClipboardText();
    TClipboardText(TClipboardText&&) noexcept;
    TClipboardText& operator=(TClipboardText&&) noexcept;
    // Once: the copies then belong to the clipboard.
    void Place(HWND owner);

private:
    std::unique_ptr<TGlobalMemory> wide_;
    std::unique_ptr<TGlobalMemory> ansi_;
};
