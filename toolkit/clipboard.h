#pragma once
// Putting text on the clipboard.
#include <windows.h>
#include <functional>
#include <memory>
#include <string>

// Tests see each time the copy finds the clipboard held and waits to try again.
void SetClipboardWaitObserverForTesting(std::function<void()> observer);

class TGlobalMemory;

// Text for the clipboard, in two steps: making it, which may run on any thread and take long for a
// big text; and placing it, after emptying the clipboard, on the thread that places it. The text is
// placed as CF_UNICODETEXT with CF_LOCALE, the system's locale: the system makes the CF_TEXT copy
// from it, in the system's ANSI code page, whenever a program asks for it, so a big text is not held
// twice. Another program may hold the clipboard for a moment, so opening is retried for about a
// quarter of a second; then std::runtime_error("Cannot open clipboard") is thrown and the clipboard
// is left as it was.
class TClipboardText {
  public:
    explicit TClipboardText(std::wstring text);
    // A text of length characters that fill writes straight into the clipboard's memory: a big
    // text is then held once, not twice.
    TClipboardText(std::size_t length, const std::function<void(wchar_t* text)>& fill);
    ~TClipboardText();
    TClipboardText(TClipboardText&&) noexcept;
    TClipboardText& operator=(TClipboardText&&) noexcept;
    // Once: the copies then belong to the clipboard.
    void Place(HWND owner);

  private:
    std::unique_ptr<TGlobalMemory> wide_;
};
