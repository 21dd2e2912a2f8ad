#include "scan/listing.h"

std::wstring FullPath(const std::wstring& path) {
    // The system's own form: resolving it would trim a name that ends in a dot or a blank.
    if (path.starts_with(L"\\\\?\\")) {
        return path;
    }
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            return path;
        }
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

std::wstring FullFolderPath(const std::wstring& folder) {
    std::wstring full = FullPath(folder);
    if (full.empty() || full.back() != L'\\') {
        full += L'\\';
    }
    return full;
}

std::wstring SystemPath(std::wstring_view path) {
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) {
        return std::wstring(path);
    }
    if (path.starts_with(L"\\\\")) {
        return std::wstring(L"\\\\?\\UNC\\").append(path.substr(2));
    }
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        return std::wstring(L"\\\\?\\").append(path);
    }
    return std::wstring(path);
}

std::wstring OrdinaryPath(std::wstring_view path) {
    if (path.size() >= 8 && path.starts_with(L"\\\\?\\") &&
        CompareStringOrdinal(path.data() + 4, 4, L"UNC\\", 4, TRUE) == CSTR_EQUAL) {
        return std::wstring(L"\\\\").append(path.substr(8));
    }
    // A drive's path; a volume named by its GUID (\\?\Volume{...}\) or a device has no other form.
    const auto letter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
    if (path.size() >= 6 && path.starts_with(L"\\\\?\\") && letter(path[4]) && path[5] == L':' &&
        (path.size() == 6 || path[6] == L'\\')) {
        return std::wstring(path.substr(4));
    }
    return std::wstring(path);
}

namespace {

// The listing's pattern on the system's path. Under the prefix "*.*" would be taken literally by some
// file systems (a name with a dot), so every name is asked for with "*".
std::wstring SystemPattern(const std::wstring& pattern) {
    const std::size_t folderEnd = pattern.rfind(L'\\') + 1;
    const std::wstring_view mask = std::wstring_view(pattern).substr(folderEnd);
    return SystemPath(std::wstring_view(pattern).substr(0, folderEnd)).append(mask == L"*.*" ? L"*" : mask);
}

class TSystemListing final : public IListing {
  public:
    // Only attributes, times, size and long name are used: skipping the short name and fetching in
    // large blocks helps on Windows; under Wine both calls list at the same speed.
    TListingHandle Open(const std::wstring& pattern, WIN32_FIND_DATAW& entry, DWORD& error) override {
        HANDLE listing = FindFirstFileExW(SystemPattern(pattern).c_str(), FindExInfoBasic, &entry,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (listing == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            return nullptr;
        }
        return listing;
    }
    bool Next(TListingHandle listing, WIN32_FIND_DATAW& entry, DWORD& error) override {
        if (!FindNextFileW(static_cast<HANDLE>(listing), &entry)) {
            error = GetLastError();
            return false;
        }
        return true;
    }
    void Close(TListingHandle listing) override { FindClose(static_cast<HANDLE>(listing)); }
    bool Identity(const std::wstring& folder, TFolderIdentity& identity) override {
        HANDLE file =
            CreateFileW(SystemPath(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        BY_HANDLE_FILE_INFORMATION information;
        const bool read = GetFileInformationByHandle(file, &information) != FALSE;
        CloseHandle(file);
        if (read) {
            identity.VolumeSerial = information.dwVolumeSerialNumber;
            identity.FileIndex =
                (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
        }
        return read;
    }
};

} // namespace

std::unique_ptr<IListing> CreateSystemListing() {
    return std::make_unique<TSystemListing>();
}
