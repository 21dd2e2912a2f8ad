// Skip patterns and name masks as the walk asks them: lists, wildcards, folders, dots and case.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

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
        // In quotes a pattern is one, with its separators and the blanks at its ends.
        {L"x; \"C:\\Users\\Smith, John\\cache\"", L"", L"C:\\Users\\Smith, John\\cache", true},
        {L"\"sp \"", L"", L"C:\\r\\a\\sp ", true},
        {L"\"sp \"", L"", L"C:\\r\\a\\sp", false},
        {L"", L"\"a;b\", c", L"A;B", true},
        {L"*\\Temp", L"", L"C:\\Temp", true},
        {L"??\\Temp", L"", L"\\\\?\\D:\\Temp", true},
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

// Two units fold alike exactly when CompareStringOrdinal calls them equal. Units are grouped by the
// matcher's fold, each checked against the first of its group; the groups' first units, sorted as
// CompareStringOrdinal orders them, each differ from the next, so it sees no two groups as one.
TEST(ScanFilters, EveryUnitFoldsAsCompareStringOrdinalFoldsIt) {
    const auto compare = [](wchar_t a, wchar_t b) { return CompareStringOrdinal(&a, 1, &b, 1, TRUE); };
    std::vector<int> firstOfFold(0x10000, -1);
    std::vector<wchar_t> firsts;
    for (unsigned c = 0x21; c < 0x10000; ++c) {
        const wchar_t unit[2] = {static_cast<wchar_t>(c), 0};
        if (std::wstring_view(L"*?.<>:\"|/\\,;").find(unit[0]) != std::wstring_view::npos) {
            continue;
        }
        TPattern pattern;
        ASSERT_EQ(L"", CompilePattern(unit, TPatternUse::NameMask, L"", pattern)) << c;
        int& first = firstOfFold[pattern.Name.Globs[0].Units[0]];
        if (first < 0) {
            first = unit[0];
            firsts.push_back(unit[0]);
            continue;
        }
        ASSERT_EQ(CSTR_EQUAL, compare(static_cast<wchar_t>(first), unit[0])) << first << " " << c;
        TScanFilters filters;
        std::wstring error;
        ASSERT_TRUE(filters.Set(L"", std::wstring(1, static_cast<wchar_t>(first)), error));
        ASSERT_TRUE(filters.TakesName(unit)) << first << " " << c;
    }
    std::sort(firsts.begin(), firsts.end(),
              [&](wchar_t a, wchar_t b) { return compare(a, b) == CSTR_LESS_THAN; });
    for (std::size_t i = 1; i < firsts.size(); ++i) {
        ASSERT_NE(CSTR_EQUAL, compare(firsts[i - 1], firsts[i]))
            << int{firsts[i - 1]} << " " << int{firsts[i]};
    }
}

// A pattern that can never match is refused with how it could be written; typed in as shown, that
// is taken and leaves out (or takes) what was meant.
TEST(ScanFilters, EverySuggestionIsTakenAndMeansWhatWasTyped) {
    const struct {
        const wchar_t *Skip, *Masks, *Suggestion;
        const wchar_t* Meant; // a folder's path or a file's name, when what was meant is plain
    } rows[] = {
        {L"x, Temp<a", L"", L"Temp?a", nullptr},
        {L"C:data", L"", L"C:\\data", L"C:\\DATA"},
        {L"C:\\x\\data<1", L"", L"C:\\x\\data?1", L"C:\\x\\data_1"},
        {L"\\\\server", L"", L"\\\\server\\share\\folder", L"\\\\server\\share\\folder"},
        {L"C:/", L"", L"C:\\*", L"C:\\x"},
        {L"\\\\srv\\\\share\\a\\", L"", L"\\\\srv\\share\\a", L"\\\\srv\\share\\a"},
        {L"..\\x", L"", L"x", L"C:\\r\\x"},
        {L"\"C:\\Users\\Smith, John\\cache", L"", L"\"C:\\Users\\Smith, John\\cache\"",
         L"C:\\Users\\Smith, John\\cache"},
        {L"\"C:\\a, b\\x|\"", L"", L"\"C:\\a, b\\x?\"", L"C:\\a, b\\x_"},
        {L"\" sp\t\"", L"", L"\" sp?\"", L"C:\\r\\a\\ sp_"},
        // Tied to the top of a drive by a first name no drive has: meant at any depth.
        {L"*cache\\data", L"", L"**\\*cache\\data", L"C:\\r\\webcache\\data"},
        {L"?uild/out", L"", L"**\\?uild\\out", L"C:\\r\\build\\out"},
        {L"**foo\\bar", L"", L"**\\*foo\\bar", L"C:\\xfoo\\bar"},
        {L"?\\x", L"", L"**\\?\\x", L"C:\\r\\a\\x"},
        {L"*cache\\\\data<", L"", L"**\\*cache\\data?", L"C:\\cache\\data_"},
        {L"", L"a\\b", L"b", L"B"},
        {L"", L"*.doc|*.xls", L"*.doc;*.xls", L"q.xls"},
        {L"", L"\"*.doc|x, y\"", L"\"*.doc?x, y\"", L"a.doc_x, y"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << &row - rows);
        TScanFilters filters;
        std::wstring error;
        ASSERT_FALSE(filters.Set(row.Skip, row.Masks, error, L"C:\\r\\"));
        ASSERT_TRUE(error.ends_with(L" \"" + std::wstring(row.Suggestion) + L"\".")) << error;
        const bool skip = *row.Skip;
        ASSERT_TRUE(filters.Set(skip ? row.Suggestion : L"", skip ? L"" : row.Suggestion, error, L"C:\\r\\"))
            << error;
        if (row.Meant) {
            const std::wstring path = row.Meant;
            const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
            EXPECT_TRUE(skip ? filters.SkipsFolder(name.c_str(), path + L"\\")
                             : filters.TakesName(name.c_str()));
        }
    }
}

} // namespace
