#include "scan/filters.h"

#include <windows.h>

#include "scan/listing.h"

bool TScanFilters::Set(std::wstring_view skipFolders, std::wstring_view nameMasks, std::wstring& error,
                       std::wstring_view root) {
    folderNames_.clear();
    folderPaths_.clear();
    masks_.clear();
    for (const auto& [list, use] :
         {std::pair(skipFolders, TPatternUse::SkipFolder), std::pair(nameMasks, TPatternUse::NameMask)}) {
        for (const std::wstring_view text : SplitPatterns(list)) {
            TPattern pattern;
            if (std::wstring fault = CompilePattern(text, use, root, pattern); !fault.empty()) {
                error = std::move(fault);
                return false;
            }
            (use == TPatternUse::NameMask ? masks_
             : pattern.IsPath             ? folderPaths_
                                          : folderNames_)
                .push_back(std::move(pattern));
        }
    }
    return true;
}

bool TScanFilters::SkipsFolder(const wchar_t* name, std::wstring_view path) const {
    for (const TPattern& pattern : folderNames_) {
        if (MatchesName(pattern, name)) {
            return true;
        }
    }
    if (folderPaths_.empty()) {
        return false;
    }
    const std::vector<std::wstring_view> names = PathNames(path);
    for (const TPattern& pattern : folderPaths_) {
        if (MatchesPath(pattern, names)) {
            return true;
        }
    }
    return false;
}

// "." and ".." are passed; a folder link is the walk's alone to enter, after it made sure that the
// link does not lead back up its own way.
TScanFilters::TEntry TScanFilters::Entry(unsigned long attributes, const wchar_t* name,
                                         std::wstring_view path) const {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return TEntry::File;
    }
    if (IsDotName(name)) {
        return TEntry::Passed;
    }
    if (SkipsFolders() && SkipsFolder(name, path)) {
        return TEntry::Skipped;
    }
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? TEntry::FolderLink : TEntry::Folder;
}

bool TScanFilters::TakesName(const wchar_t* name) const {
    if (masks_.empty()) {
        return true;
    }
    const std::wstring_view text(name);
    for (const TPattern& pattern : masks_) {
        if (MatchesName(pattern, text)) {
            return true;
        }
    }
    return false;
}
