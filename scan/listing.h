#pragma once
// The walk reads folders through this seam: the Win32 listing in the program, a scripted one in tests.
#include <cstdint>
#include <memory>
#include <string>
#include <windows.h>

using TListingHandle = void*;

// What identifies a folder on its volume, to tell a link that leads back to a folder already open.
struct TFolderIdentity {
    DWORD VolumeSerial = 0;
    std::uint64_t FileIndex = 0;
    bool operator==(const TFolderIdentity&) const = default;
};

struct IListing {
    virtual ~IListing() = default;
    // Opens the listing of a folder pattern and reads its first entry; nullptr when that fails,
    // and LastError tells why.
    virtual TListingHandle Open(const std::wstring& pattern, WIN32_FIND_DATAW& entry) = 0;
    // The next entry; false when there is none or the listing failed (LastError tells which).
    virtual bool Next(TListingHandle listing, WIN32_FIND_DATAW& entry) = 0;
    virtual void Close(TListingHandle listing) = 0;
    virtual DWORD LastError() const = 0;
    // The identity of the folder a path leads to, links followed; false when it cannot be read.
    virtual bool Identity(const std::wstring& folder, TFolderIdentity& identity) = 0;
};

// The system's listing: FindFirstFileExW with the basic information and large fetches.
std::unique_ptr<IListing> CreateSystemListing();
