#pragma once
// The texts the results list hands to the clipboard and to the shell's file browser.
#include <string>
#include <string_view>
#include <vector>

struct TRowText {
    std::wstring_view Path;
    std::wstring_view TimeText;
};

enum class TCopyLayout {
    OnlyNames,   // path
    NameAndTime, // path, tab, time
    TimeAndName, // time, tab, path, tab
};

// One line per row in the given order, joined by CR LF, no line break after the last.
std::wstring CopyText(const std::vector<TRowText>& rows, TCopyLayout layout);

// A row's line in parts: its path as folder and name (either may be empty) and its time text. A
// big copy is counted first and then written once where it goes, with these two.
struct TRowParts {
    std::wstring_view Folder, Name, TimeText;
};
std::size_t LineLength(const TRowParts& row, TCopyLayout layout);
// Writes the line at out and gives back where it ends.
wchar_t* WriteLine(wchar_t* out, const TRowParts& row, TCopyLayout layout);

struct TExploreTarget {
    std::wstring Folder; // up to and including the last backslash or colon
    std::wstring Name;   // the rest
};

// Without a backslash or colon the folder is empty and the name is the whole caption.
TExploreTarget SplitForExplore(std::wstring_view caption);
