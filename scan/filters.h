#pragma once
// What a scan leaves out: folders skipped by name or by path, and files whose names match none of
// the masks. The patterns are compiled once, when the scan is asked for (scan/pattern.h).
#include <string>
#include <string_view>
#include <vector>

#include "scan/pattern.h"

class TScanFilters {
  public:
    // Reads lists separated by ";" or "," outside double quotes; blanks around a pattern are trimmed
    // and empty ones ignored. root, the root folder's ordinary full path ending with "\", is where a folder
    // path such as "build\out" begins; without it such patterns are only checked. False, with the sentence
    // that names it, at the first pattern that can never match a folder or file.
    bool Set(std::wstring_view skipFolders, std::wstring_view nameMasks, std::wstring& error,
             std::wstring_view root = {});

    bool SkipsFolders() const { return !folderNames_.empty() || !folderPaths_.empty(); }
    // Whether a folder is left out; path is its ordinary full path ending with "\".
    bool SkipsFolder(const wchar_t* name, std::wstring_view path) const;
    // What the walk does with an entry of a listing, decided here for the walk and the listers
    // alike. path is the entry's ordinary full path ending with "\", read only for folders.
    enum class TEntry { File, Passed, Skipped, Folder, FolderLink };
    TEntry Entry(unsigned long attributes, const wchar_t* name, std::wstring_view path) const;
    // Whether a file of this name counts; with no masks, every file does.
    bool TakesName(const wchar_t* name) const;

  private:
    std::vector<TPattern> folderNames_; // matched against a folder's name
    std::vector<TPattern> folderPaths_; // against its path
    std::vector<TPattern> masks_;
};
