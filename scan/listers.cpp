#include "scan/listers.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cwchar>
#include <utility>

#include "scan/local_time.h"
#include "toolkit/scope_exit.h"

void TFolderListing::Add(const TListingEntry& entry) {
    const std::size_t length = wcsnlen(entry.cFileName, MAX_PATH - 1);
    Entries.push_back({entry.dwFileAttributes, entry.ftLastWriteTime, entry.ftCreationTime,
                       static_cast<std::uint32_t>(Names.size()), EntrySize(entry), entry.FileId});
    Names.append(entry.cFileName, length).push_back(L'\0');
}

void OpenToRead(IListing& listing, const std::wstring& pattern, TFolderListing& folder) {
    folder.Rest = listing.Open(pattern, folder.Next, folder.Error);
}

void CloseRest(IListing& listing, TFolderListing& folder) {
    if (folder.Rest) {
        listing.Close(folder.Rest);
        folder.Rest = nullptr;
    }
}

TListingCursor::TListingCursor(IListing& listing, TFolderListing& folder)
    : listing_(listing), folder_(folder) {
    valid_ = !folder_.Entries.empty() || folder_.Rest;
    error_ = folder_.Error;
    if (folder_.Rest) {
        folder_.Next.cFileName[MAX_PATH - 1] = L'\0';
    }
}

TListingCursor::~TListingCursor() {
    CloseRest(listing_, folder_);
}

const wchar_t* TListingCursor::Name() const {
    return Stored() ? folder_.Names.data() + folder_.Entries[index_].Name : folder_.Next.cFileName;
}

DWORD TListingCursor::Attributes() const {
    return Stored() ? folder_.Entries[index_].Attributes : folder_.Next.dwFileAttributes;
}

const FILETIME& TListingCursor::LastWrite() const {
    return Stored() ? folder_.Entries[index_].LastWrite : folder_.Next.ftLastWriteTime;
}

const FILETIME& TListingCursor::Creation() const {
    return Stored() ? folder_.Entries[index_].Creation : folder_.Next.ftCreationTime;
}

std::uint64_t TListingCursor::Size() const {
    return Stored() ? folder_.Entries[index_].Size : EntrySize(folder_.Next);
}

std::uint64_t TListingCursor::FileId() const {
    return Stored() ? folder_.Entries[index_].FileId : folder_.Next.FileId;
}

void TListingCursor::Advance() {
    const bool stored = Stored();
    ++index_;
    if (stored) {
        valid_ = Stored() || folder_.Rest;
    } else if (listing_.Next(folder_.Rest, folder_.Next, error_)) {
        folder_.Next.cFileName[MAX_PATH - 1] = L'\0';
    } else {
        valid_ = false;
    }
}

unsigned ListersFor(const std::wstring& root) {
    if (OnShare(root)) {
        return 8;
    }
    DWORD_PTR process = 0, system = 0;
    unsigned processors = 1;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        processors = static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
    }
    return std::clamp(processors - 1, 1u, 4u);
}

bool ProcessorToSpare() {
    struct TMeasure {
        std::uint64_t At = 0;           // milliseconds
        std::int64_t Idle = 0, Own = 0; // 100-nanosecond units, the idle time summed over processors
        // A lister measures before it first reads: on a busy machine its first tenth of a second
        // would cost a small walk more than it gains.
        bool Spare = false;
    };
    static thread_local TMeasure last;
    const std::uint64_t now = GetTickCount64();
    if (last.At != 0 && now - last.At < 100) {
        return last.Spare;
    }
    FILETIME idle, kernel, user, created, exited, ownKernel, ownUser;
    if (!GetSystemTimes(&idle, &kernel, &user) ||
        !GetThreadTimes(GetCurrentThread(), &created, &exited, &ownKernel, &ownUser)) {
        return true;
    }
    TMeasure current{now, FileTimeTicks(idle), FileTimeTicks(ownKernel) + FileTimeTicks(ownUser), false};
    if (last.At != 0) {
        const std::int64_t spare = (current.Idle - last.Idle) + (current.Own - last.Own);
        current.Spare = spare * 2 >= static_cast<std::int64_t>(now - last.At) * 10000;
    }
    last = current;
    return last.Spare;
}

std::function<bool()> ReadAheadRuleFor(const std::wstring& root) {
    return OnShare(root) ? nullptr : std::function<bool()>(ProcessorToSpare);
}

TListers::TListers(IListing& listing, unsigned count, std::size_t maxFolders, std::size_t maxEntries,
                   TListerControl control)
    : listing_(listing), maxFolders_(maxFolders), maxEntries_(maxEntries), control_(std::move(control)) {
    try {
        for (unsigned i = 0; i < count; ++i) {
            threads_.emplace_back(&TListers::Work, this);
        }
    } catch (...) {
        Stop();
        throw;
    }
}

TListers::~TListers() {
    Stop();
}

void TListers::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_.store(true);
        changed_.notify_all();
        stopped_.notify_all();
    }
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
    for (auto& [folder, ahead] : ahead_) {
        if (ahead.Listing) {
            CloseRest(listing_, *ahead.Listing);
        }
    }
    ahead_.clear();
    queue_.clear();
}

std::size_t TListers::PeakFolders() const {
    std::lock_guard lock(mutex_);
    return peakFolders_;
}

void TListers::Work() {
    // Reading ahead is the one thing here that can wait: the window's thread comes first.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] {
            return stopping_.load() ||
                   (queue_.size() > 1 && held_ < maxFolders_ && entries_.load() < maxEntries_);
        });
        if (Stopping()) {
            return;
        }
        if (control_.Pausing()) {
            lock.unlock();
            control_.WaitWhilePaused();
            lock.lock();
            continue;
        }
        if (control_.MayReadAhead && !control_.MayReadAhead()) {
            // Not woken by the walk's every change: a woken lister would take the processor it gave back.
            stopped_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopping_.load(); });
            continue;
        }
        const auto next = std::next(queue_.begin());
        const std::wstring folder = std::move(next->second);
        queue_.erase(next);
        std::unique_ptr<TFolderListing> listing;
        try {
            listing = std::make_unique<TFolderListing>();
        } catch (const std::bad_alloc&) {
            // No room to read ahead: the walk lists the folder itself when it reaches it.
            ahead_.erase(folder);
            continue;
        }
        // Used after the lock is released: this lister owns it while Reading (see listers.h).
        TAhead& ahead = ahead_.at(folder);
        ahead.State = TState::Reading;
        ahead.Listing = std::move(listing);
        peakFolders_ = std::max(peakFolders_, ++held_);
        lock.unlock();
        // Tells the walk, should it wait for this folder, to pause with the listers.
        const auto pause = [this, &ahead] {
            {
                std::lock_guard pausing(mutex_);
                ahead.Paused = true;
                changed_.notify_all();
            }
            control_.WaitWhilePaused();
            std::lock_guard resumed(mutex_);
            ahead.Paused = false;
        };
        try {
            ReadInto(folder, *ahead.Listing, pause);
            lock.lock();
            QueueSubfolders(folder, ahead.Order, *ahead.Listing);
        } catch (...) {
            if (!lock.owns_lock()) {
                lock.lock();
            }
            ahead.Listing->Failure = std::current_exception();
        }
        ahead.State = TState::Read;
        changed_.notify_all();
    }
}

bool TListers::Take(const std::wstring& folder, TFolderListing& listing, const std::function<void()>& pause) {
    std::unique_lock lock(mutex_);
    const auto found = ahead_.find(folder);
    if (found == ahead_.end()) {
        return false;
    }
    TAhead& ahead = found->second;
    if (ahead.State == TState::Queued) {
        queue_.erase(ahead.Order);
        ahead_.erase(found);
        return false;
    }
    while (ahead.State == TState::Reading) {
        if (ahead.Paused && control_.Pausing() && !Stopping()) {
            lock.unlock();
            pause();
            lock.lock();
        } else {
            changed_.wait(lock);
        }
    }
    listing = std::move(*ahead.Listing);
    ahead_.erase(found);
    --held_;
    changed_.notify_all();
    return true;
}

void TListers::List(const std::wstring& folder, const TWalkOrder& order, TFolderListing& listing,
                    const std::function<void()>& pause) {
    if (Take(folder, listing, pause)) {
        return;
    }
    ReadInto(folder, listing, pause);
    std::lock_guard lock(mutex_);
    QueueSubfolders(folder, order, listing);
    changed_.notify_all();
}

void TListers::Release(const TFolderListing& listing) {
    if (listing.Entries.empty()) {
        return;
    }
    std::lock_guard lock(mutex_);
    entries_.fetch_sub(listing.Entries.size());
    changed_.notify_all();
}

void TListers::ReadInto(const std::wstring& folder, TFolderListing& listing,
                        const std::function<void()>& pause) {
    TListingEntry entry;
    TListingHandle handle = listing_.Open(folder + L"*.*", entry, listing.Error);
    if (!handle) {
        return;
    }
    // Closes the listing however reading ends, unless it is handed on open.
    const TScopeExit close([this, &handle] {
        if (handle) {
            listing_.Close(handle);
        }
    });
    for (;;) {
        if (!Charge()) {
            // Past the bound: whoever walks the folder reads the rest.
            listing.Next = entry;
            listing.Rest = std::exchange(handle, nullptr);
            return;
        }
        listing.Add(entry);
        if (!Stopping() && control_.Pausing()) {
            pause();
        }
        // A listing left because of a stop has not failed.
        if (Stopping()) {
            listing.Error = ERROR_SUCCESS;
            return;
        }
        if (!listing_.Next(handle, entry, listing.Error)) {
            return;
        }
    }
}

bool TListers::Charge() {
    std::size_t held = entries_.load();
    do {
        if (held >= maxEntries_) {
            return false;
        }
    } while (!entries_.compare_exchange_weak(held, held + 1));
    std::size_t peak = peakEntries_.load();
    while (held + 1 > peak && !peakEntries_.compare_exchange_weak(peak, held + 1)) {
    }
    return true;
}

// Links are never queued: the walk lists them itself after its loop check. Nor are folders the scan
// skips.
void TListers::QueueSubfolders(const std::wstring& folder, const TWalkOrder& order,
                               const TFolderListing& listing) {
    static const TScanFilters all;
    const TScanFilters& filters = control_.Filters ? *control_.Filters : all;
    TWalkOrder position = order;
    position.push_back(0);
    for (const TListedEntry& entry : listing.Entries) {
        position.back() = static_cast<std::uint32_t>(&entry - listing.Entries.data());
        if ((entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            continue;
        }
        const wchar_t* name = listing.Names.data() + entry.Name;
        std::wstring path = folder + name + L"\\";
        if (filters.Entry(entry.Attributes, name, path) != TScanFilters::TEntry::Folder) {
            continue;
        }
        const auto [added, inserted] = ahead_.try_emplace(path);
        if (inserted) {
            added->second.Order = position;
            queue_.emplace(position, std::move(path));
        }
    }
}
