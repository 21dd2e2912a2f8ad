#include "toolkit/save_dialog.h"

#include "toolkit/file_data.h"
#include "toolkit/shell_files.h"
#include <algorithm>
#include <commdlg.h>
#include <shobjidl.h>
#include <vector>

namespace {

// The extension a type's pattern names: "csv" of "*.csv".
const wchar_t* Extension(const TFileType& type) {
    const wchar_t* dot = wcsrchr(type.Pattern, L'.');
    return dot ? dot + 1 : L"";
}

// S_OK with the choice, the cancel's code, or another failure, after which the older dialog is tried.
HRESULT AskWithFileDialog(HWND owner, std::span<const TFileType> types, std::wstring& path, int& type) {
    IFileSaveDialog* made = nullptr;
    if (!OleReady() ||
        FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&made))) ||
        !made) {
        return E_NOINTERFACE;
    }
    const TComPtr<IFileSaveDialog> dialog(made);
    std::vector<COMDLG_FILTERSPEC> filters;
    for (const TFileType& fileType : types) {
        filters.push_back({fileType.Name, fileType.Pattern});
    }
    FILEOPENDIALOGOPTIONS options = 0;
    HRESULT result = dialog->GetOptions(&options);
    if (SUCCEEDED(result)) {
        result = dialog->SetOptions(options | FOS_OVERWRITEPROMPT | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST |
                                    FOS_NOCHANGEDIR);
    }
    if (SUCCEEDED(result)) {
        result = dialog->SetFileTypes(static_cast<UINT>(filters.size()), filters.data());
    }
    if (SUCCEEDED(result)) {
        result = dialog->SetFileTypeIndex(static_cast<UINT>(type + 1));
    }
    if (SUCCEEDED(result)) {
        result = dialog->SetDefaultExtension(Extension(types[static_cast<std::size_t>(type)]));
    }
    if (SUCCEEDED(result)) {
        result = dialog->SetFileName(path.c_str());
    }
    if (SUCCEEDED(result)) {
        result = dialog->Show(owner);
    }
    if (FAILED(result)) {
        return result;
    }
    IShellItem* item = nullptr;
    result = dialog->GetResult(&item);
    if (FAILED(result) || !item) {
        return FAILED(result) ? result : E_FAIL;
    }
    const TComPtr<IShellItem> chosen(item);
    wchar_t* name = nullptr;
    UINT index = 0;
    result = chosen->GetDisplayName(SIGDN_FILESYSPATH, &name);
    if (FAILED(result) || !name) {
        return FAILED(result) ? result : E_FAIL;
    }
    path = name;
    CoTaskMemFree(name);
    if (SUCCEEDED(dialog->GetFileTypeIndex(&index)) && index >= 1 && index <= types.size()) {
        type = static_cast<int>(index - 1);
    }
    return S_OK;
}

} // namespace

bool AskSaveFile(HWND owner, std::span<const TFileType> types, std::wstring& path, int& type) {
    const HRESULT result = AskWithFileDialog(owner, types, path, type);
    if (result == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
        return false;
    }
    if (SUCCEEDED(result)) {
        return true;
    }
    std::wstring filter;
    for (const TFileType& fileType : types) {
        filter.append(fileType.Name).append(1, L'\0').append(fileType.Pattern).append(1, L'\0');
    }
    // A path may be as long as the system allows.
    std::vector<wchar_t> buffer(32768, L'\0');
    path.copy(buffer.data(), std::min(path.size(), buffer.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(type + 1);
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrDefExt = Extension(types[static_cast<std::size_t>(type)]);
    dialog.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog)) {
        return false;
    }
    path = buffer.data();
    if (dialog.nFilterIndex >= 1 && dialog.nFilterIndex <= types.size()) {
        type = static_cast<int>(dialog.nFilterIndex - 1);
    }
    return true;
}
