#pragma once
// A tree of ten million files that exists only as a rule: 100 folders of 100 folders of 1,000 files
// below the root, each entry made when it is listed, at once. The walk and the rows it fills are
// measured alone, without a file system and without storing the tree.
#include <cstdio>
#include <string>

#include "scan/listing.h"

class TGeneratedListing final : public IListing {
  public:
    static constexpr int Tops = 100, Subs = 100, Files = 1000;
    static constexpr long long FileCount = 1LL * Tops * Subs * Files;

    explicit TGeneratedListing(std::wstring root) : root_(std::move(root)) {}

    TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) override {
        auto* cursor = new TCursor{};
        // The level and numbers of the folder, from its path below the root: "dNNN\" and "sNNN\".
        const std::wstring relative = pattern.substr(root_.size(), pattern.size() - root_.size() - 3);
        cursor->Level = relative.empty() ? 0 : relative.size() == 5 ? 1 : 2;
        if (cursor->Level >= 1)
            cursor->Top = std::stoi(relative.substr(1, 3));
        if (cursor->Level == 2)
            cursor->Sub = std::stoi(relative.substr(6, 3));
        if (!Next(cursor, entry, error)) {
            delete cursor;
            return nullptr;
        }
        return cursor;
    }
    bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) override {
        auto* cursor = static_cast<TCursor*>(listing);
        const int index = cursor->Index++;
        const int children = cursor->Level == 0 ? Tops : cursor->Level == 1 ? Subs : Files;
        if (index >= children + 2) {
            error = ERROR_NO_MORE_FILES;
            return false;
        }
        entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        entry.ftLastWriteTime = entry.ftCreationTime = {};
        if (index < 2) {
            std::swprintf(entry.cFileName, MAX_PATH, index == 0 ? L"." : L"..");
        } else if (cursor->Level < 2) {
            std::swprintf(entry.cFileName, MAX_PATH, cursor->Level == 0 ? L"d%03d" : L"s%03d", index - 2);
        } else {
            const long long file = (1LL * cursor->Top * Subs + cursor->Sub) * Files + (index - 2);
            // Spread over five years from September 2020, the same every run.
            const unsigned long long seconds =
                1600000000ULL + 11644473600ULL + (file * 7919) % (5 * 365 * 86400LL);
            const unsigned long long ticks = seconds * 10000000ULL;
            entry.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
            entry.ftLastWriteTime =
                entry.ftCreationTime = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
            std::swprintf(entry.cFileName, MAX_PATH, L"f%04d.dat", index - 2);
        }
        return true;
    }
    void Close(TListingHandle listing) override { delete static_cast<TCursor*>(listing); }
    bool Identity(const std::wstring&, TFolderIdentity&) override { return false; }

  private:
    struct TCursor {
        int Level = 0, Top = 0, Sub = 0, Index = 0;
    };
    std::wstring root_;
};
