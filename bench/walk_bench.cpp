// The platform floor: the listing calls the scan uses, the time conversion and a count, nothing else.
// With a number of listers, the same walk with folders listed ahead of it by that many threads.
#include <cwchar>
#include <string>

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
        std::fprintf(stderr, "usage: bench_walk ROOT\\ [LISTERS]\n");
        return 2;
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
