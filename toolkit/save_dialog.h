#pragma once
// The system's dialog that asks where to save a file.
#include <windows.h>
#include <span>
#include <string>

struct TFileType {
    const wchar_t* Name;    // "CSV (*.csv)"
    const wchar_t* Pattern; // "*.csv"
};

// IFileSaveDialog, or GetSaveFileNameW where the system has none or it fails. path: the name
// proposed, then the path chosen; type: the index of the type shown first, then of the one chosen.
// The dialog asks before an existing file is replaced. False when cancelled.
bool AskSaveFile(HWND owner, std::span<const TFileType> types, std::wstring& path, int& type);
