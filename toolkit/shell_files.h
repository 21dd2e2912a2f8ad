#pragma once
// What the shell does to files: deleting them with its own question, its properties window, its
// "Open with" dialog. The user-interface thread only, with OLE begun there (OleReady).
#include <windows.h>
#include <objidl.h>
#include <string>
#include <vector>

// Begins OLE on this thread once (the clipboard's files, drag and drop and the shell's menus need
// it; COM alone is not enough). False where it cannot.
bool OleReady();

struct TShellDeleteResult {
    DWORD Code = 0;       // 0, or what went wrong (a system error or the shell's own code)
    bool Aborted = false; // the user answered No or cancelled, for some files or all
};
// Deletes files with the shell's own question: to the Recycle Bin where recycle is set, otherwise
// for good. IFileOperation where the system implements it, SHFileOperationW where it does not.
// The paths must be ones the shell takes (below 260 characters).
TShellDeleteResult ShellDeleteFiles(HWND owner, const std::vector<std::wstring>& paths, bool recycle);

// The system's properties window: one for all the files (SHMultiFileProperties over data, which
// must offer the shell's id list array), SHObjectProperties for one. False when the system showed
// nothing: it failed, or no window of this program's came within a few seconds.
bool ShowShellProperties(HWND owner, const std::vector<std::wstring>& paths, IDataObject* data);

// The system's "Open with" dialog for one file; its failure where it has none.
HRESULT ShowOpenWithDialog(HWND owner, const std::wstring& path);
