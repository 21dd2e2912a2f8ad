#pragma once
// Wildcard patterns, compiled once when a scan is asked for and matched in time that grows with the
// lengths of pattern and name, never exponentially, so no match can hold up Stop or Pause.
//
// A name (a file's name mask, or a folder's name anywhere in the tree) holds * and ?, and keeps
// Windows' meaning of dots: a name ending in ".*" also takes what comes before it alone (*.* takes
// every name, report.* takes "report"), and in a name ending in "." the wildcards match no dot, as
// dir's do (*. takes names without an extension, *.tar. takes a.tar but not a.b.tar). A folder's
// path holds such names between backslashes, * and ? staying within one of them, and ** for any
// number of folders, none included.
//
// Case counts as the file system counts it: both sides upper-cased unit by unit with the system's
// ordinal table (CompareStringOrdinal's), so Cyrillic and Greek fold as Latin does and a surrogate
// stays as it is, on Windows and under Wine alike.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Units with * and ?, upper-cased, runs of * made one.
struct TGlob {
    std::wstring Units;
    std::uint32_t Head = 0; // units before the first *; all of them when there is none
    std::uint32_t Tail = 0; // units after the last *
    bool Star = false;
};

struct TNamePattern {
    enum class TDots : std::uint8_t { AsWritten, OrBare, NoExtension };
    TDots Dots = TDots::AsWritten;
    // AsWritten: the name; OrBare: the name, then without its final ".*"; NoExtension: the pieces
    // between its dots, the final one dropped, each matching one piece of a name.
    std::vector<TGlob> Globs;
};

struct TPattern {
    bool IsPath = false;
    TNamePattern Name; // not a path
    // A path: its folder names from the drive ("C:") or the server ("", "", "server") on; a part
    // that is ** stands for any number of folders.
    struct TPart {
        bool AnyFolders = false;
        TNamePattern Name;
    };
    std::vector<TPart> Parts;
};

enum class TPatternUse : std::uint8_t { NameMask, SkipFolder };

// The patterns of a list as typed: separated by ";" or "," outside double quotes, blanks around
// each taken off, empty ones left out. A pattern keeps its quotes.
std::vector<std::wstring_view> SplitPatterns(std::wstring_view list);

// Compiles one pattern of a list. A folder pattern without "\" or "/" (a final one aside) is a
// folder's name anywhere; with one, a folder's path: from a drive, from "\\server", from a
// wildcard (*\Temp, **\bin), else below root ("build\out", "\build"). "\\?\" before a drive and
// "\\?\UNC\" are taken off first; a volume's path (\\?\Volume{...}\...) stays one. A pattern in
// double quotes is what they hold, blanks at its ends included. root is the root folder's ordinary
// full path ending with "\"; empty, a pattern below it is only checked. Empty when compiled; else
// the one sentence that says which pattern can never match, why, and how it could be written: a
// list that, typed in, is taken and means what was meant.
std::wstring CompilePattern(std::wstring_view text, TPatternUse use, std::wstring_view root,
                            TPattern& pattern);

// A full path cut at its backslashes as path patterns see it, a final backslash and a long-path
// prefix ignored: "C:\a\b\" gives C:, a, b; "\\srv\share\a" gives "", "", srv, share, a;
// "\\?\Volume{...}\a" gives "", "", ?, Volume{...}, a.
std::vector<std::wstring_view> PathNames(std::wstring_view path);

// A pattern that is not a path against a name; a path pattern against a path's names.
bool MatchesName(const TPattern& pattern, std::wstring_view name);
bool MatchesPath(const TPattern& pattern, const std::vector<std::wstring_view>& names);

// Every UTF-16 unit upper-cased as the file system compares names (the table above): two names are
// the same file's when they are equal unit by unit through it.
const wchar_t* UpperUnits();
