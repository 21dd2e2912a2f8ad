#pragma once
// What a scan leaves out: folders skipped by name or by full path, and files whose names match
// none of the masks. Patterns use * and ? and compare as Windows compares names, without regard to
// case (PathMatchSpecW).
#include <string>
#include <string_view>
#include <vector>

class TScanFilters {
  public:
    // Reads ";"-separated lists; blanks around a pattern are trimmed and empty ones ignored. False,
    // with a message naming it, at the first pattern that can never match a folder or file.
    bool Set(std::wstring_view skipFolders, std::wstring_view nameMasks, std::wstring& error);

    bool SkipsFolders() const { return !folderNames_.empty() || !folderPaths_.empty(); }
    // Whether a folder is left out; path is its full path ending with "\".
    bool SkipsFolder(const wchar_t* name, std::wstring_view path) const;
    // Whether a file of this name counts; with no masks, every file does.
    bool TakesName(const wchar_t* name) const;

  private:
    std::vector<std::wstring> folderNames_; // matched against a folder's name
    std::vector<std::wstring> folderPaths_; // against its full path, without the final "\"
    std::vector<std::wstring> masks_;
};
