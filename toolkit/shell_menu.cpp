#include "toolkit/shell_menu.h"

#include "toolkit/registry.h"
#include "toolkit/scope_exit.h"
#include <algorithm>
#include <commctrl.h>
#include <iterator>
#include <memory>
#include <optional>
#include <shlobj.h>

namespace {

struct TItemIdListFree {
    void operator()(ITEMIDLIST* id) const { CoTaskMemFree(id); }
};
using TItemIdList = std::unique_ptr<ITEMIDLIST, TItemIdListFree>;

template <typename T> struct TComRelease {
    void operator()(T* object) const { object->Release(); }
};
template <typename T> using TComPtr = std::unique_ptr<T, TComRelease<T>>;

// The desktop folder's own item list: no items at all.
const USHORT DesktopId = 0;

constexpr UINT MaxKeys = 16;

// Registry keys of the file types for the menu's handlers, each named once and opened for reading.
class TTypeKeys {
  public:
    TTypeKeys() = default;
    TTypeKeys(const TTypeKeys&) = delete;
    TTypeKeys& operator=(const TTypeKeys&) = delete;
    ~TTypeKeys() {
        for (HKEY key : keys_) {
            RegCloseKey(key);
        }
    }

    // False for a folder.
    bool AddPath(const std::wstring& path) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            Add(L"Directory");
            Add(L"Folder");
            return false;
        }
        if (std::optional<std::wstring> extension = Extension(path)) {
            // The ProgID's verbs before those the extension's key holds itself, as the shell reads them.
            if (std::optional<TRegistryKey> key =
                    TRegistryKey::OpenForReading(HKEY_CLASSES_ROOT, *extension)) {
                if (std::optional<std::wstring> progId = key->ReadString(nullptr, 255);
                    progId && !progId->empty()) {
                    Add(*progId);
                }
            }
            Add(*extension);
        }
        return true;
    }
    // Last, after every type's own keys: those for every file.
    void AddCommon(bool files) {
        if (files) {
            Add(L"*");
        }
        Add(L"AllFilesystemObjects");
    }

    UINT Count() const { return static_cast<UINT>(keys_.size()); }
    const HKEY* Keys() const { return keys_.empty() ? nullptr : keys_.data(); }

  private:
    static std::optional<std::wstring> Extension(const std::wstring& path) {
        const size_t name = path.find_last_of(L"\\/");
        const size_t dot = path.find_last_of(L'.');
        if (dot == std::wstring::npos || (name != std::wstring::npos && dot < name) ||
            dot + 1 == path.size()) {
            return std::nullopt;
        }
        return path.substr(dot);
    }

    void Add(const std::wstring& name) {
        // Two slots stay for the keys of every file.
        const bool common = name == L"*" || name == L"AllFilesystemObjects";
        if (keys_.size() >= (common ? MaxKeys : MaxKeys - 2) ||
            std::any_of(names_.begin(), names_.end(), [&](const std::wstring& added) {
                return _wcsicmp(added.c_str(), name.c_str()) == 0;
            })) {
            return;
        }
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            keys_.push_back(key);
            names_.push_back(name);
        }
    }

    std::vector<HKEY> keys_;
    std::vector<std::wstring> names_;
};

struct TMenuHandlers {
    IContextMenu2* Menu2 = nullptr;
    IContextMenu3* Menu3 = nullptr;
};

bool IsForwarded(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_INITMENUPOPUP:
    case WM_MENUCHAR:
        return true;
    // Controls the owner draws itself keep their own drawing: only menu items go to the menu.
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return wParam == 0;
    default:
        return false;
    }
}

LRESULT CALLBACK ForwardMenuMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR data) {
    const TMenuHandlers& handlers = *reinterpret_cast<const TMenuHandlers*>(data);
    if (IsForwarded(message, wParam)) {
        if (handlers.Menu3) {
            LRESULT result = 0;
            if (SUCCEEDED(handlers.Menu3->HandleMenuMsg2(message, wParam, lParam, &result))) {
                return result;
            }
        } else if (handlers.Menu2 && SUCCEEDED(handlers.Menu2->HandleMenuMsg(message, wParam, lParam)) &&
                   message != WM_MENUCHAR) {
            // Without a result of its own: what the message means when handled.
            return message == WM_INITMENUPOPUP ? 0 : TRUE;
        }
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

template <typename T> TComPtr<T> Query(IUnknown* object, REFIID id) {
    void* result = nullptr;
    return TComPtr<T>(SUCCEEDED(object->QueryInterface(id, &result)) ? static_cast<T*>(result) : nullptr);
}

TShellMenuResult Failure(HRESULT error) {
    TShellMenuResult result;
    result.Kind = TShellMenuResult::Failed;
    result.Error = error;
    return result;
}

} // namespace

HRESULT CreateShellMenu(HWND owner, const std::vector<std::wstring>& paths, IContextMenu** menu) {
    if (!menu) {
        return E_POINTER;
    }
    *menu = nullptr;
    if (paths.empty()) {
        return E_INVALIDARG;
    }
    std::vector<TItemIdList> ids;
    for (const std::wstring& path : paths) {
        PIDLIST_ABSOLUTE id = nullptr;
        const HRESULT parsed = SHParseDisplayName(path.c_str(), nullptr, &id, 0, nullptr);
        if (FAILED(parsed)) {
            return parsed;
        }
        ids.emplace_back(id);
    }

    // One folder for all: its own folder object and the items' last parts.
    TItemIdList commonParent(ILClone(ids.front().get()));
    if (!commonParent) {
        return E_OUTOFMEMORY;
    }
    ILRemoveLastID(commonParent.get());
    bool oneFolder = commonParent->mkid.cb != 0;
    for (size_t i = 1; oneFolder && i < ids.size(); ++i) {
        TItemIdList parent(ILClone(ids[i].get()));
        oneFolder = parent && ILRemoveLastID(parent.get()) && ILIsEqual(parent.get(), commonParent.get());
    }
    TComPtr<IShellFolder> folder;
    PCIDLIST_ABSOLUTE folderId = reinterpret_cast<PCIDLIST_ABSOLUTE>(&DesktopId);
    std::vector<PCUITEMID_CHILD> children;
    if (oneFolder) {
        void* parentFolder = nullptr;
        if (SUCCEEDED(SHBindToParent(ids.front().get(), IID_IShellFolder, &parentFolder, nullptr))) {
            folder.reset(static_cast<IShellFolder*>(parentFolder));
            folderId = commonParent.get();
            for (const TItemIdList& id : ids) {
                children.push_back(ILFindLastID(id.get()));
            }
        }
    }
    if (!folder) {
        IShellFolder* desktop = nullptr;
        const HRESULT bound = SHGetDesktopFolder(&desktop);
        if (FAILED(bound)) {
            return bound;
        }
        folder.reset(desktop);
        for (const TItemIdList& id : ids) {
            children.push_back(reinterpret_cast<PCUITEMID_CHILD>(id.get()));
        }
    }

    TTypeKeys keys;
    bool files = false;
    for (const std::wstring& path : paths) {
        files = keys.AddPath(path) || files;
    }
    keys.AddCommon(files);

    DEFCONTEXTMENU definition{};
    definition.hwnd = owner;
    definition.pidlFolder = folderId;
    definition.psf = folder.get();
    definition.cidl = static_cast<UINT>(children.size());
    definition.apidl = children.data();
    definition.cKeys = keys.Count();
    definition.aKeys = keys.Keys();
    HRESULT created =
        SHCreateDefaultContextMenu(&definition, IID_IContextMenu, reinterpret_cast<void**>(menu));
    if (FAILED(created) || !*menu) {
        *menu = nullptr;
        created = CDefFolderMenu_Create2(folderId, owner, definition.cidl, children.data(), folder.get(),
                                         nullptr, keys.Count(), keys.Keys(), menu);
        if (SUCCEEDED(created) && !*menu) {
            created = E_FAIL;
        }
    }
    return created;
}

TShellMenuResult ShowShellMenu(HWND owner, IContextMenu* menu, POINT at, bool extended) {
    constexpr UINT first = 1;
    constexpr UINT last = 0x7FFF;
    HMENU popup = CreatePopupMenu();
    if (!popup) {
        return Failure(HRESULT_FROM_WIN32(GetLastError()));
    }
    TScopeExit destroyPopup([popup] { DestroyMenu(popup); });
    const HRESULT queried =
        menu->QueryContextMenu(popup, 0, first, last, CMF_NORMAL | (extended ? CMF_EXTENDEDVERBS : 0));
    if (FAILED(queried)) {
        return Failure(queried);
    }

    TComPtr<IContextMenu3> menu3 = Query<IContextMenu3>(menu, IID_IContextMenu3);
    TComPtr<IContextMenu2> menu2 =
        menu3 ? TComPtr<IContextMenu2>() : Query<IContextMenu2>(menu, IID_IContextMenu2);
    TMenuHandlers handlers{menu2.get(), menu3.get()};
    UINT command = 0;
    {
        // Only while the menu is open: the owner's messages are its own again afterwards.
        const UINT_PTR subclass = reinterpret_cast<UINT_PTR>(&handlers);
        if (!SetWindowSubclass(owner, ForwardMenuMessages, subclass,
                               reinterpret_cast<DWORD_PTR>(&handlers))) {
            return Failure(E_FAIL);
        }
        TScopeExit removeSubclass([&] { RemoveWindowSubclass(owner, ForwardMenuMessages, subclass); });
        command = static_cast<UINT>(
            TrackPopupMenuEx(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, owner, nullptr));
    }
    if (command < first) {
        return {};
    }

    TShellMenuResult result;
    result.Offset = command - first;
    wchar_t verb[256] = {};
    if (SUCCEEDED(menu->GetCommandString(result.Offset, GCS_VERBW, nullptr, reinterpret_cast<char*>(verb),
                                         static_cast<UINT>(std::size(verb))))) {
        verb[std::size(verb) - 1] = L'\0';
        result.Verb = verb;
    }
    CMINVOKECOMMANDINFOEX invoke{};
    invoke.cbSize = sizeof invoke;
    invoke.fMask = CMIC_MASK_UNICODE | CMIC_MASK_PTINVOKE;
    invoke.hwnd = owner;
    invoke.lpVerb = MAKEINTRESOURCEA(result.Offset);
    invoke.lpVerbW = MAKEINTRESOURCEW(result.Offset);
    invoke.nShow = SW_SHOWNORMAL;
    invoke.ptInvoke = at;
    const HRESULT invoked = menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&invoke));
    result.Kind = SUCCEEDED(invoked) ? TShellMenuResult::Invoked : TShellMenuResult::Failed;
    result.Error = invoked;
    return result;
}
