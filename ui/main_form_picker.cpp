#include "ui/main_form.h"

#include <cwchar>
#include <shlobj.h>

#include "scan/listing.h"
#include "toolkit/application.h"
#include "toolkit/error.h"
#include "toolkit/message_box.h"

namespace {

// Selects the initial folder once the dialog is ready.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    }
    return 0;
}

// Releases a COM interface and frees shell memory however the picker leaves.
struct TShellMemory {
    IMalloc* Allocator = nullptr;
    void* Block = nullptr;
    ~TShellMemory() {
        if (Allocator) {
            if (Block) {
                Allocator->Free(Block);
            }
            Allocator->Release();
        }
    }
};

class TErrorModeScope {
  public:
    explicit TErrorModeScope(UINT mode) : previous_(SetErrorMode(mode)) {}
    ~TErrorModeScope() { SetErrorMode(previous_); }

  private:
    UINT previous_;
};

} // namespace

void TMainForm::PathButtonClick() {
    std::wstring folder;
    if (PickFolder(L"Select root folder with files to processing", L"", folder)) {
        PathEdit.SetText(folder);
    }
}

bool TMainForm::PickFolder(const std::wstring& title, const std::wstring& root, std::wstring& folder) {
    DWORD attributes = GetFileAttributesW(SystemPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        folder.clear();
    }
    BROWSEINFOW browse{};
    TShellMemory buffer;
    if (FAILED(SHGetMalloc(&buffer.Allocator)) || !buffer.Allocator) {
        buffer.Allocator = nullptr;
        return false;
    }
    buffer.Block = buffer.Allocator->Alloc(MAX_PATH * sizeof(wchar_t));
    if (!buffer.Block) {
        return false;
    }
    auto* path = static_cast<wchar_t*>(buffer.Block);
    path[0] = L'\0';

    TShellMemory rootItem;
    if (!root.empty()) {
        IShellFolder* desktop = nullptr;
        if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop) {
            std::wstring rootPath = root;
            LPITEMIDLIST item = nullptr;
            if (SUCCEEDED(desktop->ParseDisplayName(Application.Handle(), nullptr, rootPath.data(), nullptr,
                                                    &item, nullptr))) {
                SHGetMalloc(&rootItem.Allocator);
                rootItem.Block = item;
                browse.pidlRoot = item;
            }
            desktop->Release();
        }
    }
    browse.hwndOwner = Application.Handle();
    browse.pszDisplayName = path;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    if (LOBYTE(LOWORD(GetVersion())) >= 5) {
        browse.ulFlags |= BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    }
    if (!folder.empty()) {
        browse.lpfn = BrowseCallback;
        browse.lParam = reinterpret_cast<LPARAM>(folder.c_str());
    }

    LPITEMIDLIST chosen;
    {
        // Restored in reverse: the error mode first, then the windows.
        TDisabledTaskWindows disabled;
        TErrorModeScope errorMode(SEM_FAILCRITICALERRORS);
        chosen = SHBrowseForFolderW(&browse);
    }
    if (!chosen) {
        return false;
    }
    TShellMemory chosenItem{buffer.Allocator, chosen};
    buffer.Allocator->AddRef();
    // A folder deeper than 260 characters has a path too: the Ex form takes a buffer of any size.
    std::wstring chosenPath(32768, L'\0');
    if (!SHGetPathFromIDListEx(chosen, chosenPath.data(), static_cast<DWORD>(chosenPath.size()),
                               GPFIDL_DEFAULT)) {
        RaiseLastOSError();
    }
    chosenPath.resize(std::wcslen(chosenPath.c_str()));
    folder = chosenPath;
    return true;
}

void TMainForm::AboutLabelMouseMove(int x, int y) {
    TBounds bounds = AboutLabel.Bounds();
    bool inside = 0 < x && x < bounds.Width && 0 < y && y < bounds.Height;
    bool captured = GetCapture() == AboutLabel.Handle();
    if (inside && !captured) {
        AboutLabel.SetUnderlined(true);
        SetCapture(AboutLabel.Handle());
    } else if (!inside && captured) {
        AboutLabel.SetUnderlined(false);
        ReleaseCapture();
    }
}

void TMainForm::AboutLabelClick() {
    ReleaseCapture();
    AboutLabel.SetUnderlined(false);
    const std::string address = AboutAddress;
    ReportShellFailure(std::wstring(address.begin(), address.end()), OpenAddress(Handle(), AboutAddress));
}
