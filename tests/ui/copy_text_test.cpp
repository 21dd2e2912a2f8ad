#include "ui/copy_text.h"
#include <gtest/gtest.h>

namespace {
const std::vector<TRowText> kRows = {
    {L"C:\\a\\one.txt", L"07.03.2004 09:05:03"},
    {L"C:\\b\\two.txt", L"1/2/75 1:02:03 PM"},
    {L"D:\\three", L"31.12.2020 23:59:59"},
};

std::vector<TRowText> First(std::size_t count) {
    return {kRows.begin(), kRows.begin() + static_cast<std::ptrdiff_t>(count)};
}
} // namespace

TEST(CopyText, LayoutsAreByteExact) {
    struct TCase {
        TCopyLayout Layout;
        std::size_t Rows;
        std::wstring Expected;
    };
    const TCase cases[] = {
        {TCopyLayout::OnlyNames, 0, L""},
        {TCopyLayout::OnlyNames, 1, L"C:\\a\\one.txt"},
        {TCopyLayout::OnlyNames, 2, L"C:\\a\\one.txt\r\nC:\\b\\two.txt"},
        {TCopyLayout::OnlyNames, 3, L"C:\\a\\one.txt\r\nC:\\b\\two.txt\r\nD:\\three"},
        {TCopyLayout::NameAndTime, 1, L"C:\\a\\one.txt\t07.03.2004 09:05:03"},
        {TCopyLayout::NameAndTime, 2,
         L"C:\\a\\one.txt\t07.03.2004 09:05:03\r\nC:\\b\\two.txt\t1/2/75 1:02:03 PM"},
        {TCopyLayout::NameAndTime, 3,
         L"C:\\a\\one.txt\t07.03.2004 09:05:03\r\nC:\\b\\two.txt\t1/2/75 1:02:03 PM\r\nD:\\three\t31.12.2020 "
         L"23:59:59"},
        {TCopyLayout::TimeAndName, 0, L""},
        {TCopyLayout::TimeAndName, 1, L"07.03.2004 09:05:03\tC:\\a\\one.txt\t"},
        {TCopyLayout::TimeAndName, 2,
         L"07.03.2004 09:05:03\tC:\\a\\one.txt\t\r\n1/2/75 1:02:03 PM\tC:\\b\\two.txt\t"},
        {TCopyLayout::TimeAndName, 3,
         L"07.03.2004 09:05:03\tC:\\a\\one.txt\t\r\n1/2/75 1:02:03 PM\tC:\\b\\two.txt\t\r\n31.12.2020 "
         L"23:59:59\tD:\\three\t"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(c.Expected, CopyText(First(c.Rows), c.Layout))
            << "layout " << static_cast<int>(c.Layout) << ", rows " << c.Rows;
}

TEST(SplitForExplore, SplitsAtTheLastBackslashOrColon) {
    struct TCase {
        std::wstring Caption, Folder, Name;
    };
    const TCase cases[] = {
        {L"C:\\Users\\me\\report.doc", L"C:\\Users\\me\\", L"report.doc"},
        {L"C:\\boot.ini", L"C:\\", L"boot.ini"},
        {L"report.doc", L"", L"report.doc"},
        {L"C:report.doc", L"C:", L"report.doc"},
        {L"\\\\server\\share\\f.txt", L"\\\\server\\share\\", L"f.txt"},
        {L"C:\\dir\\", L"C:\\dir\\", L""},
        {L"", L"", L""},
    };
    for (const TCase& c : cases) {
        const TExploreTarget target = SplitForExplore(c.Caption);
        EXPECT_EQ(c.Folder, target.Folder) << c.Caption;
        EXPECT_EQ(c.Name, target.Name) << c.Caption;
    }
}
