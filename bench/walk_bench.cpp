// The platform floor: the listing calls the scan uses, the time conversion and a count, nothing else.
#include <cwchar>
#include <string>

#include "bench_support.h"

namespace {

struct TFloorWalk {
    TLocalTimeConverter LocalTime;
    long long Files = 0;
    long long Folders = 0;
    double Checksum = 0; // keeps the conversion from being optimised away

    void Walk(const std::wstring& folder) {
        ++Folders;
        WIN32_FIND_DATAW entry;
        HANDLE listing = FindFirstFileExW((folder + L"*.*").c_str(), FindExInfoBasic, &entry,
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

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_walk ROOT\\\n");
        return 2;
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
