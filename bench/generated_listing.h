#pragma once
// A tree of ten million files that exists only as a rule: 100 folders of 100 folders of 1,000 files
// below the root, each entry made when it is listed, at once. The walk and the rows it fills are
// measured alone, without a file system and without storing the tree.
//
// Fewer top folders give a smaller tree of the same shape (ten: a million files, as T3). Later: the
// same tree a while on, 1% of its files different: in every folder of files each hundredth file
// written again (a day later, 4,096 bytes longer); in every tenth folder its first file deleted, in
// another tenth one new file, in another tenth one file moved up into its top folder.
#include <cstdio>
#include <string>

#include "scan/listing.h"

class TGeneratedListing final : public IListing {
  public:
    static constexpr int Tops = 100, Subs = 100, Files = 1000;
    static constexpr long long FileCount = 1LL * Tops * Subs * Files;

    explicit TGeneratedListing(std::wstring root, int tops = Tops, bool later = false)
        : root_(std::move(root)), tops_(tops), later_(later) {}

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
        int index = cursor->Index++;
        // Later, a folder of files leaves out its deleted or moved file.
        if (later_ && cursor->Level == 2 && Gone(cursor->Sub) >= 0 && index == 2 + Gone(cursor->Sub)) {
            index = cursor->Index++;
        }
        const int children = cursor->Level == 0   ? tops_
                             : cursor->Level == 1 ? Subs + (later_ ? Subs / 10 : 0)
                                                  : Files + (later_ && cursor->Sub % 10 == 5 ? 1 : 0);
        if (index >= children + 2) {
            error = ERROR_NO_MORE_FILES;
            return false;
        }
        entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        entry.ftLastWriteTime = entry.ftCreationTime = {};
        entry.nFileSizeHigh = entry.nFileSizeLow = 0;
        if (index < 2) {
            std::swprintf(entry.cFileName, MAX_PATH, index == 0 ? L"." : L"..");
        } else if (cursor->Level == 0 || (cursor->Level == 1 && index < Subs + 2)) {
            std::swprintf(entry.cFileName, MAX_PATH, cursor->Level == 0 ? L"d%03d" : L"s%03d", index - 2);
        } else if (cursor->Level == 1) {
            // Moved here from the folder of files s0N7: its file N, as it was.
            const int from = (index - 2 - Subs) * 10 + 7;
            MakeFile(entry, cursor->Top, from, Gone(from), false);
        } else if (index - 2 == Files) {
            MakeFile(entry, cursor->Top, cursor->Sub, index - 2, false);
            std::swprintf(entry.cFileName, MAX_PATH, L"n%04d.dat", index - 2);
        } else {
            MakeFile(entry, cursor->Top, cursor->Sub, index - 2, later_ && (index - 2) % 100 == 50);
        }
        return true;
    }
    void Close(TListingHandle listing) override { delete static_cast<TCursor*>(listing); }
    bool Identity(const std::wstring&, TFolderIdentity&) override { return false; }

  private:
    struct TCursor {
        int Level = 0, Top = 0, Sub = 0, Index = 0;
    };

    // The file that is gone later from folder of files sub: its first where deleted, file N of s0N7
    // where moved; -1 for none.
    static int Gone(int sub) { return sub % 10 == 3 ? 0 : sub % 10 == 7 ? sub / 10 : -1; }

    static void MakeFile(WIN32_FIND_DATAW& entry, int top, int sub, int index, bool written) {
        const long long file = (1LL * top * Subs + sub) * Files + index;
        // Spread over five years from September 2020, the same every run.
        const unsigned long long seconds =
            1600000000ULL + 11644473600ULL + (file * 7919) % (5 * 365 * 86400LL) + (written ? 86400 : 0);
        const unsigned long long ticks = seconds * 10000000ULL;
        entry.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
        entry.ftLastWriteTime =
            entry.ftCreationTime = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        entry.nFileSizeLow = written ? 4096 : 0;
        std::swprintf(entry.cFileName, MAX_PATH, L"f%04d.dat", index);
    }

    std::wstring root_;
    int tops_;
    bool later_;
};
