#pragma once
// Listers read folders ahead of the walk, on threads of their own. Opening a folder is most of what
// listing it costs (a round trip to the Wine server, or to a file server on a share), so several
// opens at once shorten the walk. The walk still visits folders in its own order and takes each
// listing when it reaches the folder.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "scan/filters.h"
#include "scan/listing.h"

struct TListedEntry {
    DWORD Attributes = 0;
    FILETIME LastWrite{};
    FILETIME Creation{};
    std::uint32_t Name = 0; // where its null-terminated name starts in the listing's Names
    std::uint64_t Size = 0;
    std::uint64_t FileId = 0; // 0: not known
};

// A folder's listing: the entries read so far, in the order listed; then either how the listing
// ended or, where reading stopped at the bound, the listing still open with the entry it read last.
struct TFolderListing {
    std::vector<TListedEntry> Entries;
    std::wstring Names;
    DWORD Error = ERROR_SUCCESS; // without Rest: 18 when the listing ran to its end, else its failure
    TListingHandle Rest = nullptr;
    TListingEntry Next;         // with Rest: read, not stored
    std::exception_ptr Failure; // thrown while a lister listed; thrown again in the walk

    void Add(const TListingEntry& entry);
};

// Opens a folder to be read entry by entry by whoever walks it, with nothing read ahead.
void OpenToRead(IListing& listing, const std::wstring& pattern, TFolderListing& folder);
// Closes what is still open of a listing.
void CloseRest(IListing& listing, TFolderListing& folder);

// The entries of a listing in order: those stored, then those still to read from its open rest,
// which it closes when it goes.
class TListingCursor {
  public:
    TListingCursor(IListing& listing, TFolderListing& folder);
    TListingCursor(const TListingCursor&) = delete;
    TListingCursor& operator=(const TListingCursor&) = delete;
    ~TListingCursor();

    // False once no entry is left; Error then tells how the listing ended.
    bool Valid() const { return valid_; }
    const wchar_t* Name() const;
    DWORD Attributes() const;
    const FILETIME& LastWrite() const;
    const FILETIME& Creation() const;
    std::uint64_t Size() const;
    std::uint64_t FileId() const;
    void Advance();
    DWORD Error() const { return error_; }
    // How many entries came before the one at hand.
    std::uint32_t Position() const { return static_cast<std::uint32_t>(index_); }

  private:
    bool Stored() const { return index_ < folder_.Entries.size(); }

    IListing& listing_;
    TFolderListing& folder_;
    std::size_t index_ = 0; // counts on past the stored entries through the open rest
    bool valid_ = false;
    DWORD error_ = ERROR_SUCCESS;
};

// How many listers read ahead of a walk of root: on a local disk the processors the program may
// use, less the one the walk needs, at least one and at most four; on a network share (a UNC path
// or a drive the system calls remote), where the walk waits on round trips and not on processors,
// eight. Under Wine the Wine server serves every open too, so on two processors one lister is
// faster than two.
unsigned ListersFor(const std::wstring& root);
// Whether the machine has a processor to spare for the lister that asks: over its last tenth of a
// second, the processors' idle time and the lister's own time come to half a processor or more.
// Under Wine a lower thread priority does not reach the system, so on a busy machine a lister would
// take the one free processor from the walk; this is how it gives it back. Called on a lister's
// thread; each lister keeps its own measure.
bool ProcessorToSpare();
// When the listers of a walk of root may read ahead: on a local disk while ProcessorToSpare says
// so; on a share always (empty), since there they wait on round trips and not on processors.
std::function<bool()> ReadAheadRuleFor(const std::wstring& root);

// Where a folder stands in the walk's order: the positions of its entry in the listings on its way
// from the root. Compared in sequence, they order folders as the walk reaches them.
using TWalkOrder = std::vector<std::uint32_t>;

// What the listers need of the scan they serve.
struct TListerControl {
    std::function<bool()> Stopping;
    std::function<bool()> Pausing;
    std::function<void()> WaitWhilePaused; // returns when resumed or asked to stop
    // Which folders the scan enters; all but links when none.
    const TScanFilters* Filters = nullptr;
    // Asked by a lister before each folder it would read ahead; while it says no, the lister looks
    // again every tenth of a second and the walk lists for itself. Empty: always read ahead.
    std::function<bool()> MayReadAhead;
};

class TListers {
  public:
    // count threads that list through listing, which must take calls from several threads.
    TListers(IListing& listing, unsigned count, std::size_t maxFolders, std::size_t maxEntries,
             TListerControl control);
    TListers(const TListers&) = delete;
    TListers& operator=(const TListers&) = delete;
    ~TListers();

    // The walk has reached a folder that listers may read (not through a link, not skipped), at
    // order in its walk. Gives its listing: the one a lister has read or begun, waiting
    // for that lister (and calling pause while it pauses); else the walk reads it itself, as far as
    // the bound allows, and queues its subfolders.
    void List(const std::wstring& folder, const TWalkOrder& order, TFolderListing& listing,
              const std::function<void()>& pause);
    // The walk is done with a listing it took or read: its entries no longer count against the bound.
    void Release(const TFolderListing& listing);
    // Ends the listers and closes every listing they hold. The walk calls it before its end.
    void Stop();

    // The most held ahead at once.
    std::size_t PeakFolders() const;
    std::size_t PeakEntries() const { return peakEntries_.load(); }

  private:
    enum class TState { Queued, Reading, Read };
    struct TAhead {
        TWalkOrder Order;
        TState State = TState::Queued;
        bool Paused = false; // its lister waits at the pause gate
        std::unique_ptr<TFolderListing> Listing;
    };

    void Work();
    // The listing a lister has read or begun; false when none had begun it.
    bool Take(const std::wstring& folder, TFolderListing& listing, const std::function<void()>& pause);
    bool Stopping() const { return stopping_.load() || control_.Stopping(); }
    void ReadInto(const std::wstring& folder, TFolderListing& listing, const std::function<void()>& pause);
    // Counts one more entry held, when the bound leaves room for it.
    bool Charge();
    void QueueSubfolders(const std::wstring& folder, const TWalkOrder& order, const TFolderListing& listing);

    // Who may touch what:
    // - mutex_ guards queue_, ahead_, held_, peakFolders_ and every TAhead's State and Paused;
    //   changed_ announces a change to any of them (and to entries_, the bound the listers wait on).
    // - A folder's listing belongs to the lister that set its State to Reading, which fills it
    //   without the lock; the walk moves it out only once State is Read, under the lock. The
    //   TAhead itself stays where it is meanwhile: an unordered_map moves no element when it grows,
    //   and only the walk's Take (after Read) and Stop (after the listers are joined) erase one.
    // - entries_ is atomic because the walk and the listers charge it for every entry they store
    //   without taking the lock; only a release, which may let a waiting lister go on, takes it.
    IListing& listing_;
    const std::size_t maxFolders_;
    const std::size_t maxEntries_;
    TListerControl control_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> entries_{0};
    std::atomic<std::size_t> peakEntries_{0};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable stopped_; // what a lister waits on while the machine has no processor to spare
    // Folders to read, in the walk's order: the listers work depth first, as the walk does. The
    // first is left to the walk, which reaches it next or has passed it: so the walk lists too,
    // rather than wait for a lister that took the one folder it needs.
    std::map<TWalkOrder, std::wstring> queue_;
    // Every folder queued, being read or read, that the walk has not reached yet.
    std::unordered_map<std::wstring, TAhead> ahead_;
    std::size_t held_ = 0; // of them, being read or read
    std::size_t peakFolders_ = 0;
    std::vector<std::thread> threads_;
};
