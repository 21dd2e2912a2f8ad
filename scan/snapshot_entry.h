#pragma once
// What a completed scan keeps of each file, to tell next time what changed: kept per root and filters.
#include <cstdint>
#include <string>
#include <vector>

// A file's identity on its volume: the volume's serial number and the file's ID, 128 bits where the
// file system gives them (FILE_ID_INFO), else the 64-bit index in Low. Zero: none was read.
struct TFileIdentity {
    std::uint64_t VolumeSerial = 0;
    std::uint64_t Low = 0;
    std::uint64_t High = 0;
    bool Known() const { return VolumeSerial != 0 || Low != 0 || High != 0; }
    bool operator==(const TFileIdentity&) const = default;
};

struct TSnapshotEntry {
    std::wstring Path;             // relative to the root: "sub\name.txt"
    std::uint64_t Size = 0;        // bytes
    std::int64_t LastWriteUtc = 0; // FILETIME ticks, UTC
    std::int64_t CreationUtc = 0;  // FILETIME ticks, UTC
    std::uint32_t Attributes = 0;  // FILE_ATTRIBUTE_*
    TFileIdentity Identity;
};

// What the scan was: its root and filters decide which snapshot it compares with.
struct TSnapshotScan {
    std::wstring Root; // ordinary full path ending with "\"
    bool Recursive = true;
    std::wstring SkipFolders; // as the request gave them
    std::wstring NameMasks;
    std::uint32_t TimeKind = 0; // TTimeKind's value
    std::int64_t StartUtc = 0;
    std::int64_t EndUtc = 0;
    // Folders that could not be listed, relative to the root ending with "\" ("" is the root itself):
    // their files were not seen, which is not the same as gone.
    std::vector<std::wstring> UnreadFolders;
};
