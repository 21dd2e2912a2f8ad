// The progress line is redrawn in place with a carriage return: a line as wide as the console
// would wrap and leave a trail of lines behind.
#include "cli/progress.h"
#include <gtest/gtest.h>

namespace {

TEST(ProgressLineTest, FitsTheConsoleAndKeepsBothEndsOfTheFolder) {
    const std::wstring deep = L"C:\\data\\" + std::wstring(200, L'x') + L"\\\U0001F4C1 last folder\\";
    const struct {
        std::wstring Folder;
        int Width;
        std::wstring Expected; // empty: only the checks below
    } cases[] = {
        {L"C:\\data\\", 80, L"12 folders, 3456 files  C:\\data\\"},
        {deep, 80, L""},
        {deep, 40, L""},
        {deep, 48, L""}, // the cut falls inside the pair
        {deep, 24, L"12 folders, 3456 files"},
        {deep, 10, L"12 folder"},
    };
    for (const auto& c : cases) {
        const std::wstring line = ProgressLine(12, 3456, c.Folder, c.Width);
        EXPECT_LT(line.size(), static_cast<size_t>(c.Width)) << line;
        if (!c.Expected.empty()) {
            EXPECT_EQ(c.Expected, line);
            continue;
        }
        EXPECT_GE(line.size(), static_cast<size_t>(c.Width - 2)) << line; // the room is used
        EXPECT_TRUE(line.starts_with(L"12 folders, 3456 files  C:\\")) << line;
        EXPECT_TRUE(line.ends_with(L" folder\\")) << line;
        EXPECT_NE(std::wstring::npos, line.find(L"...")) << line;
        // No half of a surrogate pair is left at a cut.
        for (size_t i = 0; i < line.size(); ++i) {
            const bool high = line[i] >= 0xD800 && line[i] <= 0xDBFF,
                       low = line[i] >= 0xDC00 && line[i] <= 0xDFFF;
            EXPECT_FALSE(high && (i + 1 == line.size() || !(line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF)))
                << i;
            EXPECT_FALSE(low && (i == 0 || !(line[i - 1] >= 0xD800 && line[i - 1] <= 0xDBFF))) << i;
        }
    }
    EXPECT_EQ(L"1 folder, 1 file  C:\\", ProgressLine(1, 1, L"C:\\", 80));
}

} // namespace
