// The platform floor: the listing calls the scan uses, the time conversion and a count, nothing else.
// With a number of listers, the same walk with folders listed ahead of it by that many threads.
// With "ids" or "ntids", the floor walk reading each folder with its entries' file IDs: through
// GetFileInformationByHandleEx or NtQueryDirectoryFile on a folder handle, 64 KB at a time.
#include <cwchar>
#include <string>
#include <vector>
#include <winternl.h>

#include "bench_support.h"
#include "scan/listers.h"

namespace {

struct TFloorWalk {
    TLocalTimeConverter LocalTime;
    long long Files = 0;
    long long Folders = 0;
    double Checksum = 0; // keeps the conversion from being optimised away

    void Walk(const std::wstring& folder) {
        ++Folders;
        WIN32_FIND_DATAW entry;
        // As the program asks: the long-path form, every name.
        HANDLE listing = FindFirstFileExW((SystemPath(folder) + L"*").c_str(), FindExInfoBasic, &entry,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (listing == INVALID_HANDLE_VALUE) {
            return;
        }
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (std::wcscmp(entry.cFileName, L".") != 0 && std::wcscmp(entry.cFileName, L"..") != 0) {
                    Walk(folder + entry.cFileName + L"\\");
                }
            } else {
                ++Files;
                SYSTEMTIME local;
                TDateTime time;
                if (LocalTime.ToLocal(entry.ftLastWriteTime, local) && TryEncodeDateTime(local, time)) {
                    Checksum += time;
                }
            }
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
    }
};

// The floor walk listing by folder handle, each entry with its file ID; a sum of the IDs and a count of
// zero ones show whether the system gives them.
struct TIdentityWalk {
    using TQuery = LONG(WINAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, void*, ULONG, int, BOOLEAN,
                                 UNICODE_STRING*, BOOLEAN);
    TQuery NtQuery = nullptr; // set: NtQueryDirectoryFile, else GetFileInformationByHandleEx
    TLocalTimeConverter LocalTime;
    long long Files = 0;
    long long Folders = 0;
    long long ZeroIds = 0;
    unsigned long long IdSum = 0;
    double Checksum = 0;
    std::size_t BufferSize = 65536;

    // Each folder its own buffer: its entries are walked while subfolders are read.
    bool Read(HANDLE folder, bool first, std::vector<unsigned char>& buffer) {
        if (NtQuery) {
            IO_STATUS_BLOCK status{};
            return NtQuery(folder, nullptr, nullptr, nullptr, &status, buffer.data(),
                           static_cast<ULONG>(buffer.size()), FileIdBothDirectoryInformation, FALSE, nullptr,
                           first) >= 0;
        }
        return GetFileInformationByHandleEx(folder,
                                            first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                                            buffer.data(), static_cast<DWORD>(buffer.size())) != FALSE;
    }

    void Walk(const std::wstring& folder) {
        ++Folders;
        HANDLE handle = CreateFileW(SystemPath(folder).c_str(), FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return;
        }
        std::vector<unsigned char> buffer(BufferSize);
        for (bool first = true; Read(handle, first, buffer); first = false) {
            for (std::size_t at = 0;;) {
                const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
                const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
                if (entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (name != L"." && name != L"..") {
                        Walk(folder + std::wstring(name) + L"\\");
                    }
                } else {
                    ++Files;
                    const auto id = static_cast<unsigned long long>(entry->FileId.QuadPart);
                    IdSum += id;
                    ZeroIds += id == 0;
                    const FILETIME write{entry->LastWriteTime.LowPart,
                                         static_cast<DWORD>(entry->LastWriteTime.HighPart)};
                    SYSTEMTIME local;
                    TDateTime time;
                    if (LocalTime.ToLocal(write, local) && TryEncodeDateTime(local, time)) {
                        Checksum += time;
                    }
                }
                if (entry->NextEntryOffset == 0) {
                    break;
                }
                at += entry->NextEntryOffset;
            }
        }
        CloseHandle(handle);
    }
};

// Prints each file of one folder with its file ID, and the folder's volume serial both ways.
void ShowIdentities(const std::wstring& folder) {
    HANDLE handle = CreateFileW(SystemPath(folder).c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    DWORD serial = 0;
    const BOOL byHandle = GetFileInformationByHandle(handle, &information);
    const BOOL byVolume =
        GetVolumeInformationByHandleW(handle, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
    std::printf("folder_index=%llu serial_by_handle=%lu(%d) serial_by_volume=%lu(%d)\n",
                (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) |
                    information.nFileIndexLow,
                information.dwVolumeSerialNumber, byHandle, serial, byVolume);
    std::vector<unsigned char> buffer(65536);
    for (auto kind = FileIdBothDirectoryRestartInfo;
         GetFileInformationByHandleEx(handle, kind, buffer.data(), static_cast<DWORD>(buffer.size()));
         kind = FileIdBothDirectoryInfo) {
        for (std::size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            std::printf("%llu %ls\n", static_cast<unsigned long long>(entry->FileId.QuadPart),
                        std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t)).c_str());
            if (entry->NextEntryOffset == 0) {
                break;
            }
            at += entry->NextEntryOffset;
        }
    }
    std::printf("ended=%lu\n", GetLastError());
    CloseHandle(handle);
}

// The same floor, taking each folder's listing from the listers where they have read or begun it.
struct TAheadWalk {
    IListing& Listing;
    TListers& Listers;
    TLocalTimeConverter LocalTime;
    long long Files = 0;
    long long Folders = 0;
    double Checksum = 0;

    TWalkOrder Order;

    void Walk(const std::wstring& folder) {
        ++Folders;
        TFolderListing listing;
        const auto never = [] {};
        Listers.List(folder, Order, listing, never);
        {
            TListingCursor entries(Listing, listing);
            for (; entries.Valid(); entries.Advance()) {
                const wchar_t* name = entries.Name();
                if (entries.Attributes() & FILE_ATTRIBUTE_DIRECTORY) {
                    if (!IsDotName(name)) {
                        Order.push_back(entries.Position());
                        Walk(folder + name + L"\\");
                        Order.pop_back();
                    }
                } else {
                    ++Files;
                    SYSTEMTIME local;
                    TDateTime time;
                    if (LocalTime.ToLocal(entries.LastWrite(), local) && TryEncodeDateTime(local, time)) {
                        Checksum += time;
                    }
                }
            }
        }
        Listers.Release(listing);
    }
};

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_walk ROOT\\ [LISTERS|ids [KB]|ntids [KB]|show]\n");
        return 2;
    }
    const std::wstring how = argc < 3 ? L"" : argv[2];
    if (how == L"show") {
        ShowIdentities(argv[1]);
        return 0;
    }
    if (how == L"ids" || how == L"ntids") {
        TIdentityWalk walk;
        // A third argument: the buffer's size in KB (64 unless given).
        if (argc > 3) {
            walk.BufferSize = std::wcstoul(argv[3], nullptr, 10) * 1024;
        }
        if (how == L"ntids") {
            walk.NtQuery = reinterpret_cast<TIdentityWalk::TQuery>(reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryDirectoryFile")));
        }
        const double start = Seconds();
        walk.Walk(argv[1]);
        const double seconds = Seconds() - start;
        PrintResult("seconds=" + std::to_string(seconds) + " files=" + std::to_string(walk.Files) +
                    " folders=" + std::to_string(walk.Folders) + " zero_ids=" + std::to_string(walk.ZeroIds) +
                    " id_sum=" + std::to_string(walk.IdSum) + " checksum=" + std::to_string(walk.Checksum));
        return 0;
    }
    // "auto": as many as the scan itself would take for this folder.
    const unsigned listers = argc < 3 ? 0
                             : std::wstring(argv[2]) == L"auto"
                                 ? ListersFor(argv[1])
                                 : static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10));
    if (listers > 0) {
        const auto listing = CreateSystemListing();
        const double start = Seconds();
        // "auto" reads ahead by the scan's own rule too.
        TListers pool(*listing, listers, 256, 262144,
                      {[] { return false; },
                       [] { return false; },
                       [] {},
                       {},
                       std::wstring(argv[2]) == L"auto" ? ReadAheadRuleFor(argv[1]) : nullptr});
        TAheadWalk walk{*listing, pool};
        walk.Walk(argv[1]);
        pool.Stop();
        const double seconds = Seconds() - start;
        PrintResult("seconds=" + std::to_string(seconds) + " files=" + std::to_string(walk.Files) +
                    " listers=" + std::to_string(listers) + " folders=" + std::to_string(walk.Folders) +
                    " peak_mb=" + std::to_string(PeakMegabytes()) +
                    " checksum=" + std::to_string(walk.Checksum));
        return 0;
    }
    TFloorWalk walk;
    const double start = Seconds();
    walk.Walk(argv[1]);
    const double seconds = Seconds() - start;
    PrintResult("seconds=" + std::to_string(seconds) + " files=" + std::to_string(walk.Files) +
                " folders=" + std::to_string(walk.Folders) + " peak_mb=" + std::to_string(PeakMegabytes()) +
                " checksum=" + std::to_string(walk.Checksum));
    return 0;
}
