#include "toolkit/clipboard.h"
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>

namespace {
HWND MakeWindow() { return CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr); }

// Wine's clipboard manager may look at new content for a moment, so reading waits for it too.
bool OpenForReading(HWND window) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (OpenClipboard(window)) return true;
        Sleep(10);
    }
    return false;
}

struct TContent {
    bool HasText = false, HasUnicode = false;
    std::string Text;
    std::wstring Unicode;
};

TContent ReadClipboard(HWND window) {
    TContent content;
    if (!OpenForReading(window)) return content;
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

std::string Ansi(const std::wstring& text) {
    std::string bytes(text.size() * 4 + 1, '\0');
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

// Another thread of this process holds the clipboard with its own window until released.
class THolder {
public:
    explicit THolder(DWORD holdMs) : opened_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = std::thread([this, holdMs] {
            HWND window = MakeWindow();
            held_ = OpenForReading(window);
            SetEvent(opened_);
            WaitForSingleObject(release_, holdMs);
            if (held_) CloseClipboard();
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
        if (thread_.joinable()) thread_.join();
    }

private:
    HANDLE opened_, release_;
    bool held_ = false;
    std::thread thread_;
};

class ClipboardTest : public testing::Test {
protected:
    void SetUp() override { window_ = MakeWindow(); }
    void TearDown() override { DestroyWindow(window_); }
    HWND window_ = nullptr;
};
} // namespace

TEST_F(ClipboardTest, PlacesTheSameTextInBothFormats) {
    const std::wstring texts[] = {
        L"C:\\a\\one.txt\t07.03.2004 09:05:03\r\nC:\\b\\two.txt\t1/2/75 1:02:03 PM",
        L"",
        L"C:\\donn\u00e9es\\\u65e5\u672c\u8a9e\\\u0444\u0430\u0439\u043b \U0001F600.txt",
    };
    for (const std::wstring& text : texts) {
        PutClipboardText(window_, text);
        const TContent content = ReadClipboard(window_);
        ASSERT_TRUE(content.HasText);
        ASSERT_TRUE(content.HasUnicode);
        EXPECT_EQ(text, content.Unicode);
        EXPECT_EQ(Ansi(text), content.Text);
    }
    // The plain line is ASCII, so its ANSI form is the same characters.
    PutClipboardText(window_, texts[0]);
    EXPECT_EQ(std::string(texts[0].begin(), texts[0].end()), ReadClipboard(window_).Text);
}

TEST_F(ClipboardTest, BusyClipboardFailsAfterRetryingAndStaysUnchanged) {
    PutClipboardText(window_, L"before");
    THolder holder(INFINITE);
    ASSERT_TRUE(holder.Held());
    std::string message;
    try {
        PutClipboardText(window_, L"after");
    } catch (const std::runtime_error& failure) {
        message = failure.what();
    }
    holder.Release();
    EXPECT_EQ("Cannot open clipboard", message);
    const TContent content = ReadClipboard(window_);
    EXPECT_EQ(L"before", content.Unicode);
    EXPECT_EQ("before", content.Text);
}

TEST_F(ClipboardTest, ClipboardHeldBrieflyIsWaitedFor) {
    PutClipboardText(window_, L"before");
    THolder holder(60);
    ASSERT_TRUE(holder.Held());
    EXPECT_NO_THROW(PutClipboardText(window_, L"after"));
    holder.Release();
    EXPECT_EQ(L"after", ReadClipboard(window_).Unicode);
}
