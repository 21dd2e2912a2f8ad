// Skip patterns and name masks as the walk asks them: lists, wildcards, folders, dots and case.
#include <gtest/gtest.h>

#include <windows.h>

#include "scan/filters.h"

namespace {

// One row: the two lists, a folder's path (skip) or a file's name (masks) below the root C:\r\, and
// whether it is skipped or taken.
struct TRow {
    const wchar_t *Skip, *Masks, *Path;
    bool Expected;
};

TEST(ScanFilters, MatchAsWindowsMatchesNames) {
    const std::wstring many(100, L'a');
    std::wstring deep = L"C:";
    for (int i = 0; i < 200; ++i) {
        deep += L"\\a";
    }
    const TRow rows[] = {
        // A name anywhere; blanks, ";" and "," between patterns.
        {L" x ,node_modules; y", L"", L"C:\\r\\src\\Node_Modules", true},
        {L"cache*", L"", L"C:\\r\\cache\\sub", false},
        {L"build\\", L"", L"C:\\r\\a\\build", true},
        // * and ? stay within a folder name; ** is any number of folders, none included.
        {L"C:\\src\\*\\bin", L"", L"C:\\src\\a\\bin", true},
        {L"C:\\src\\*\\bin", L"", L"C:\\src\\a\\b\\bin", false},
        {L"C:\\src\\**\\bin", L"", L"C:\\src\\bin", true},
        {L"C:\\src\\**\\bin", L"", L"C:\\src\\a\\b\\bin", true},
        {L"**\\a\\**\\b\\**\\c", L"", L"C:\\x\\a\\b\\y\\c", true},
        {L"**\\a\\**\\b\\**\\c", L"", L"C:\\x\\b\\a\\c", false},
        {L"?:\\Temp", L"", L"D:\\temp", true},
        {L"*\\Temp", L"", L"C:\\r\\Temp", false},
        // "/" is "\"; the prefix is taken off; below the root unless from a drive, server or wildcard.
        {L"c:/data/a", L"", L"C:\\DATA\\A", true},
        {L"\\\\?\\C:\\data\\a", L"", L"C:\\data\\a", true},
        {L"\\\\srv\\share\\a", L"", L"\\\\?\\UNC\\srv\\share\\a", true},
        {L"//?/UNC/srv/share/a", L"", L"\\\\SRV\\share\\a", true},
        // A volume's path stays one, never a folder below the root.
        {L"\\\\?\\Volume{1b3d}\\data\\a", L"", L"\\\\?\\VOLUME{1B3D}\\data\\a", true},
        {L"\\\\?\\Volume{1b3d}\\data\\a", L"", L"C:\\r\\Volume{1b3d}\\data\\a", false},
        {L"\\\\?\\GLOBALROOT\\Device\\X\\**\\a", L"", L"\\\\?\\GLOBALROOT\\Device\\X\\b\\a", true},
        {L"\\\\srv\\*\\a", L"", L"\\\\srv\\share\\a", true},
        {L"build\\out", L"", L"C:\\r\\build\\out", true},
        {L"build\\out", L"", L"C:\\r\\x\\build\\out", false},
        {L"/build; .\\x\\y", L"", L"C:\\r\\build", true},
        {L".\\x\\y", L"", L"C:\\r\\x\\y", true},
        {L"\"C:\\r\\my docs\"", L"", L"C:\\r\\My Docs", true},
        // Time grows with the lengths, never exponentially.
        {L"*a*a*a*a*a*a*a*a*b", L"", L"C:\\r\\0", false},
        {L"**\\a\\**\\a\\**\\a\\**\\a\\**\\a\\**\\b\\**", L"", deep.c_str(), false},
        // Masks: Windows' dots; "," in a name is matched with ?.
        {L"", L"*.*", L"README", true},
        {L"", L"f0007.*", L"f0007", true},
        {L"", L"f0007.*", L"f0007.dat", true},
        {L"", L"f0007.*", L"f00071", false},
        {L"", L"*.", L"README", true},
        {L"", L"*.", L"notes.", true},
        {L"", L"*.", L"a.txt", false},
        {L"", L"*.tar.", L"a.tar", true},
        {L"", L"*.tar.", L"a.b.tar", false},
        {L"", L"*.docx, *.xlsx", L"Q4.XLSX", true},
        {L"", L"g?h.txt", L"g,h.txt", true},
        {L"", L"*x*y*?z", L"axyz", false},
        {L"", L"*x*y*?z", L"axyQz", true},
        {L"", L"*a*a*a*a*a*a*a*a*a*a*b*", many.c_str(), false},
        // Case as the file system has it: Cyrillic and Greek fold, ß and a surrogate pair do not.
        {L"", L"ДОКУМЕНТ*", L"документ.txt", true},
        {L"", L"σοφία.*", L"ΣΟΦΊΑ.txt", true},
        {L"", L"straße", L"STRASSE", false},
        {L"", L"\xD801\xDC00", L"\xD801\xDC28", false},
        {L"", L"?\xDC00", L"\xD801\xDC00", true},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(testing::Message() << &row - rows);
        TScanFilters filters;
        std::wstring error;
        ASSERT_TRUE(filters.Set(row.Skip, row.Masks, error, L"C:\\r\\"));
        const std::wstring path = row.Path;
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        EXPECT_EQ(row.Expected, *row.Masks ? filters.TakesName(name.c_str())
                                           : filters.SkipsFolder(name.c_str(), path + L"\\"));
    }
}

// The table the matcher folds with is the one CompareStringOrdinal compares with, unit by unit.
TEST(ScanFilters, EveryUnitFoldsAsCompareStringOrdinalFoldsIt) {
    for (unsigned c = 0x20; c < 0x10000; ++c) {
        const wchar_t unit = static_cast<wchar_t>(c);
        wchar_t other[2] = {};
        if (unit == L'*' || unit == L'?' || unit == L'.' ||
            std::wstring_view(L"<>:\"|/\\,;").find(unit) != std::wstring_view::npos ||
            LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &unit, 1, other, 1, nullptr, nullptr, 0) !=
                1) {
            continue;
        }
        TScanFilters filters;
        std::wstring error;
        ASSERT_TRUE(filters.Set(L"", std::wstring(1, unit), error));
        ASSERT_EQ(CompareStringOrdinal(&unit, 1, other, 1, TRUE) == CSTR_EQUAL, filters.TakesName(other))
            << c;
    }
}

} // namespace
