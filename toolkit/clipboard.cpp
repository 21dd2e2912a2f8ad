#include "toolkit/clipboard.h"
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>

// Global memory that is freed unless the clipboard took it over.
class TGlobalMemory {
  public:
    explicit TGlobalMemory(std::size_t size) : handle_(GlobalAlloc(GMEM_MOVEABLE, size)) {
        if (!handle_)
            throw std::bad_alloc();
    }
    TGlobalMemory(const TGlobalMemory&) = delete;
    TGlobalMemory& operator=(const TGlobalMemory&) = delete;
    ~TGlobalMemory() {
        if (handle_)
            GlobalFree(handle_);
    }
    HGLOBAL Get() const { return handle_; }
    void Release() { handle_ = nullptr; }

    template <typename Fill> void Write(Fill fill) {
        void* data = GlobalLock(handle_);
        if (!data)
            throw std::bad_alloc();
        fill(data);
        GlobalUnlock(handle_);
    }

  private:
    HGLOBAL handle_;
};

namespace {
std::function<void()> waitObserver;

class TOpenClipboard {
  public:
    explicit TOpenClipboard(HWND owner) {
        // The other program usually holds it only for milliseconds.
        const ULONGLONG deadline = GetTickCount64() + 250;
        while (!OpenClipboard(owner)) {
            if (GetTickCount64() >= deadline)
                throw std::runtime_error("Cannot open clipboard");
            if (waitObserver)
                waitObserver();
            Sleep(10);
        }
    }
    TOpenClipboard(const TOpenClipboard&) = delete;
    TOpenClipboard& operator=(const TOpenClipboard&) = delete;
    ~TOpenClipboard() { CloseClipboard(); }
};

void PlaceFormat(UINT format, TGlobalMemory& memory) {
    if (!SetClipboardData(format, memory.Get()))
        throw std::runtime_error("Cannot set clipboard data");
    memory.Release();
}
} // namespace

void SetClipboardWaitObserverForTesting(std::function<void()> observer) {
    waitObserver = std::move(observer);
}

TClipboardText::TClipboardText(std::wstring text)
    : TClipboardText(text.size(), [&text](wchar_t* chars) {
          std::memcpy(chars, text.data(), text.size() * sizeof(wchar_t));
          // A million rows would otherwise be held three times at once: the text, and its two copies.
          std::wstring().swap(text);
      }) {}

TClipboardText::TClipboardText(std::size_t length, const std::function<void(wchar_t* text)>& fill) {
    // Made before the clipboard is opened, so it is held only briefly.
    auto wide = std::make_unique<TGlobalMemory>((length + 1) * sizeof(wchar_t));
    wide->Write([&](void* data) {
        wchar_t* chars = static_cast<wchar_t*>(data);
        fill(chars);
        chars[length] = L'\0';
    });
    wide_ = std::move(wide);
}

TClipboardText::~TClipboardText() = default;
TClipboardText::TClipboardText(TClipboardText&&) noexcept = default;
TClipboardText& TClipboardText::operator=(TClipboardText&&) noexcept = default;

void TClipboardText::Place(HWND owner) {
    if (!wide_)
        throw std::logic_error("The clipboard text was placed already.");
    TGlobalMemory locale(sizeof(LCID));
    locale.Write([](void* data) { *static_cast<LCID*>(data) = GetSystemDefaultLCID(); });
    TOpenClipboard clipboard(owner);
    if (!EmptyClipboard())
        throw std::runtime_error("Cannot empty clipboard");
    PlaceFormat(CF_UNICODETEXT, *wide_);
    wide_.reset();
    PlaceFormat(CF_LOCALE, locale);
}
