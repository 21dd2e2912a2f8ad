#include "scan/listing.h"

#include <algorithm>

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

bool OnShare(const std::wstring& path) {
    return path.starts_with(L"\\\\") || (path.size() >= 2 && path[1] == L':' &&
                                         GetDriveTypeW((path.substr(0, 2) + L"\\").c_str()) == DRIVE_REMOTE);
}

namespace {

// An open folder and the block of its entries read last, handed out one by one.
struct TFolderRead {
    // 16 KB holds about a hundred entries: larger blocks list no faster, and a walk that holds a
    // folder open at every level of a deep tree holds a block at each.
    static constexpr std::size_t BlockBytes = 16384;
    HANDLE Folder = INVALID_HANDLE_VALUE;
    bool Started = false;
    std::size_t At = 0; // where the next entry starts; End: the block is used up
    static constexpr std::size_t End = SIZE_MAX;
    std::unique_ptr<std::uint64_t[]> Block = std::make_unique_for_overwrite<std::uint64_t[]>(BlockBytes / 8);
};

HANDLE OpenFolder(const std::wstring& folder, DWORD access) {
    return CreateFileW(SystemPath(folder).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Reads the next entry as the find data would give it, with the file's ID.
bool ReadEntry(TFolderRead& read, TListingEntry& entry, DWORD& error) {
    auto* block = reinterpret_cast<unsigned char*>(read.Block.get());
    if (read.At == TFolderRead::End) {
        const auto kind = read.Started ? FileIdBothDirectoryInfo : FileIdBothDirectoryRestartInfo;
        if (!GetFileInformationByHandleEx(read.Folder, kind, block, TFolderRead::BlockBytes)) {
            error = GetLastError();
            return false;
        }
        read.Started = true;
        read.At = 0;
    }
    const auto& info = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(block + read.At);
    read.At = info.NextEntryOffset == 0 ? TFolderRead::End : read.At + info.NextEntryOffset;
    entry.dwFileAttributes = info.FileAttributes;
    const auto fileTime = [](const LARGE_INTEGER& time) {
        return FILETIME{time.LowPart, static_cast<DWORD>(time.HighPart)};
    };
    entry.ftCreationTime = fileTime(info.CreationTime);
    entry.ftLastAccessTime = fileTime(info.LastAccessTime);
    entry.ftLastWriteTime = fileTime(info.LastWriteTime);
    entry.nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(info.EndOfFile.QuadPart) >> 32);
    entry.nFileSizeLow = static_cast<DWORD>(info.EndOfFile.QuadPart);
    // As the find data has it: a reparse point's tag where the extended attributes' size stands.
    entry.dwReserved0 = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info.EaSize : 0;
    entry.dwReserved1 = 0;
    const std::size_t length = std::min<std::size_t>(info.FileNameLength / sizeof(wchar_t), MAX_PATH - 1);
    std::copy_n(info.FileName, length, entry.cFileName);
    entry.cFileName[length] = L'\0';
    entry.cAlternateFileName[0] = L'\0';
    entry.FileId = static_cast<std::uint64_t>(info.FileId.QuadPart);
    return true;
}

class TSystemListing final : public IListing {
  public:
    // The folder's handle is read in blocks with each entry's file ID: under Wine as fast as the
    // find functions, which give no ID.
    TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) override {
        auto read = std::make_unique<TFolderRead>();
        read->Folder = OpenFolder(pattern.substr(0, pattern.rfind(L'\\') + 1), FILE_LIST_DIRECTORY);
        if (read->Folder == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            // The codes the find functions give: a folder that is not there is a path not found,
            // a folder without a single entry (a drive's empty root) a file not found.
            error = error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
            return nullptr;
        }
        read->At = TFolderRead::End;
        if (!ReadEntry(*read, entry, error)) {
            error = error == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : error;
            CloseHandle(read->Folder);
            return nullptr;
        }
        return read.release();
    }
    bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) override {
        return ReadEntry(*static_cast<TFolderRead*>(listing), entry, error);
    }
    void Close(TListingHandle listing) override {
        const std::unique_ptr<TFolderRead> read(static_cast<TFolderRead*>(listing));
        CloseHandle(read->Folder);
    }
    bool Identity(const std::wstring& folder, TFolderIdentity& identity) override {
        HANDLE file = OpenFolder(folder, 0);
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
    bool Volume(const std::wstring& folder, TVolumeIdentity& volume) override {
        HANDLE file = OpenFolder(folder, 0);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        wchar_t system[MAX_PATH + 1] = {};
        DWORD serial = 0;
        const bool read = GetVolumeInformationByHandleW(file, nullptr, 0, &serial, nullptr, nullptr, system,
                                                        MAX_PATH + 1) != FALSE;
        CloseHandle(file);
        if (read) {
            const std::wstring_view name = system;
            volume.Serial = serial;
            volume.StableIds =
                !OnShare(OrdinaryPath(folder)) && !name.starts_with(L"FAT") && name != L"exFAT";
        }
        return read;
    }
};

} // namespace

std::unique_ptr<IListing> CreateSystemListing() {
    return std::make_unique<TSystemListing>();
}
