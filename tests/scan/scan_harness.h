#pragma once
// Shared pieces of the scan tests: a recording sink, a scripted listing, temporary trees, and a
// user-interface thread that serves the job until it ends.
#include <windows.h>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "scan/listing.h"
#include "scan/sinks.h"
#include "scan/work_thread.h"
#include "test_support.h"

// Everything the scan tells, in order: "folder <path>", "row <path> <text>", "delete <path>",
// "log <line>". With Quiet, only the rows are kept.
class TRecorder final : public IScanSink {
  public:
    std::vector<std::wstring> Events;
    std::vector<std::wstring> LogLines;
    bool Quiet = false;
    // Runs after each event is recorded, on the user-interface thread.
    std::function<void(const std::wstring& event)> AfterEvent;
    // A row's text is written with these, as the results list writes it.
    TFormatSettings Settings = UserFormatSettings();

    void FolderEntered(const std::wstring& folder) override {
        if (!Quiet) {
            Record(L"folder " + folder);
        }
    }
    void RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId> removed) override;
    void ListingFailed(const std::wstring& line) override;
    void Ended(const TScanEnd& end) override { End = end; }
    // Captions of the rows held now, in list order.
    std::vector<std::wstring> Rows() const;
    void Record(const std::wstring& event);
    TScanEnd End;

  private:
    std::vector<std::pair<TRowId, std::wstring>> rows_;
};

// A listing scripted in memory. Folders are keyed by their path with its trailing backslash; every
// folder but the root lists "." and ".." first, as the system does. Several threads may list at
// once while Folders stays as it is.
class TFakeListing final : public IListing {
  public:
    struct TFolder {
        std::vector<TListingEntry> Entries;
        DWORD OpenError = 0;         // the open fails with this code
        bool ThrowOnOpen = false;    // the open fails with std::bad_alloc
        size_t FailAfter = SIZE_MAX; // Next fails after this many entries ...
        DWORD FailCode = 0;          // ... with this code
    };
    std::map<std::wstring, TFolder> Folders;
    std::atomic<int> Opens{0}, Closes{0};
    std::atomic<long long> Served{0}; // entries handed to the walk

    explicit TFakeListing(std::wstring root);
    // Adds a file (and the folders on its way) at the end of its folder's entries.
    void AddFile(const std::wstring& path, FILETIME time, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE,
                 std::uint64_t size = 0);
    void AddFolder(const std::wstring& path);
    TFolder& Folder(const std::wstring& path) { return Folders.at(path); }

    TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) override;
    bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) override;
    void Close(TListingHandle listing) override;
    bool Identity(const std::wstring&, TFolderIdentity&) override { return false; }

  private:
    struct TCursor {
        const TFolder* Folder;
        size_t Index;
    };
    std::wstring root_;
};

// Wraps a listing and tells the walk's opens from the listers': the walk opens the root first.
class TWatchedListing final : public IListing {
  public:
    explicit TWatchedListing(std::unique_ptr<IListing> inner) : inner_(std::move(inner)) {}
    // Runs at the start of every open, on the thread that opens.
    std::function<void(const std::wstring& folder, bool byWalk)> BeforeOpen;
    std::atomic<int> OpenedAhead{0}; // opens begun by listers
    // Folders whose open a lister began.
    std::vector<std::wstring> FoldersOpenedAhead() const;

    TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) override;
    bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) override {
        return inner_->Next(listing, entry, error);
    }
    void Close(TListingHandle listing) override { inner_->Close(listing); }
    bool Identity(const std::wstring& folder, TFolderIdentity& identity) override {
        return inner_->Identity(folder, identity);
    }
    bool Volume(const std::wstring& folder, TVolumeIdentity& volume) override {
        return inner_->Volume(folder, volume);
    }

  private:
    std::unique_ptr<IListing> inner_;
    mutable std::mutex mutex_;
    DWORD walkThread_ = 0;
    std::vector<std::wstring> openedAhead_;
};

// A file time in UTC from calendar fields.
FILETIME UtcFileTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0);
// The value the walk gives a file time, worked out through the system's own conversion.
TDateTime LocalValue(const FILETIME& utc);
// The instant of a local value, as the rows hold their times, by the system's own conversion.
std::int64_t UtcTicks(TDateTime local);

// A file's bytes, read while others may write it; empty if it cannot be opened.
std::string ReadBytes(const std::wstring& path);

// A folder under the temporary folder that is removed with everything in it at the end.
class TTempTree {
  public:
    TTempTree();
    ~TTempTree();
    const std::wstring& Root() const { return root_; } // ends with "\"
    std::wstring Folder(const std::wstring& relative);
    std::wstring File(const std::wstring& relative, FILETIME time, DWORD attributes = 0,
                      std::uint64_t size = 0);
    // Makes a Unix symbolic link at relative that points to target (a Unix path or relative text).
    void Link(const std::wstring& relative, const std::string& target);
    std::string UnixPath(const std::wstring& relative) const;

  private:
    std::wstring root_;
};

// Owns the hand-off window for a test: the test's thread is the user-interface thread.
class THandOffScope {
  public:
    THandOffScope();
    ~THandOffScope();

  private:
    bool own_ = false;
};

// A job wired to a recorder, run to its end on this thread.
struct TScanRun {
    TRecorder Recorder;
    std::unique_ptr<TWorkThread> Job;
    int Ended = 0;
    bool Started = false;

    explicit TScanRun(std::unique_ptr<TWorkThread> job = std::make_unique<TWorkThread>());
    // Hands the job a request with root, mode and limit or moment; false if it refuses it.
    bool Ask(const std::wstring& root, bool byDate, int limit, TDateTime after = 0, bool recursive = true);
    // A job that did not end is stopped; if even that hangs, it is left behind rather than joined.
    ~TScanRun();
    // Resumes the job and serves it until its end notification ran; false on time-out.
    bool Run();
    void Start();
    bool WaitForEnd();
};
