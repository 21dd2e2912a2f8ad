#pragma once
// The shell's own context menu for files: made for any set of paths and shown as a popup menu owned by a
// window, with the messages its handlers draw and fill submenus with passed on to them.
#include <windows.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <string>
#include <vector>

// One menu for the files, from one folder or several. Files of one folder get the menu of that folder,
// the one Explorer gives there (the shell's own commands act through the folder: Wine's Delete does
// nothing over any other); files of several folders get one menu over the desktop folder with each
// file's absolute item list as its child. The registry keys of the files' types (the extension's key
// and its ProgID, "*" and "AllFilesystemObjects", or "Directory" and "Folder"; at most 16) go with it,
// so that handlers registered for those types add their entries. SHCreateDefaultContextMenu, else
// CDefFolderMenu_Create2. Wants COM on the calling thread (OleInitialize). A failure returns its
// HRESULT and no menu: no path, or a path the shell cannot parse (one that does not exist).
HRESULT CreateShellMenu(HWND owner, const std::vector<std::wstring>& paths, IContextMenu** menu);

struct TShellMenuResult {
    enum TKind { Nothing, Invoked, Failed };
    TKind Kind = Nothing;
    // The chosen command, as an offset from the menu's first command identifier.
    UINT Offset = 0;
    // Its canonical verb ("delete", "properties") when the menu gives one, else empty.
    std::wstring Verb;
    // Why it failed: QueryContextMenu, the owner's subclassing or InvokeCommand.
    HRESULT Error = S_OK;
};

// Shows menu at point (screen coordinates) owned by owner and runs the chosen command with owner as its
// window. Extended (Shift was held) asks for the extended verbs too. While the menu is open, the
// owner's WM_INITMENUPOPUP, WM_MEASUREITEM and WM_DRAWITEM for menus and WM_MENUCHAR go to the menu's
// IContextMenu3::HandleMenuMsg2, else IContextMenu2::HandleMenuMsg ("Open with" and "Send to" fill and
// draw that way); what the menu does not handle goes on to the owner. Call it on the owner's thread.
TShellMenuResult ShowShellMenu(HWND owner, IContextMenu* menu, POINT at, bool extended);
