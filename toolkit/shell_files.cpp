#include "toolkit/shell_files.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

template <typename T> struct TRelease {
    void operator()(T* object) const { object->Release(); }
};
template <typename T> using TComRef = std::unique_ptr<T, TRelease<T>>;

// The paths one after another, each ended by a null, the whole ended by another.
std::wstring DoubleNullList(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths) {
        list += path;
        list += L'\0';
    }
    list += L'\0';
    return list;
}

// The system's file operation, or none where it is not implemented (every method a stub in Wine 8,
// which the first call tells).
std::optional<TShellDeleteResult> DeleteWithFileOperation(HWND owner, const std::vector<std::wstring>& paths,
                                                          bool recycle) {
    IFileOperation* created = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&created))))
        return std::nullopt;
    const TComRef<IFileOperation> operation(created);
    const DWORD flags = recycle ? FOF_ALLOWUNDO | FOFX_RECYCLEONDELETE | FOF_WANTNUKEWARNING : 0;
    if (FAILED(operation->SetOwnerWindow(owner)) || FAILED(operation->SetOperationFlags(flags)))
        return std::nullopt;
    for (const std::wstring& path : paths) {
        IShellItem* item = nullptr;
        if (FAILED(SHCreateItemFromParsingName(path.c_str(), nullptr, IID_PPV_ARGS(&item))))
            continue; // gone already: its row leaves with the others
        const TComRef<IShellItem> held(item);
        if (FAILED(operation->DeleteItem(item, nullptr)))
            return std::nullopt;
    }
    TShellDeleteResult result;
    const HRESULT done = operation->PerformOperations();
    BOOL aborted = FALSE;
    operation->GetAnyOperationsAborted(&aborted);
    result.Aborted = aborted != FALSE || done == HRESULT_FROM_WIN32(ERROR_CANCELLED);
    if (FAILED(done) && !result.Aborted)
        result.Code =
            HRESULT_FACILITY(done) == FACILITY_WIN32 ? HRESULT_CODE(done) : static_cast<DWORD>(done);
    return result;
}

BOOL CALLBACK NoteWindow(HWND window, LPARAM data) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleWindows() {
    std::vector<HWND> windows;
    EnumWindows(NoteWindow, reinterpret_cast<LPARAM>(&windows));
    std::sort(windows.begin(), windows.end());
    return windows;
}

// Whether a window of this program's, not there before, shows within a few seconds. The properties
// window is made on a thread of the shell's, and Wine's SHObjectProperties reports success and makes
// none. The window's messages are served meanwhile.
bool NewWindowCame(const std::vector<HWND>& before) {
    const ULONGLONG end = GetTickCount64() + 3000;
    while (GetTickCount64() < end) {
        for (const HWND window : VisibleWindows())
            if (!std::binary_search(before.begin(), before.end(), window))
                return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return false;
}

} // namespace

bool OleReady() {
    static const bool ready = SUCCEEDED(OleInitialize(nullptr));
    return ready;
}

TShellDeleteResult ShellDeleteFiles(HWND owner, const std::vector<std::wstring>& paths, bool recycle) {
    if (paths.empty())
        return {};
    if (OleReady())
        if (const auto result = DeleteWithFileOperation(owner, paths, recycle))
            return *result;
    const std::wstring from = DoubleNullList(paths);
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = owner;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = static_cast<FILEOP_FLAGS>(recycle ? FOF_ALLOWUNDO | FOF_WANTNUKEWARNING : 0);
    TShellDeleteResult result;
    const int code = SHFileOperationW(&operation);
    result.Aborted = operation.fAnyOperationsAborted != FALSE || code == ERROR_CANCELLED;
    if (code != 0 && !result.Aborted)
        result.Code = static_cast<DWORD>(code);
    return result;
}

bool ShowShellProperties(HWND owner, const std::vector<std::wstring>& paths, IDataObject* data) {
    if (paths.empty())
        return false;
    const std::vector<HWND> before = VisibleWindows();
    if (paths.size() == 1) {
        if (!SHObjectProperties(owner, SHOP_FILEPATH, paths.front().c_str(), nullptr))
            return false;
    } else if (!data || FAILED(SHMultiFileProperties(data, 0))) {
        return false;
    }
    return NewWindowCame(before);
}

HRESULT ShowOpenWithDialog(HWND owner, const std::wstring& path) {
    OPENASINFO info{};
    info.pcszFile = path.c_str();
    info.oaifInFlags = OAIF_ALLOW_REGISTRATION | OAIF_REGISTER_EXT | OAIF_EXEC;
    return SHOpenWithDialog(owner, &info);
}
