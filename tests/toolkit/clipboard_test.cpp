#include "clipboard_support.h"
#include "toolkit/clipboard.h"
#include <gtest/gtest.h>
#include <string>

using namespace clipboard_support;

namespace {
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
        TClipboardText(text).Place(window_);
        const TContent content = ReadClipboard(window_);
        ASSERT_TRUE(content.HasText);
        ASSERT_TRUE(content.HasUnicode);
        EXPECT_EQ(text, content.Unicode);
        EXPECT_EQ(Ansi(text), content.Text);
    }
    // The plain line is ASCII, so its ANSI form is the same characters.
    TClipboardText(texts[0]).Place(window_);
    EXPECT_EQ(std::string(texts[0].begin(), texts[0].end()), ReadClipboard(window_).Text);
}
