// The main window's results list: the sorts, the column width, the popup menu and its commands.
#include "ui/main_form.h"

#include "scan/listing.h"
#include "scan/sys_error.h"
#include "toolkit/application.h"
#include "toolkit/clipboard.h"
#include "toolkit/file_data.h"
#include "toolkit/handoff.h"
#include "toolkit/message_box.h"
#include "toolkit/shell_files.h"
#include "toolkit/shell_menu.h"
#include "ui/copy_text.h"
#include "ui/search_rules.h"
#include <algorithm>
#include <memory>
#include <optional>
#include <shellapi.h>
#include <shlobj.h>
#include <type_traits>

namespace {

// The shell's item for a path, freed by the shell's allocator; empty where the shell does not find it.
using TShellItem = std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, decltype(&CoTaskMemFree)>;
TShellItem ShellItem(const std::wstring& path) {
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr))) {
        item = nullptr;
    }
    return TShellItem(item, &CoTaskMemFree);
}

// The shell's own "show in folder": the folder opened once with all the named files selected.
bool SelectInShellFolder(const std::wstring& folder, const std::vector<std::wstring>& names) {
    if (!OleReady()) {
        return false;
    }
    if (folder.empty()) {
        return false;
    }
    const TShellItem folderItem = ShellItem(folder);
    std::vector<TShellItem> items;
    std::vector<PCUITEMID_CHILD> children;
    for (const std::wstring& name : names) {
        if (TShellItem item = ShellItem(folder + name)) {
            children.push_back(ILFindLastID(item.get()));
            items.push_back(std::move(item));
        }
    }
    if (!folderItem || children.empty()) {
        return false;
    }
    return SUCCEEDED(
        SHOpenFolderAndSelectItems(folderItem.get(), static_cast<UINT>(children.size()), children.data(), 0));
}

// Whether the shell's namespace finds the folder. Where it does not, "explore" still succeeds and
// shows nothing (Wine's shell takes no short names), so Explore asks first. Without COM it cannot
// ask, and lets the shell try.
bool ShellReachesFolder(const std::wstring& folder) {
    return !OleReady() || ShellItem(folder) != nullptr;
}

// Whether the shell can take a path as it is: within 260 characters with its null, and no name in it
// ending in a dot or a blank, which the shell would trim to another file's name.
bool ShellTakes(std::wstring_view path) {
    if (path.size() >= MAX_PATH) {
        return false;
    }
    for (std::size_t end = path.find(L'\\'); end != std::wstring_view::npos;
         end = path.find(L'\\', end + 1)) {
        if (end > 0 && (path[end - 1] == L'.' || path[end - 1] == L' ')) {
            return false;
        }
    }
    return path.empty() || (path.back() != L'.' && path.back() != L' ');
}

// The path the shell is given for a file: the path itself, or where the shell cannot take it, its
// short form (the volume's 8.3 names), which names the same file. Empty when neither will do.
std::wstring ShellPathFor(const std::wstring& path) {
    if (ShellTakes(path)) {
        return path;
    }
    const std::wstring system = SystemPath(path);
    std::wstring shortPath(system.size() + 1, L'\0');
    const DWORD length =
        GetShortPathNameW(system.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (length == 0 || length >= shortPath.size()) {
        return {};
    }
    shortPath.resize(length);
    shortPath = OrdinaryPath(shortPath);
    return ShellTakes(shortPath) ? shortPath : std::wstring();
}

// The shell's own menu for the files, with the window as the owner of what it runs.
bool RunShellMenu(HWND owner, const std::vector<std::wstring>& paths, POINT at, bool extended) {
    if (!OleReady()) {
        return false;
    }
    IContextMenu* menu = nullptr;
    if (FAILED(CreateShellMenu(owner, paths, &menu)) || !menu) {
        ShowMessageBox(L"The system gives no menu for these files.", Application.Title(), MB_OK);
        return false;
    }
    const TShellMenuResult result = ShowShellMenu(owner, menu, at, extended);
    menu->Release();
    if (result.Kind == TShellMenuResult::Failed) {
        ShowMessageBox(L"The system's command did not run.\r\n\r\n" +
                           SysErrorText(static_cast<int>(result.Error)),
                       Application.Title(), MB_OK);
    }
    return result.Kind != TShellMenuResult::Nothing;
}

// One properties window over the files, which the shell is handed as our data object.
bool ShowPropertiesOf(HWND owner, const std::vector<std::wstring>& paths) {
    if (!OleReady()) {
        return false;
    }
    TPathList list;
    for (const std::wstring& path : paths) {
        list.Add(path);
    }
    const TComPtr<IDataObject> data = NewFileDataObject(std::move(list));
    return ShowShellProperties(owner, paths, data.Get());
}

constexpr std::size_t OpenWithoutAsking = 15;

} // namespace

void TMainForm::ConnectResultsList() {
    Results = std::make_unique<TResultsList>(ListView.Handle());
    ListView.OnNotify = [this](NMHDR& header, LRESULT& result) {
        if (header.code == LVN_BEGINDRAG) {
            ListViewBeginDrag();
            return true;
        }
        return Results->HandleNotify(header, result);
    };
    ListView.OnColumnClick = [this](int column) { ListViewColumnClick(column); };
    ListView.OnKeyDown = [this](WORD key) { ListViewKeyDown(key); };
    ListView.OnDoubleClick = [this] { ListViewDoubleClick(); };
    ListView.OnResize = [this] { ListViewResize(); };
    ListView.OnContextMenu = [this](POINT at) { return ListViewContextMenu(at); };
    ListView.MenuPoint = [this] { return Results->KeyboardMenuPoint(); };
    Results->OnSelectionChanged = [this] { ShowSelectionCount(); };
    ListView.RowTip = [this](int row) { return Results->TipText(row); };
    ListViewResize();
    ShellExecuteCall = [](HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters) {
        return reinterpret_cast<INT_PTR>(
            ShellExecuteW(owner, verb, file, parameters, nullptr, SW_SHOWNORMAL));
    };
    ShowInFolder = SelectInShellFolder;
    ReachesFolder = ShellReachesFolder;
    DeleteFiles = ShellDeleteFiles;
    ShowProperties = ShowPropertiesOf;
    OpenWithDialog = ShowOpenWithDialog;
    ShellMenu = RunShellMenu;

    SelectAllAction.OnUpdate = [this] { SelectAllActionUpdate(); };
    SelectAllAction.OnExecute = [this] { SelectAllActionExecute(); };
    // Every other command of the list acts on the selected rows, enabled while there are any.
    const std::pair<TAction*, void (TMainForm::*)()> onSelection[] = {
        {&OpenAction, &TMainForm::OpenActionExecute},
        {&ExploreAction, &TMainForm::ExploreActionExecute},
        {&CopyAction, &TMainForm::CopyActionExecute},
        {&CopyNTAction, &TMainForm::CopyNTActionExecute},
        {&CopyTNAction, &TMainForm::CopyTNActionExecute},
        {&CopyFilesAction, &TMainForm::CopyFilesActionExecute},
        {&CopyPathAction, &TMainForm::CopyPathActionExecute},
        {&DeleteAction, &TMainForm::DeleteActionExecute},
        {&DeleteForGoodAction, &TMainForm::DeleteForGoodActionExecute},
        {&PropertiesAction, &TMainForm::PropertiesActionExecute},
        {&ShellMenuAction, &TMainForm::ShellMenuActionExecute}};
    for (const auto& [action, execute] : onSelection) {
        action->OnUpdate = [this, action = action] { SelectedActionUpdate(*action); };
        action->OnExecute = [this, execute = execute] { (this->*execute)(); };
    }
    // Opening the Copy submenu only brings its entries up to date: copying there would replace
    // whatever the user had on the clipboard merely because the pointer rested on the entry.
}

// A first click sorts by name ascending, newest first or largest first; a click on the sorted column
// reverses it.
void TMainForm::ListViewColumnClick(int column) {
    const TSortColumn clicked = column == 0   ? TSortColumn::Name
                                : column == 1 ? TSortColumn::Time
                                : column == 2 ? TSortColumn::Size
                                              : TSortColumn::Change;
    const bool ascending = Results->SortedBy() == clicked
                               ? !Results->SortedAscending()
                               : clicked == TSortColumn::Name || clicked == TSortColumn::Change;
    Results->Sort(clicked, ascending);
}

void TMainForm::ListViewKeyDown(WORD key) {
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    if (GetKeyState(VK_MENU) < 0) {
        if (key == VK_RETURN && !control && !shift) {
            PropertiesAction.Execute();
        }
        return;
    }
    if (key == VK_RETURN && !control) {
        OpenAction.Execute();
    } else if (control && key == 'A') {
        SelectAllAction.Execute();
    } else if (control && key == 'C') {
        (shift ? CopyPathAction : CopyFilesAction).Execute();
    } else if (key == VK_DELETE && !control) {
        (shift ? DeleteForGoodAction : DeleteAction).Execute();
    } else if (control && !shift && key == 'S') {
        SaveResultsAction.Execute();
    }
}

void TMainForm::ListViewDoubleClick() {
    OpenAction.Execute();
}

void TMainForm::ListViewResize() {
    if (Results) {
        Results->ApplyFileColumnWidth();
    }
}

bool TMainForm::ListViewContextMenu(POINT at) {
    if (GetKeyState(VK_SHIFT) >= 0 || Results->SelectedCount() == 0) {
        return false;
    }
    const std::vector<TRowId> rows = Results->SelectedRows();
    const std::vector<std::wstring> paths = SelectedPaths();
    if (ShellMenu(Handle(), paths, at, true)) {
        DropRowsOfGoneFiles(rows);
    }
    return true;
}

void TMainForm::ShellMenuActionExecute() {
    const std::vector<TRowId> rows = Results->SelectedRows();
    if (ShellMenu(Handle(), SelectedPaths(), Results->KeyboardMenuPoint(), GetKeyState(VK_SHIFT) < 0)) {
        DropRowsOfGoneFiles(rows);
    }
}

void TMainForm::SelectedActionUpdate(TAction& action) {
    // A deleted file's row has no file to open; its folder can still be shown.
    action.SetEnabled(Results->SelectedCount() > 0 &&
                      (&action != &OpenAction || !Results->DeletedSelected()));
}

void TMainForm::SelectAllActionUpdate() {
    SelectAllAction.SetEnabled(Results->SelectedCount() < Results->RowCount());
}

std::vector<std::wstring> TMainForm::SelectedPaths() const {
    const TResultsList::TSelection selection = Results->Selection();
    std::vector<std::wstring> paths;
    paths.reserve(selection.Count);
    for (std::size_t k = 0; k < selection.Count; ++k) {
        paths.push_back(Results->Path(selection.At(k)));
    }
    return paths;
}

void TMainForm::ReportShellFailure(const std::wstring& path, INT_PTR result) {
    if (result <= 32) {
        // The box names the file, then what went wrong in the system's words.
        ShowMessageBox(path + L"\r\n\r\n" + SysErrorText(ShellErrorCode(result)), Application.Title(), MB_OK);
    }
}

std::wstring TMainForm::ShellPathOrSay(const std::wstring& path) const {
    std::wstring shellPath = ShellPathFor(path);
    if (shellPath.empty()) {
        ShowMessageBox(path +
                           L"\r\n\r\nThe shell cannot take this path: it is longer than 259 characters or a "
                           L"name in it ends in a dot or a blank, and the volume keeps no short name for it.",
                       Application.Title(), MB_OK);
    }
    return shellPath;
}

// Open every selected file; many at once only when the user says so, as Explorer asks.
void TMainForm::OpenActionExecute() {
    const std::vector<std::wstring> paths = SelectedPaths();
    if (paths.size() > OpenWithoutAsking &&
        ShowMessageBox(L"Open all " + GroupedNumber(static_cast<std::int64_t>(paths.size()), formats_) +
                           L" selected files?",
                       Application.Title(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    for (const std::wstring& path : paths) {
        OpenFile(path);
    }
}

// A file no program is set to open is offered to "Open with": the system's dialog, or the shell's
// menu, whose entry it is, where the system has no dialog.
void TMainForm::OpenFile(const std::wstring& path) {
    const std::wstring shellPath = ShellPathOrSay(path);
    if (shellPath.empty()) {
        return;
    }
    const INT_PTR result = ShellExecuteCall(Application.Handle(), L"open", shellPath.c_str(), nullptr);
    if (result != SE_ERR_NOASSOC) {
        ReportShellFailure(path, result);
        return;
    }
    if (ShowMessageBox(path + L"\r\n\r\nNo program is set to open this file. Choose one with \"Open with\"?",
                       Application.Title(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    if (FAILED(OpenWithDialog(Handle(), shellPath))) {
        ShellMenu(Handle(), {shellPath}, Results->KeyboardMenuPoint(), false);
    }
}

// Each folder once, with all its selected files selected, as every file manager shows them; the
// folder alone where the shell cannot select.
void TMainForm::ExploreActionExecute() {
    std::vector<std::wstring> folders;
    std::vector<std::vector<std::wstring>> names;
    std::vector<std::wstring> firstPaths;
    for (const std::wstring& path : SelectedPaths()) {
        const std::wstring shellPath = ShellPathOrSay(path);
        if (shellPath.empty()) {
            continue;
        }
        TExploreTarget split = SplitForExplore(shellPath);
        const auto found = std::find(folders.begin(), folders.end(), split.Folder);
        if (found == folders.end()) {
            folders.push_back(split.Folder);
            names.push_back({std::move(split.Name)});
            firstPaths.push_back(path);
        } else {
            names[static_cast<std::size_t>(found - folders.begin())].push_back(std::move(split.Name));
        }
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        ExploreFolder(folders[i], names[i], firstPaths[i]);
    }
}

void TMainForm::ExploreFolder(const std::wstring& folder, const std::vector<std::wstring>& names,
                              const std::wstring& firstPath) {
    if (ShowInFolder(folder, names)) {
        return;
    }
    if (!folder.empty() && !ReachesFolder(folder)) {
        // Said rather than a window that never comes: a folder gone since the scan, or one the shell
        // was handed by its short name and does not find.
        std::wstring text =
            firstPath + L"\r\n\r\n" +
            (ShellPathFor(firstPath) == firstPath
                 ? SysErrorText(ERROR_PATH_NOT_FOUND)
                 : L"The shell cannot reach this file's folder: its path is longer than 259 characters or a "
                   L"name in it ends in a dot or a blank, and the shell does not take the folder's short "
                   L"name.");
        // The nearest folder above that the shell opens, with the next one down selected in it.
        std::wstring below = folder.substr(0, folder.size() - 1);
        for (TExploreTarget up = SplitForExplore(below); !up.Folder.empty(); up = SplitForExplore(below)) {
            if (ReachesFolder(up.Folder)) {
                text += L"\r\n\r\nOpen " + up.Folder + L", the nearest folder above it that the shell opens?";
                if (ShowMessageBox(text, Application.Title(), MB_YESNO | MB_ICONQUESTION) == IDYES &&
                    !ShowInFolder(up.Folder, {up.Name})) {
                    ReportShellFailure(up.Folder, ShellExecuteCall(Application.Handle(), L"explore",
                                                                   up.Folder.c_str(), up.Name.c_str()));
                }
                return;
            }
            below = up.Folder.substr(0, up.Folder.size() - 1);
        }
        ShowMessageBox(text, Application.Title(), MB_OK);
        return;
    }
    ReportShellFailure(
        firstPath, ShellExecuteCall(Application.Handle(), L"explore", folder.c_str(), names.front().c_str()));
}

// Handing a million rows' text to the clipboard takes Wine most of a second (it passes through the
// Wine server): placed beside the window's messages, so that the window keeps answering.
void TMainForm::CopySelectedRows(TCopyLayout layout) {
    TClipboardText text = Results->SelectedText(layout);
    RunBesideMessages([&] { text.Place(Application.Handle()); });
}

void TMainForm::CopyActionExecute() {
    CopySelectedRows(TCopyLayout::OnlyNames);
}

void TMainForm::CopyNTActionExecute() {
    CopySelectedRows(TCopyLayout::NameAndTime);
}

void TMainForm::CopyTNActionExecute() {
    CopySelectedRows(TCopyLayout::TimeAndName);
}

void TMainForm::SelectAllActionExecute() {
    Results->SelectAll();
}

// The files themselves, as Explorer copies them, with their paths as text for a text box.
void TMainForm::CopyFilesActionExecute() {
    if (!OleReady()) {
        return;
    }
    std::size_t count = 0;
    auto paths = Results->SelectedPathsLater(count);
    const TComPtr<IDataObject> data = NewFileDataObject(count, std::move(paths));
    if (!PlaceFilesOnClipboard(data.Get())) {
        const DWORD error = GetLastError();
        ShowMessageBox(L"The files could not be put on the clipboard.\r\n\r\n" + SysErrorText(error),
                       Application.Title(), MB_OK);
    }
}

// Each path in double quotes, one a line, as Explorer's "Copy as path".
void TMainForm::CopyPathActionExecute() {
    std::wstring text;
    for (const std::wstring& path : SelectedPaths()) {
        text += (text.empty() ? L"\"" : L"\r\n\"") + path + L"\"";
    }
    TClipboardText clip(std::move(text));
    RunBesideMessages([&] { clip.Place(Application.Handle()); });
}

void TMainForm::ListViewBeginDrag() {
    if (!OleReady() || Results->SelectedCount() == 0) {
        return;
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(ListView.Handle(), &cursor);
    const std::vector<TRowId> rows = Results->SelectedRows();
    std::size_t count = 0;
    auto paths = Results->SelectedPathsLater(count);
    const TComPtr<IDataObject> data = NewFileDataObject(count, std::move(paths));
    const DWORD effect = DragFiles(data.Get(), ListView.Handle(), cursor);
    // A target may have moved them, whatever it was offered.
    if (effect != DROPEFFECT_NONE) {
        DropRowsOfGoneFiles(rows);
    }
}

void TMainForm::DeleteActionExecute() {
    DeleteSelected(true);
}

void TMainForm::DeleteForGoodActionExecute() {
    DeleteSelected(false);
}

// The rows are taken before the system's question, which serves messages: hand-offs may change the
// list meanwhile.
void TMainForm::DeleteSelected(bool recycle) {
    const std::vector<TRowId> rows = Results->SelectedRows();
    std::vector<std::wstring> shellPaths, beyondShell;
    for (const std::wstring& path : SelectedPaths()) {
        const std::wstring shellPath = ShellPathFor(path);
        (shellPath.empty() ? beyondShell : shellPaths).push_back(shellPath.empty() ? path : shellPath);
    }
    if (!shellPaths.empty()) {
        const TShellDeleteResult result = DeleteFiles(Handle(), shellPaths, recycle);
        if (result.Code != 0) {
            ShowMessageBox(L"Not every file could be deleted.\r\n\r\n" + SysErrorText(result.Code),
                           Application.Title(), MB_OK);
        }
    }
    // Never left in silence: the shell takes no path past 260 characters, the system does through \\?\.
    if (!beyondShell.empty()) {
        std::wstring text = beyondShell.front();
        if (beyondShell.size() > 1) {
            text += L"\r\nand " + GroupedNumber(static_cast<std::int64_t>(beyondShell.size() - 1), formats_) +
                    L" more";
        }
        text +=
            L"\r\n\r\nThe shell cannot take these paths: they are longer than 259 characters or a name in "
            L"them ends in a dot or a blank, and the volume keeps no short name for them. They cannot go "
            L"to the Recycle Bin. Delete them permanently?";
        if (ShowMessageBox(text, Application.Title(), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES) {
            for (const std::wstring& path : beyondShell) {
                if (!DeleteFileW(SystemPath(path).c_str())) {
                    ShowMessageBox(path + L"\r\n\r\n" + SysErrorText(GetLastError()), Application.Title(),
                                   MB_OK);
                }
            }
        }
    }
    DropRowsOfGoneFiles(rows);
}

void TMainForm::DropRowsOfGoneFiles(const std::vector<TRowId>& rows) {
    for (const TRowId row : rows) {
        const int index = Results->IndexOfRow(row);
        if (index < 0) {
            continue;
        }
        const DWORD attributes = GetFileAttributesW(SystemPath(Results->Path(index)).c_str());
        const DWORD error = GetLastError();
        if (attributes == INVALID_FILE_ATTRIBUTES &&
            (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
            Results->DeleteRow(index);
        }
    }
    Results->Flush();
    ShowCounts(true);
}

void TMainForm::PropertiesActionExecute() {
    std::vector<std::wstring> shellPaths;
    for (const std::wstring& path : SelectedPaths()) {
        if (std::wstring shellPath = ShellPathOrSay(path); !shellPath.empty()) {
            shellPaths.push_back(std::move(shellPath));
        }
    }
    if (!shellPaths.empty() && !ShowProperties(Handle(), shellPaths)) {
        ShowMessageBox(L"The system shows no properties window for " +
                           (shellPaths.size() == 1
                                ? shellPaths.front()
                                : L"these " +
                                      GroupedNumber(static_cast<std::int64_t>(shellPaths.size()), formats_) +
                                      L" files") +
                           L".",
                       Application.Title(), MB_OK);
    }
}

void TMainForm::ShowSelectionCount() {
    selectedBytesFor_ = -1;
    TakeSelection();
    ShowCountsText();
}

// The sizes are summed again only when the selection changed: with a million rows selected short of
// all, the control is asked for each of them.
void TMainForm::TakeSelection() {
    Counts.Selected = Results->SelectedCount();
    if (Counts.Selected > 1 && Counts.Selected != selectedBytesFor_) {
        Counts.SelectedBytes = Results->SelectedBytes();
        selectedBytesFor_ = Counts.Selected;
    }
}
