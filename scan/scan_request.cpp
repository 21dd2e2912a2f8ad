#include "scan/scan_request.h"

#include <algorithm>

#include "scan/listing.h"
#include "toolkit/text.h"

namespace {

// Opens what a path names, as the walk opens a folder, links followed. GetFileAttributesW cannot
// read the root of a volume named by its GUID under Wine, and leaves a link that leads nowhere
// looking like a folder.
bool ReadAttributes(const std::wstring& path, DWORD& attributes, DWORD& error) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file =
        CreateFileW(path.c_str(), 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool read = GetFileInformationByHandle(file, &information) != FALSE;
    error = read ? 0 : GetLastError();
    CloseHandle(file);
    attributes = information.dwFileAttributes;
    return read;
}

} // namespace

std::wstring RootPathFromText(const std::wstring& text) {
    std::wstring path(TrimControls(text, TTrim::Start));
    std::replace(path.begin(), path.end(), L'/', L'\\');
    const bool quoted = path.starts_with(L'"');
    if (std::wstring_view(path).substr(quoted ? 1 : 0).starts_with(L"\\\\?\\")) {
        // Taken exactly, blanks and dots at its end included: the system's own form is never
        // resolved. In quotes, up to the closing one; else up to the line break of a paste.
        if (quoted) {
            path = path.substr(1, path.find(L'"', 1) - 1);
        }
        while (!quoted && !path.empty() && path.back() < L' ') {
            path.pop_back();
        }
        path = OrdinaryPath(path);
        return path.ends_with(L'\\') ? path : path + L'\\';
    }
    // No name holds a quote: they are the quotes "Copy as path" puts around it, taken off as the
    // shell takes them off.
    std::erase(path, L'"');
    path = std::wstring(TrimControls(path));
    if (path.size() == 2 && path[1] == L':') {
        path += L'\\'; // "C:" alone would be the current folder of drive C
    }
    path = FullFolderPath(path);
    if (path.starts_with(L"\\\\.\\")) {
        // The device namespace, resolved as any path is, then under the prefix that lets long paths
        // in: \\.\C:\data is C:\data, \\.\Volume{...}\ a volume's path.
        path[2] = L'?';
        path = OrdinaryPath(path);
    }
    return path;
}

std::wstring RootFault(const std::wstring& root) {
    const std::wstring path = SystemPath(root);
    DWORD attributes = 0, error = 0, fileError = 0;
    if (ReadAttributes(path, attributes, error)) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? L"" : L"is a file, not a folder";
    }
    // A file's path with a backslash at its end is no name at all: without it, it may be a file. Not
    // for a drive's root or a volume's (\\?\Volume{...}), which without it is the volume itself.
    const std::size_t last = path.find_last_of(L'\\', path.size() - 2);
    const bool volumeRoot = path.ends_with(L":\\") || (path.starts_with(L"\\\\?\\") && last == 3);
    if (path.ends_with(L'\\') && !volumeRoot &&
        ReadAttributes(path.substr(0, path.size() - 1), attributes, fileError) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return L"is a file, not a folder";
    }
    switch (error) {
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
