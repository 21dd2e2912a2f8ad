#include "scan/filters.h"

#include <windows.h>
#include <shlwapi.h>

#include "toolkit/text.h"

namespace {

// Characters no file or folder name can hold; * and ? are the wildcards.
bool ForbiddenInName(wchar_t c) {
    return c < L' ' || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'/' || c == L'|';
}

// Why a folder's full path can never match this pattern, or empty when it can. A full path
// begins with a drive ("C:\") or a server ("\\server\share"); a pattern may begin with a wildcard.
std::wstring PathPatternFault(std::wstring_view pattern) {
    const bool drive = pattern.size() >= 3 && pattern[1] == L':' && pattern[2] == L'\\';
    const bool server = pattern.size() >= 3 && pattern.substr(0, 2) == L"\\\\";
    if (!drive && !server && pattern[0] != L'*' && pattern[0] != L'?') {
        return L"matches a folder's full path, which begins with a drive or \\\\server: write it as "
               L"C:\\..., or begin it with * (*\\AppData\\Local)";
    }
    for (std::size_t i = drive ? 3 : server ? 2 : 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'\\' && i > 0 && pattern[i - 1] == L'\\') {
            return L"has an empty folder name between two backslashes";
        }
        if (pattern[i] != L'\\' && ForbiddenInName(pattern[i])) {
            return std::wstring(L"has \"") + pattern[i] + L"\", which no folder name can hold";
        }
    }
    return {};
}

bool Matches(const wchar_t* text, const std::vector<std::wstring>& patterns) {
    for (const std::wstring& pattern : patterns) {
        if (PathMatchSpecW(text, pattern.c_str())) {
            return true;
        }
    }
    return false;
}

} // namespace

bool TScanFilters::Set(std::wstring_view skipFolders, std::wstring_view nameMasks, std::wstring& error) {
    folderNames_.clear();
    folderPaths_.clear();
    masks_.clear();
    const auto each = [&error](std::wstring_view list, const wchar_t* what, auto&& take) {
        while (!list.empty()) {
            const std::size_t end = std::min(list.find(L';'), list.size());
            const std::wstring_view pattern = TrimControls(list.substr(0, end));
            list.remove_prefix(std::min(end + 1, list.size()));
            if (pattern.empty()) {
                continue;
            }
            const std::wstring fault = take(pattern);
            if (!fault.empty()) {
                error = std::wstring(what) + L" \"" + std::wstring(pattern) + L"\" " + fault + L".";
                return false;
            }
        }
        return true;
    };
    return each(skipFolders, L"The folder pattern",
                [this](std::wstring_view pattern) -> std::wstring {
                    if (pattern.find(L'\\') == std::wstring_view::npos) {
                        for (const wchar_t c : pattern) {
                            if (ForbiddenInName(c)) {
                                return std::wstring(L"has \"") + c + L"\", which no folder name can hold";
                            }
                        }
                        folderNames_.emplace_back(pattern);
                        return {};
                    }
                    // A folder written with its backslash is the folder.
                    while (pattern.size() > 1 && pattern.back() == L'\\' && pattern[pattern.size() - 2] != L'\\') {
                        pattern.remove_suffix(1);
                    }
                    if (pattern.find_first_not_of(L'\\') == std::wstring_view::npos) {
                        return L"is no folder at all";
                    }
                    std::wstring fault = PathPatternFault(pattern);
                    if (fault.empty()) {
                        folderPaths_.emplace_back(pattern);
                    }
                    return fault;
                }) &&
           each(nameMasks, L"The name mask", [this](std::wstring_view pattern) -> std::wstring {
               for (const wchar_t c : pattern) {
                   if (c == L'\\' || ForbiddenInName(c)) {
                       return std::wstring(L"has \"") + c + L"\", which no file name can hold";
                   }
               }
               masks_.emplace_back(pattern);
               return {};
           });
}

bool TScanFilters::SkipsFolder(const wchar_t* name, std::wstring_view path) const {
    if (Matches(name, folderNames_)) {
        return true;
    }
    if (folderPaths_.empty()) {
        return false;
    }
    const std::wstring folder(path.substr(0, path.size() - 1));
    return Matches(folder.c_str(), folderPaths_);
}

bool TScanFilters::TakesName(const wchar_t* name) const {
    return masks_.empty() || Matches(name, masks_);
}
