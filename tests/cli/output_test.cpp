// A name with half a surrogate pair (NTFS allows it) has no UTF-8 form: JSON and a console write it
// exactly, the other forms say that they could not.
#include "cli/output.h"
#include <gtest/gtest.h>

namespace {

std::string HeldUtf8(std::wstring_view text) {
    std::string bytes;
    AppendUtf8(text, bytes, true);
    return bytes;
}

TEST(OutputTest, ANameWithALoneSurrogateIsExactOrSaidToBeNot) {
    const std::string held = HeldUtf8(L"C:\\a\\x\xD800y\U0001F600.txt");
    const std::string y = "y\xF0\x9F\x98\x80.txt"; // the pair around it stays a pair
    const struct {
        TOutputFormat Format;
        bool Console;
        bool Exact;
        std::string Starts;
    } cases[] = {
        {TOutputFormat::Lines, false, false, "C:\\a\\x\xEF\xBF\xBD" + y + "\t"},
        {TOutputFormat::Csv, false, false, "C:\\a\\x\xEF\xBF\xBD" + y + ","},
        {TOutputFormat::Null, false, false, std::string("C:\\a\\x\xEF\xBF\xBD") + y + '\0'},
        {TOutputFormat::Json, false, true, "{\"path\":\"C:\\\\a\\\\x\\uD800" + y + "\","},
        {TOutputFormat::Lines, true, true, held + "\t"},
    };
    for (const auto& c : cases) {
        std::string line;
        EXPECT_EQ(c.Exact, AppendFile(c.Format, held, 46082, 0, c.Console, line))
            << static_cast<int>(c.Format);
        EXPECT_EQ(c.Starts, line.substr(0, c.Starts.size())) << static_cast<int>(c.Format);
    }
    // What a console is given, and what standard error names.
    EXPECT_EQ(L"C:\\a\\x\xD800y\U0001F600.txt", Wide(held));
    EXPECT_EQ(L"C:\\a\\x\\uD800y\U0001F600.txt", Wide(held, true));
    std::string plain;
    EXPECT_TRUE(AppendFile(TOutputFormat::Lines, HeldUtf8(L"C:\\\U0001F600"), 46082, 0, false, plain));
}

} // namespace
