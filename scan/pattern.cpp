#include "scan/pattern.h"

#include <windows.h>

#include <algorithm>

#include "toolkit/text.h"

namespace {

// Every UTF-16 unit upper-cased once, by the system. Without LCMAP_LINGUISTIC_CASING this is the
// file system's casing, the table CompareStringOrdinal compares with. Surrogates are left out of
// the call: the file system upper-cases unit by unit, so a pair is never folded.
struct TUpperTable {
    wchar_t Units[0x10000];

    TUpperTable() {
        std::wstring from;
        for (unsigned c = 0; c < 0x10000; ++c) {
            Units[c] = static_cast<wchar_t>(c);
            if (c < 0xD800 || c > 0xDFFF) {
                from.push_back(static_cast<wchar_t>(c));
            }
        }
        std::wstring to(from.size(), L'\0');
        const int count = static_cast<int>(from.size());
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, from.data(), count, to.data(), count,
                          nullptr, nullptr, 0) == count) {
            for (std::size_t i = 0; i < from.size(); ++i) {
                Units[from[i]] = to[i];
            }
        } else {
            for (wchar_t c = L'a'; c <= L'z'; ++c) {
                Units[c] = static_cast<wchar_t>(c - L'a' + L'A');
            }
        }
    }
};

const wchar_t* Upper() {
    static const TUpperTable table;
    return table.Units;
}

TGlob MakeGlob(std::wstring_view text) {
    const wchar_t* upper = Upper();
    TGlob glob;
    for (const wchar_t c : text) {
        if (c == L'*' && glob.Star && glob.Units.back() == L'*') {
            continue;
        }
        glob.Star = glob.Star || c == L'*';
        glob.Units.push_back(c == L'*' || c == L'?' ? c : upper[c]);
    }
    const std::size_t size = glob.Units.size();
    glob.Head = static_cast<std::uint32_t>(glob.Star ? glob.Units.find(L'*') : size);
    glob.Tail = static_cast<std::uint32_t>(glob.Star ? size - glob.Units.rfind(L'*') - 1 : 0);
    return glob;
}

bool UnitsMatch(const wchar_t* pattern, const wchar_t* name, std::size_t count, const wchar_t* upper) {
    for (std::size_t i = 0; i < count; ++i) {
        if (pattern[i] != L'?' && pattern[i] != upper[name[i]]) {
            return false;
        }
    }
    return true;
}

// The head at the start, the tail at the end, and each run between two stars at the first place it
// fits after the one before: taking the first place never loses a match that a later one would
// give, so no choice is ever undone and the cost is at most the product of the two lengths.
bool GlobMatches(const TGlob& glob, std::wstring_view name, const wchar_t* upper) {
    const wchar_t* units = glob.Units.data();
    if (!glob.Star) {
        return name.size() == glob.Units.size() && UnitsMatch(units, name.data(), name.size(), upper);
    }
    if (name.size() < glob.Head + glob.Tail || !UnitsMatch(units, name.data(), glob.Head, upper) ||
        !UnitsMatch(units + glob.Units.size() - glob.Tail, name.data() + name.size() - glob.Tail, glob.Tail,
                    upper)) {
        return false;
    }
    std::size_t at = glob.Head;
    const std::size_t end = name.size() - glob.Tail;
    const std::size_t lastStar = glob.Units.size() - glob.Tail - 1;
    for (std::size_t run = glob.Head + 1; run < lastStar;) {
        const std::size_t star = glob.Units.find(L'*', run);
        const std::size_t length = star - run;
        for (;; ++at) {
            if (at + length > end) {
                return false;
            }
            if (UnitsMatch(units + run, name.data() + at, length, upper)) {
                break;
            }
        }
        at += length;
        run = star + 1;
    }
    return true;
}

TNamePattern MakeName(std::wstring_view text) {
    TNamePattern name;
    name.Globs.push_back(MakeGlob(text));
    const std::wstring& units = name.Globs[0].Units;
    if (units.ends_with(L".*")) {
        TGlob bare = MakeGlob(text.substr(0, text.find_last_not_of(L'*')));
        if (bare.Units == L"*") {
            name.Globs[0] = bare; // *.* takes every name
        } else {
            name.Globs.push_back(std::move(bare));
            name.Dots = TNamePattern::TDots::OrBare;
        }
    } else if (units.ends_with(L'.')) {
        name.Globs.clear();
        text.remove_suffix(1);
        for (std::size_t start = 0;;) {
            const std::size_t dot = text.find(L'.', start);
            name.Globs.push_back(MakeGlob(text.substr(start, dot - start)));
            if (dot == std::wstring_view::npos) {
                break;
            }
            start = dot + 1;
        }
        name.Dots = TNamePattern::TDots::NoExtension;
    }
    return name;
}

bool NameMatches(const TNamePattern& pattern, std::wstring_view name, const wchar_t* upper) {
    switch (pattern.Dots) {
    case TNamePattern::TDots::OrBare:
        return GlobMatches(pattern.Globs[0], name, upper) || GlobMatches(pattern.Globs[1], name, upper);
    case TNamePattern::TDots::NoExtension: {
        if (name.ends_with(L'.')) {
            name.remove_suffix(1);
        }
        std::size_t start = 0;
        for (const TGlob& piece : pattern.Globs) {
            if (start > name.size()) {
                return false;
            }
            const std::size_t dot = std::min(name.find(L'.', start), name.size());
            if (!GlobMatches(piece, name.substr(start, dot - start), upper)) {
                return false;
            }
            start = dot + 1;
        }
        return start > name.size();
    }
    default:
        return GlobMatches(pattern.Globs[0], name, upper);
    }
}

bool PartsMatch(const std::vector<TPattern::TPart>& parts, std::size_t part,
                const std::vector<std::wstring_view>& names, std::size_t at, std::size_t count,
                const wchar_t* upper) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!NameMatches(parts[part + i].Name, names[at + i], upper)) {
            return false;
        }
    }
    return true;
}

bool IsDots(std::wstring_view name) {
    return name == L"." || name == L"..";
}

bool ForbiddenInName(wchar_t c) {
    return c < L' ' || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'/' ||
           c == L'\\';
}

// "C:" or a wildcard in its place ("?:", "*:").
bool IsDrive(std::wstring_view text) {
    return text.size() >= 2 && text[1] == L':' &&
           ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z') || text[0] == L'?' ||
            text[0] == L'*') &&
           (text.size() == 2 || text[2] == L'\\');
}

// A pattern as it is typed in a list: in double quotes when it holds a separator or a blank at an
// end, which would otherwise split it or be trimmed.
std::wstring Listed(std::wstring text) {
    if (text.find_first_of(L";,") != std::wstring::npos || text.starts_with(L' ') || text.ends_with(L' ')) {
        return L'"' + text + L'"';
    }
    return text;
}

// The pattern with what no name can hold mended: quotes away, "C:x" as "C:\x", "|" as the separator
// users meant where the pattern was not in quotes, any other such character as ?.
std::wstring Mended(std::wstring_view text, bool path, bool quoted) {
    std::wstring bare;
    std::copy_if(text.begin(), text.end(), std::back_inserter(bare), [](wchar_t c) { return c != L'"'; });
    std::wstring mended;
    for (std::size_t i = 0; i < bare.size(); ++i) {
        const wchar_t c = bare[i];
        if (path && c == L':' && i == 1 && IsDrive(std::wstring_view(bare.data(), 2))) {
            mended += i + 1 < bare.size() && bare[i + 1] == L'\\' ? L":" : L":\\";
        } else if (path && c == L'\\') {
            mended += c;
        } else {
            mended += c == L'|' && !quoted ? L';' : ForbiddenInName(c) ? L'?' : c;
        }
    }
    return quoted ? Listed(mended) : mended;
}

// Whether a path's first name can be the name: a drive's ("C:"), a server path's empty one, or a
// volume's.
bool CanBeFirstName(const TNamePattern& name, const wchar_t* upper) {
    std::wstring drive = L"A:";
    for (; drive[0] <= L'Z'; ++drive[0]) {
        if (NameMatches(name, drive, upper)) {
            return true;
        }
    }
    return NameMatches(name, L"", upper) ||
           NameMatches(name, L"Volume{00000000-0000-0000-0000-000000000000}", upper) ||
           NameMatches(name, L"GLOBALROOT", upper);
}

// How long a long-path prefix is: 8 for "\\?\UNC\" (which stands for "\\"), 4 for "\\?\" before a drive,
// else 0. A volume's path (\\?\Volume{...}\, \\?\GLOBALROOT\...) has no other form: it keeps its
// prefix, and its names are "", "", "?" and the rest, as a share's begin with "", "" and the server.
std::size_t LongPrefix(std::wstring_view path) {
    if (!path.starts_with(L"\\\\?\\")) {
        return 0;
    }
    if (path.size() >= 8 && CompareStringOrdinal(path.data() + 4, 4, L"UNC\\", 4, TRUE) == CSTR_EQUAL) {
        return 8;
    }
    return IsDrive(path.substr(4)) ? 4 : 0;
}

} // namespace

std::vector<std::wstring_view> SplitPatterns(std::wstring_view list) {
    std::vector<std::wstring_view> patterns;
    while (!list.empty()) {
        std::size_t end = 0;
        for (bool quoted = false; end < list.size(); ++end) {
            if (!quoted && (list[end] == L';' || list[end] == L',')) {
                break;
            }
            quoted = quoted != (list[end] == L'"');
        }
        const std::wstring_view pattern = TrimControls(list.substr(0, end));
        list.remove_prefix(std::min(end + 1, list.size()));
        if (!pattern.empty()) {
            patterns.push_back(pattern);
        }
    }
    return patterns;
}

std::vector<std::wstring_view> PathNames(std::wstring_view path) {
    std::vector<std::wstring_view> names;
    const std::size_t prefix = LongPrefix(path);
    if (prefix == 8) {
        names = {L"", L""}; // the server follows
    }
    path.remove_prefix(prefix);
    if (path.ends_with(L'\\')) {
        path.remove_suffix(1);
    }
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find(L'\\', start);
        names.push_back(path.substr(start, end - start));
        if (end == std::wstring_view::npos) {
            return names;
        }
        start = end + 1;
    }
}

namespace {

// Why a pattern can never match, with how it could be written (example, a list as it would be typed),
// or empty when compiled.
std::wstring Refusal(std::wstring_view typed, TPatternUse use, std::wstring_view root, TPattern& pattern,
                     std::wstring& example) {
    const bool mask = use == TPatternUse::NameMask;
    const std::wstring holder = mask ? L"file" : L"folder";
    const auto refuse = [&example](std::wstring why, std::wstring written = {}) {
        example = std::move(written);
        return why;
    };
    pattern = TPattern{};
    // In quotes, as Explorer's "Copy as path" gives it, or to keep a separator or a blank at an end.
    const bool quoted = typed.size() >= 2 && typed.front() == L'"' && typed.find(L'"', 1) == typed.size() - 1;
    std::wstring text(quoted ? typed.substr(1, typed.size() - 2) : typed);
    if (mask) {
        if (const std::size_t slash = text.find_first_of(L"\\/"); slash != std::wstring::npos) {
            const std::wstring_view folders(text.data(), text.find_last_not_of(L"\\/") + 1);
            const std::wstring_view last = folders.substr(folders.find_last_of(L"\\/") + 1);
            return refuse(L"has \"" + std::wstring(1, text[slash]) + L"\", which no file name can hold" +
                              (last.empty() ? L"" : L": a mask is a name alone, as in"),
                          last.empty() ? L"" : Listed(std::wstring(last)));
        }
    } else {
        std::replace(text.begin(), text.end(), L'/', L'\\');
        const std::size_t prefix = LongPrefix(text);
        text.erase(prefix == 8 ? 2 : 0, prefix == 8 ? 6 : prefix);
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ForbiddenInName(text[i]) && (mask || (text[i] != L'\\' && !(i == 1 && IsDrive(text))))) {
            return refuse(L"has \"" + std::wstring(1, text[i]) + L"\", which no " + holder +
                              L" name can hold: write it as",
                          Mended(text, !mask, quoted || typed.find(L'"') != std::wstring_view::npos));
        }
    }
    // A folder written with its backslash is the folder.
    const std::size_t last = text.find_last_not_of(L'\\');
    if (last == std::wstring::npos) {
        return refuse(text.empty() ? L"is empty" : L"is no folder at all");
    }
    text.erase(last + 1);
    if (text.find(L'\\') == std::wstring::npos && !IsDrive(text)) {
        if (IsDots(text)) {
            return refuse(L"is no " + holder + L"'s name");
        }
        pattern.Name = MakeName(text);
        return {};
    }
    // From a drive, a server or a wildcard; else below the root ("build\out", "\build", ".\build").
    const bool unc = text.starts_with(L"\\\\");
    const bool fromWildcard = !unc && !IsDrive(text) && (text[0] == L'*' || text[0] == L'?');
    std::vector<std::wstring_view> names;
    std::wstring_view rest = text;
    if (!unc && !IsDrive(text) && !fromWildcard) {
        if (!root.empty()) {
            names = PathNames(root);
        }
        rest.remove_prefix(rest.starts_with(L".\\") ? 2 : rest.starts_with(L'\\') ? 1 : 0);
    }
    const std::size_t fromRoot = names.size();
    for (const std::wstring_view name : PathNames(rest)) {
        names.push_back(name);
    }
    // A drive's or share's root is a root, never a folder below one.
    if (std::find(names.begin(), names.end(), L"**") == names.end() &&
        (IsDrive(text) ? names.size() < 2 : unc && names.size() < 5)) {
        return unc && names.size() < 4 ? refuse(L"is a server, not a folder: a folder on it is written as",
                                                Listed(text + L"\\share\\folder"))
                                       : refuse(L"is the root of a drive or share, which is never left out: "
                                                L"to leave out every folder in it, write",
                                                Listed(text + L"\\*"));
    }
    std::wstring written; // without empty or dot names, for an example
    bool empty = false, dots = false;
    for (std::size_t i = fromRoot, kept = 0; i < names.size(); ++i) {
        const bool server = unc && i < 2;
        empty = empty || (names[i].empty() && !server);
        dots = dots || IsDots(names[i]);
        if ((!names[i].empty() || server) && !IsDots(names[i])) {
            written.append(kept++ ? L"\\" : L"").append(names[i]);
        }
    }
    if (empty) {
        return refuse(L"has an empty folder name between two backslashes: write it as", Listed(written));
    }
    if (dots) {
        return refuse(written.empty()
                          ? L"has \".\" or \"..\", which is no folder's name"
                          : L"has \".\" or \"..\", which is no folder's name: write the folders from the "
                            L"root folder down, as in",
                      written.empty() ? L"" : Listed(written));
    }
    pattern.IsPath = true;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool any = i >= fromRoot && names[i] == L"**";
        if (!(any && !pattern.Parts.empty() && pattern.Parts.back().AnyFolders)) {
            pattern.Parts.push_back({any, any ? TNamePattern{} : MakeName(names[i])});
        }
    }
    // A path from a wildcard begins at the top of a drive: its first name is the drive's, so one that
    // no drive can have ties it to nothing. Meant, most likely, at any depth.
    if (fromWildcard && !pattern.Parts[0].AnyFolders && !CanBeFirstName(pattern.Parts[0].Name, Upper())) {
        std::wstring first(names[0]);
        for (std::size_t star; (star = first.find(L"**")) != std::wstring::npos;) {
            first.erase(star, 1);
        }
        pattern = TPattern{};
        return refuse(L"is a path from the top of a drive, and \"" + std::wstring(names[0]) +
                          L"\" can be no drive's name: at any depth it is written as",
                      Listed(L"**\\" + first + text.substr(names[0].size())));
    }
    return {};
}

} // namespace

std::wstring CompilePattern(std::wstring_view typed, TPatternUse use, std::wstring_view root,
                            TPattern& pattern) {
    std::wstring example;
    const std::wstring why = Refusal(typed, use, root, pattern, example);
    if (why.empty()) {
        return {};
    }
    // A pattern can hold more than one fault: the example is mended on until each of its patterns
    // is taken, so that typed in as shown it is.
    for (int round = 0; round < 4 && !example.empty(); ++round) {
        std::wstring next;
        bool mended = false;
        for (const std::wstring_view piece : SplitPatterns(example)) {
            TPattern ignored;
            std::wstring further;
            const bool refused = !Refusal(piece, use, root, ignored, further).empty() && !further.empty();
            mended = mended || refused;
            next.append(next.empty() ? L"" : L";").append(refused ? further : std::wstring(piece));
        }
        if (!mended) {
            break;
        }
        example = std::move(next);
    }
    return std::wstring(use == TPatternUse::NameMask ? L"The name mask \"" : L"The folder pattern \"") +
           std::wstring(typed) + L"\" " + why + (example.empty() ? L"" : L" \"" + example + L"\"") + L".";
}

bool MatchesName(const TPattern& pattern, std::wstring_view name) {
    return NameMatches(pattern.Name, name, Upper());
}

// As a glob matches units: the names before the first ** at the start, those after the last at
// the end, and each run between two at the first place it fits.
bool MatchesPath(const TPattern& pattern, const std::vector<std::wstring_view>& names) {
    const wchar_t* upper = Upper();
    const auto& parts = pattern.Parts;
    std::size_t first = 0;
    while (first < parts.size() && !parts[first].AnyFolders) {
        ++first;
    }
    if (first == parts.size()) {
        return names.size() == parts.size() && PartsMatch(parts, 0, names, 0, parts.size(), upper);
    }
    std::size_t lastAny = parts.size() - 1;
    while (!parts[lastAny].AnyFolders) {
        --lastAny;
    }
    const std::size_t tail = parts.size() - lastAny - 1;
    if (names.size() < first + tail || !PartsMatch(parts, 0, names, 0, first, upper) ||
        !PartsMatch(parts, lastAny + 1, names, names.size() - tail, tail, upper)) {
        return false;
    }
    std::size_t at = first;
    const std::size_t end = names.size() - tail;
    for (std::size_t run = first + 1; run < lastAny;) {
        std::size_t any = run;
        while (!parts[any].AnyFolders) {
            ++any;
        }
        const std::size_t length = any - run;
        for (;; ++at) {
            if (at + length > end) {
                return false;
            }
            if (PartsMatch(parts, run, names, at, length, upper)) {
                break;
            }
        }
        at += length;
        run = any + 1;
    }
    return true;
}

const wchar_t* UpperUnits() {
    return Upper();
}
