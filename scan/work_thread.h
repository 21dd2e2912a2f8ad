#pragma once
// The scan job: walks the folders below RootPath on its own thread and hands what it finds to the
// user-interface thread, where the ranking keeps the N freshest files or every file after a moment.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scan/date_time.h"
#include "scan/file_list.h"
#include "scan/filters.h"
#include "scan/listing.h"
#include "scan/local_time.h"
#include "scan/scan_request.h"
#include "scan/sinks.h"
#include "toolkit/format_settings.h"
#include "toolkit/handoff.h"
#include "toolkit/thread.h"

class TListers;
class TListingCursor;
struct TFolderListing;

class TWorkThread : public TThread {
  public:
    // Created suspended, with Files empty.
    TWorkThread();
    ~TWorkThread() override;

    // The one way in for a front end, before the first resume: the root made a full path, the mode,
    // N or the moment, the filters and the time that counts. False, with a message naming the
    // pattern, when a filter can never match; the job is then not to be started.
    bool TakeRequest(const TScanRequest& request, std::wstring& error);

    std::wstring RootPath; // ends with "\"
    bool Recursive = false;
    std::int32_t ByDate = 0; // non-zero: date mode
    std::int32_t Limit = 0;  // number mode: N
    TDateTime After = 0;     // date mode: the moment; number mode: the oldest time held
    std::wstring CurrentFolder;
    std::wstring CurrentFile;
    TDateTime CurrentTime = 0;
    std::int64_t CurrentUtc = 0; // CurrentTime as the file time it came from, in UTC ticks
    TDateTime Elapsed = 0; // the window's running-time clock; the job never touches it
    std::int32_t ErrorCode = 0;
    IStatusLine* StatusBarRef = nullptr;
    IResultsList* ListViewRef = nullptr;
    // Written by the walk alone; another thread reads them only through std::atomic_ref.
    std::int64_t FileCount = 0;
    std::int64_t NamesTaken = 0;     // files whose name the masks take (all, without masks)
    std::int64_t FoldersSkipped = 0; // folders the skip patterns left out
    // Runs on the user-interface thread after each batch of notifications has been applied.
    std::function<void()> BatchApplied;
    // Created by LogError on the first failure; the end notification takes it (std::move) and shows it.
    std::unique_ptr<IProcessingLog> LogsFormRef;
    // A front end without controls hears the scan here, beside or instead of the three above.
    IScanListener* Listener = nullptr;
    // Folders left out, names that count, and which time counts.
    TScanFilters Filters;
    TTimeKind TimeKind = TTimeKind::Modified;
    TFileList Files; // oldest first

    // Makes the processing log at the first failure; set by the window before the first resume.
    std::function<std::unique_ptr<IProcessingLog>()> CreateProcessingLog;
    // Where folders are read; the system's listing unless replaced before the first resume.
    std::unique_ptr<IListing> Listing;
    // Notifications travel to the user-interface thread in batches of at most this many, and not
    // later than BatchMilliseconds after the previous hand-off. The walk goes on while a batch is
    // applied; it waits only for the one before when the next is ready.
    std::size_t BatchSize = 256;
    unsigned BatchMilliseconds = 50;
    // Listers read folders ahead of the walk on threads of their own; with none, the walk lists
    // every folder itself. By default as many as ListersFor says for the root; not a setting: tests
    // and the benchmark change it before the first resume.
    static constexpr unsigned ListersByMachine = UINT32_MAX;
    unsigned ListerCount = ListersByMachine;
    // Listers read ahead only while this says yes. Empty: by machine as ReadAheadRuleFor says for
    // the root, else always.
    std::function<bool()> MayReadAhead;
    // What the listers may hold ahead of the walk. A folder with more entries than fit is read
    // ahead only as far as they fit; the walk reads the rest itself.
    std::size_t MaxFoldersAhead = 256;
    std::size_t MaxEntriesAhead = 262144;
    // The most the listers held at once, known after the walk.
    std::size_t PeakFoldersAhead = 0;
    std::size_t PeakEntriesAhead = 0;

    // Whether a file of this time enters the results while held files are held and the threshold
    // is after: fewer than Limit held, or newer than the threshold. With N = 0 no file does, rather
    // than each entering the list and leaving it again at once. The walk asks with the values of its
    // last hand-off, the ranking with Files and After as they are.
    bool Qualifies(std::size_t held, TDateTime after, TDateTime time) const {
        return (ByDate != 0 || Limit > 0) && (static_cast<std::int64_t>(held) < Limit || time > after);
    }
    // The ranking, on the user-interface thread.
    int FindIndex(TDateTime x) const;
    void AddFile();
    void AddDatedFile();
    void ShowFolder();
    void LogError();

  protected:
    void Execute() override;
    // Walks the folder whose path the walk holds; throughLink: the folder is a link; underLink: a
    // link lies on its way from the root.
    void ProcessFolder(bool throughLink = false, bool underLink = false);

  private:
    // Gives the folder's listing: read by a lister or the walk, or none, with the reason.
    void ListFolder(const std::wstring& folder, bool throughLink, bool underLink, TFolderListing& listing);
    // Walks a folder's entries, subfolders at once; false when the walk was asked to stop.
    bool WalkEntries(TListingCursor& entries, bool underLink);
    // Counts a file and hands it on when its name is taken and its time qualifies.
    void ConsiderFile(const std::wstring& folder, const wchar_t* name, const FILETIME& lastWrite,
                      const FILETIME& creation);
    // Halts holding nothing, everything found so far delivered, until resumed.
    void Pause();

    struct TNotification {
        enum class TKind { FolderEntered, FileQualifies, ListingFailed } Kind;
        std::wstring Path;
        TDateTime Time = 0;
        std::int32_t Code = 0;
        std::int64_t Utc = 0;
    };
    struct TOpenFolder {
        std::size_t PathLength; // its path is the walk's folder_ up to here
        bool IdentityRead = false;
        bool IdentityKnown = false;
        TFolderIdentity Identity;
    };

    void Notify(TNotification notification);
    // Sends what is pending once the batch before it has been applied; with drain, also waits for it.
    void HandOff(bool drain = false);
    void CollectBatch();
    void TrimBatch();
    void Apply(const TNotification& notification);
    bool LeadsBack(const std::wstring& folder);

    std::vector<TNotification> pending_;
    // The batch the user-interface thread is applying, and what it saw of Files and After when done.
    std::vector<TNotification> applying_;
    std::function<void()> applyBatch_;
    THandOffCall applyCall_;
    bool batchQueued_ = false;
    std::size_t appliedHeld_ = 0;
    TDateTime appliedAfter_ = 0;
    bool stoppedWhileApplying_ = false;
    // The walk's copy of them: older than the real values at most by the batch being applied, so
    // it lets through at most a few files too many, which the ranking then turns away.
    std::size_t walkHeld_ = 0;
    TDateTime walkAfter_ = 0;
    unsigned long long lastHandOff_ = 0;
    TLocalTimeConverter localTime_;
    std::vector<TOpenFolder> openFolders_;
    // The folder being walked, ending with "\": each level adds its name and takes it off again, so
    // a walk 16,000 folders deep holds one path rather than one for each level.
    std::wstring folder_;
    std::unique_ptr<TListers> listers_;
    // Where the walk stands, in the terms the listers order their work by.
    std::vector<std::uint32_t> walkOrder_;
};
