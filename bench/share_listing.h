#pragma once
// A simulated network share: a T1-shaped tree held in memory, listed with a fixed delay per folder
// open and per further batch of entries, as a file server's round trips would take.
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "scan/listing.h"

class TShareListing final : public IListing {
  public:
    static constexpr DWORD OpenMilliseconds = 2;
    static constexpr DWORD BatchMilliseconds = 1;
    static constexpr std::size_t BatchEntries = 64; // the first batch comes with the open

    // 11 folders of 100 folders of 91 files below root, which ends with "\".
    explicit TShareListing(const std::wstring& root) {
        std::mt19937 random(20261207);
        const unsigned long long base = (1600000000ULL + 11644473600ULL) * 10000000ULL;
        Add(root, L"", FILE_ATTRIBUTE_DIRECTORY, 0);
        for (int a = 0; a < 11; ++a) {
            const std::wstring top = Name(L"d", a, 3);
            Add(root, top, FILE_ATTRIBUTE_DIRECTORY, 0);
            for (int b = 0; b < 100; ++b) {
                const std::wstring sub = Name(L"s", b, 3);
                Add(root + top + L"\\", sub, FILE_ATTRIBUTE_DIRECTORY, 0);
                for (int f = 0; f < 91; ++f) {
                    const unsigned long long t = base + (random() % (5ULL * 365 * 86400)) * 10000000ULL;
                    Add(root + top + L"\\" + sub + L"\\", Name(L"f", f, 4) + L".dat", FILE_ATTRIBUTE_ARCHIVE,
                        t);
                }
            }
        }
    }

    TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) override {
        Sleep(OpenMilliseconds);
        const auto found = folders_.find(pattern.substr(0, pattern.size() - 3));
        if (found == folders_.end()) {
            error = ERROR_PATH_NOT_FOUND;
            return nullptr;
        }
        entry = found->second[0];
        return new TCursor{&found->second, 0};
    }
    bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) override {
        auto* cursor = static_cast<TCursor*>(listing);
        if (++cursor->Index >= cursor->Entries->size()) {
            error = ERROR_NO_MORE_FILES;
            return false;
        }
        if (cursor->Index % BatchEntries == 0) {
            Sleep(BatchMilliseconds);
        }
        entry = (*cursor->Entries)[cursor->Index];
        return true;
    }
    void Close(TListingHandle listing) override { delete static_cast<TCursor*>(listing); }
    bool Identity(const std::wstring&, TFolderIdentity&) override { return false; }

  private:
    struct TCursor {
        const std::vector<TListingEntry>* Entries;
        std::size_t Index;
    };
    static std::wstring Name(const wchar_t* prefix, int n, int digits) {
        wchar_t text[16];
        std::swprintf(text, 16, L"%ls%0*d", prefix, digits, n);
        return text;
    }
    // Every folder lists "." and ".." first, then its entries; an empty name only makes the folder.
    void Add(const std::wstring& folder, const std::wstring& name, DWORD attributes,
             unsigned long long time) {
        auto& entries = folders_[folder];
        if (entries.empty()) {
            for (const wchar_t* dot : {L".", L".."}) {
                entries.push_back(Entry(dot, FILE_ATTRIBUTE_DIRECTORY, 0));
            }
        }
        if (!name.empty()) {
            entries.push_back(Entry(name, attributes, time));
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                Add(folder + name + L"\\", L"", 0, 0);
            }
        }
    }
    static TListingEntry Entry(const std::wstring& name, DWORD attributes, unsigned long long time) {
        TListingEntry entry{};
        entry.dwFileAttributes = attributes;
        entry.ftLastWriteTime = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        name.copy(entry.cFileName, MAX_PATH - 1);
        return entry;
    }

    std::map<std::wstring, std::vector<TListingEntry>> folders_;
};
