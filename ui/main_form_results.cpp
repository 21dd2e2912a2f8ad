// The main window's results list: the sorts, the column width, the popup menu and its commands.
#include "ui/main_form.h"

#include "scan/listing.h"
#include "scan/sys_error.h"
#include "toolkit/application.h"
#include "toolkit/clipboard.h"
#include "toolkit/handoff.h"
#include "toolkit/message_box.h"
#include "ui/copy_text.h"
#include "ui/search_rules.h"
#include <memory>
#include <optional>
#include <shellapi.h>
#include <shlobj.h>
#include <type_traits>

namespace {

// The shell's namespace calls need COM on this thread; it stays for the program's life once begun.
bool ComReady() {
    static const bool ready = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    return ready;
}

// The shell's item for a path, freed by the shell's allocator; empty where the shell does not find it.
using TShellItem = std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, decltype(&CoTaskMemFree)>;
TShellItem ShellItem(const std::wstring& path) {
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr))) {
        item = nullptr;
    }
    return TShellItem(item, &CoTaskMemFree);
}

// The shell's own "show in folder": the file's folder opened with the file selected.
bool SelectInShellFolder(const std::wstring& path) {
    if (!ComReady()) {
        return false;
    }
    const TShellItem item = ShellItem(path);
    return item && SUCCEEDED(SHOpenFolderAndSelectItems(item.get(), 0, nullptr, 0));
}

// Whether the shell's namespace finds the folder. Where it does not, "explore" still succeeds and
// shows nothing (Wine's shell takes no short names), so Explore asks first. Without COM it cannot
// ask, and lets the shell try.
bool ShellReachesFolder(const std::wstring& folder) {
    return !ComReady() || ShellItem(folder) != nullptr;
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

} // namespace

void TMainForm::ConnectResultsList() {
    Results = std::make_unique<TResultsList>(ListView.Handle());
    ListView.OnNotify = [this](NMHDR& header, LRESULT& result) {
        return Results->HandleNotify(header, result);
    };
    ListView.OnColumnClick = [this](int column) { ListViewColumnClick(column); };
    ListView.OnKeyDown = [this](WORD key) { ListViewKeyDown(key); };
    ListView.OnDoubleClick = [this] { ListViewDoubleClick(); };
    ListView.OnResize = [this] { ListViewResize(); };
    ListView.MenuPoint = [this] { return Results->KeyboardMenuPoint(); };
    ListViewResize();
    ShellExecuteCall = [](HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters) {
        return reinterpret_cast<INT_PTR>(
            ShellExecuteW(owner, verb, file, parameters, nullptr, SW_SHOWNORMAL));
    };
    ShowInFolder = SelectInShellFolder;
    ReachesFolder = ShellReachesFolder;

    OpenAction.OnUpdate = [this] { OpenActionUpdate(); };
    OpenAction.OnExecute = [this] { OpenActionExecute(); };
    ExploreAction.OnUpdate = [this] { ExploreActionUpdate(); };
    ExploreAction.OnExecute = [this] { ExploreActionExecute(); };
    CopyAction.OnUpdate = [this] { CopyActionUpdate(); };
    CopyAction.OnExecute = [this] { CopyActionExecute(); };
    CopyNTAction.OnUpdate = [this] { CopyNTActionUpdate(); };
    CopyNTAction.OnExecute = [this] { CopyNTActionExecute(); };
    CopyTNAction.OnUpdate = [this] { CopyTNActionUpdate(); };
    CopyTNAction.OnExecute = [this] { CopyTNActionExecute(); };
    SelectAllAction.OnUpdate = [this] { SelectAllActionUpdate(); };
    SelectAllAction.OnExecute = [this] { SelectAllActionExecute(); };
    // Opening the Copy submenu only brings its entries up to date: copying there would replace
    // whatever the user had on the clipboard merely because the pointer rested on the entry.
}

// A first click sorts by name ascending, or newest first; a click on the sorted column reverses it.
void TMainForm::ListViewColumnClick(int column) {
    const TSortColumn clicked = column == 0 ? TSortColumn::Name : TSortColumn::Time;
    const bool ascending =
        Results->SortedBy() == clicked ? !Results->SortedAscending() : clicked == TSortColumn::Name;
    Results->Sort(clicked, ascending);
}

void TMainForm::ListViewKeyDown(WORD key) {
    if (GetKeyState(VK_MENU) < 0) {
        return;
    }
    const bool control = GetKeyState(VK_CONTROL) < 0;
    if (key == VK_RETURN && !control) {
        OpenAction.Execute();
    } else if (control && key == 'A') {
        SelectAllAction.Execute();
    } else if (control && key == 'C') {
        CopyAction.Execute();
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

void TMainForm::OpenActionUpdate() {
    OpenAction.SetEnabled(Results->SelectedCount() == 1);
}

void TMainForm::ExploreActionUpdate() {
    ExploreAction.SetEnabled(Results->SelectedCount() == 1);
}

void TMainForm::CopyActionUpdate() {
    CopyAction.SetEnabled(Results->SelectedCount() > 0);
}

void TMainForm::CopyNTActionUpdate() {
    CopyNTAction.SetEnabled(Results->SelectedCount() > 0);
}

void TMainForm::CopyTNActionUpdate() {
    CopyTNAction.SetEnabled(Results->SelectedCount() > 0);
}

void TMainForm::SelectAllActionUpdate() {
    SelectAllAction.SetEnabled(Results->SelectedCount() < Results->RowCount());
}

bool TMainForm::SelectedPath(std::wstring& path) const {
    const int row = Results->FirstSelected();
    if (row < 0) {
        return false;
    }
    path = Results->Row(row).Path;
    return true;
}

void TMainForm::ReportShellFailure(const std::wstring& path, INT_PTR result) {
    if (result <= 32) {
        // The box names the file, then what went wrong in the system's words.
        ShowMessageBox(path + L"\r\n\r\n" + SysErrorText(ShellErrorCode(result)), Application.Title(), MB_OK);
    }
}

bool TMainForm::SelectedShellPath(std::wstring& path, std::wstring& shellPath) const {
    if (!SelectedPath(path)) {
        return false;
    }
    shellPath = ShellPathFor(path);
    if (shellPath.empty()) {
        ShowMessageBox(path +
                           L"\r\n\r\nThe shell cannot take this path: it is longer than 259 characters or a "
                           L"name in it ends in a dot or a blank, and the volume keeps no short name for it.",
                       Application.Title(), MB_OK);
        return false;
    }
    return true;
}

void TMainForm::OpenActionExecute() {
    std::wstring path, shellPath;
    if (SelectedShellPath(path, shellPath)) {
        ReportShellFailure(path, ShellExecuteCall(Application.Handle(), L"open", shellPath.c_str(), nullptr));
    }
}

// The folder with the file selected, as every file manager shows it; the folder alone where the
// shell cannot select.
void TMainForm::ExploreActionExecute() {
    std::wstring path, shellPath;
    if (!SelectedShellPath(path, shellPath) || ShowInFolder(shellPath)) {
        return;
    }
    const TExploreTarget split = SplitForExplore(shellPath);
    if (!split.Folder.empty() && !ReachesFolder(split.Folder)) {
        // Said rather than a window that never comes: a folder gone since the scan, or one the shell
        // was handed by its short name and does not find.
        ShowMessageBox(path + L"\r\n\r\n" +
                           (shellPath == path
                                ? SysErrorText(ERROR_PATH_NOT_FOUND)
                                : L"The shell cannot reach this file's folder: its path is longer than 259 "
                                  L"characters or a name in it ends in a dot or a blank, and the shell "
                                  L"does not take the folder's short name."),
                       Application.Title(), MB_OK);
        return;
    }
    ReportShellFailure(
        path, ShellExecuteCall(Application.Handle(), L"explore", split.Folder.c_str(), split.Name.c_str()));
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
