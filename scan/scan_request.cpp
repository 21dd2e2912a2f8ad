#include "scan/scan_request.h"

#include <algorithm>

#include "scan/listing.h"
#include "toolkit/text.h"

std::wstring RootPathFromText(const std::wstring& text) {
    std::wstring path(TrimControls(text));
    // No name holds a quote: they are the quotes "Copy as path" puts around it, taken off as the
    // shell takes them off.
    std::erase(path, L'"');
    path = std::wstring(TrimControls(path));
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.starts_with(L"\\\\?\\")) {
        // Given exactly: resolving it would trim a name that ends in a dot or a blank.
        path = OrdinaryPath(path);
        return path.ends_with(L'\\') ? path : path + L'\\';
    }
    if (path.size() == 2 && path[1] == L':') {
        path += L'\\'; // "C:" alone would be the current folder of drive C
    }
    return FullFolderPath(path);
}

std::wstring RootFault(const std::wstring& root) {
    // Without its backslash: a file's path with one is no name at all.
    std::wstring path = SystemPath(root);
    if (path.size() > 1 && path.back() == L'\\' && path[path.size() - 2] != L':') {
        path.pop_back();
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? L"" : L"is a file, not a folder";
    }
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
        return L"does not exist";
    default:
        return L"";
    }
}
