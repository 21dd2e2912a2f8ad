#pragma once
// Reading the clipboard, and holding it from another thread, for the tests that copy.
#include <windows.h>
#include <string>
#include <thread>

namespace clipboard_support {
inline HWND MakeWindow() {
    return CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

// Wine's clipboard manager may look at new content for a moment, so reading waits for it too.
inline bool OpenForReading(HWND window) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (OpenClipboard(window))
            return true;
        Sleep(10);
    }
    return false;
}

struct TContent {
    bool HasText = false, HasUnicode = false;
    std::string Text;
    std::wstring Unicode;
};

inline TContent ReadClipboard(HWND window) {
    TContent content;
    if (!OpenForReading(window))
        return content;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        content.HasText = true;
        content.Text = static_cast<const char*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        content.HasUnicode = true;
        content.Unicode = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return content;
}

inline std::string Ansi(const std::wstring& text) {
    std::string bytes(text.size() * 4 + 1, '\0');
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

// Another thread of this process holds the clipboard with its own window until released.
class THolder {
  public:
    THolder()
        : opened_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = std::thread([this] {
            HWND window = MakeWindow();
            held_ = OpenForReading(window);
            SetEvent(opened_);
            WaitForSingleObject(release_, INFINITE);
            if (held_)
                CloseClipboard();
            DestroyWindow(window);
        });
        WaitForSingleObject(opened_, INFINITE);
    }
    ~THolder() {
        Release();
        CloseHandle(opened_);
        CloseHandle(release_);
    }
    bool Held() const { return held_; }
    void Release() {
        SetEvent(release_);
        if (thread_.joinable())
            thread_.join();
    }

  private:
    HANDLE opened_, release_;
    bool held_ = false;
    std::thread thread_;
};

} // namespace clipboard_support
