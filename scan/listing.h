#pragma once
// The walk reads folders through this seam: the Win32 listing in the program, a scripted one in tests.
#include <windows.h>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using TListingHandle = void*;

// What identifies a folder on its volume, to tell a link that leads back to a folder already open.
struct TFolderIdentity {
    DWORD VolumeSerial = 0;
    std::uint64_t FileIndex = 0;
    bool operator==(const TFolderIdentity&) const = default;
};

// The volume a folder lies on, as far as its files' identities go: its serial number, and whether a
// file keeps its ID when renamed or moved (not so on FAT and exFAT, where the ID is where its entry
// lies, nor on a share, where the server may make IDs up).
struct TVolumeIdentity {
    DWORD Serial = 0;
    bool StableIds = false;
};

// An entry as the system's find data gives it, and the file's ID on its volume where the listing
// reads one (under Wine the inode); 0: not known.
struct TListingEntry : WIN32_FIND_DATAW {
    std::uint64_t FileId = 0;
};

// Called from several threads at once (the walk and the listers that read ahead of it), each
// listing handle by one thread at a time. A failing call gives its own error code with it, since a
// thread's last error is no longer the walk's.
struct IListing {
    virtual ~IListing() = default;
    // An entry gives its name, attributes, times, size and, where known, its file ID.
    // Opens the listing of a folder pattern (the folder's path and "*.*") and reads its first entry;
    // nullptr when that fails, with the reason in error.
    virtual TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) = 0;
    // The next entry; false when there is none (error 18) or the listing failed (its code in error).
    virtual bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) = 0;
    virtual void Close(TListingHandle listing) = 0;
    // The identity of the folder a path leads to, links followed; false when it cannot be read.
    virtual bool Identity(const std::wstring& folder, TFolderIdentity& identity) = 0;
    // The volume a folder lies on, links followed; false when it cannot be read, and then the file
    // IDs of its listings are not used.
    virtual bool Volume(const std::wstring& /*folder*/, TVolumeIdentity& /*volume*/) { return false; }
};

// An entry's size in bytes, from the two halves the listing gives.
inline std::uint64_t EntrySize(const WIN32_FIND_DATAW& entry) {
    return (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

// The two names every listing holds besides its entries: "." and "..".
inline bool IsDotName(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// The full path (relative parts resolved against the current folder); the path as given when it
// cannot be resolved or has the prefix \\?\ (never resolved). FullFolderPath ends it with one backslash.
std::wstring FullPath(const std::wstring& path);
std::wstring FullFolderPath(const std::wstring& folder);

// A full path as the system takes it whatever its length: \\?\ before a drive path, \\?\UNC\ for
// a share, so that neither the 260-character limit nor the trimming of names that end in a dot or a
// blank applies. A path that has a prefix already, or is not full, stays as it is.
std::wstring SystemPath(std::wstring_view path);
// The ordinary path of one given with \\?\ before a drive or \\?\UNC\: what users see and filters
// match. A volume's path (\\?\Volume{...}\, \\?\GLOBALROOT\...) has no other form and stays.
std::wstring OrdinaryPath(std::wstring_view path);

// Whether a path lies on a network share: a UNC path, or a drive the system calls remote.
bool OnShare(const std::wstring& path);

// The system's listing: the folder opened by its SystemPath, so that paths of any length and names
// ending in a dot or a blank are read, and read with each entry's file ID.
std::unique_ptr<IListing> CreateSystemListing();
