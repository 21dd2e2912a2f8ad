#pragma once
// The scan job: walks the folders below the root on its own thread and hands what it finds to the
// user-interface thread, where the ranking keeps the N freshest files (or every file after a
// moment passes) and one sink, the front end's, hears it all.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scan/filters.h"
#include "scan/listing.h"
#include "scan/local_time.h"
#include "scan/ranking.h"
#include "scan/scan_request.h"
#include "scan/sinks.h"
#include "scan/snapshot_entry.h"
#include "toolkit/handoff.h"
#include "toolkit/thread.h"

class TListers;
class TListingCursor;
struct TFolderListing;

// Hears the walk itself, on its thread, in the order it goes: every file whose name the masks take,
// whatever its time, and every folder that could not be listed. What is done here holds up the walk.
struct IWalkObserver {
    virtual ~IWalkObserver() = default;
    // folder: the full path ending with "\", as the rows begin. Times in UTC. identity: the file's
    // volume and ID where the listing gives an ID and the volume keeps it stable, else not known.
    virtual void FileSeen(const std::wstring& folder, const wchar_t* name, DWORD attributes,
                          const FILETIME& lastWrite, const FILETIME& creation, std::uint64_t size,
                          const TFileIdentity& identity) = 0;
    // The folder's listing failed, at once or part way: its files are not all seen.
    virtual void FolderUnread(const std::wstring& folder, std::int32_t code) = 0;
};

class TWorkThread : public TThread {
  public:
    // Created suspended.
    TWorkThread();
    ~TWorkThread() override;

    // The one way in for a front end, before the first resume: the root made a full path, the mode,
    // N or the moment, the filters and the time that counts. False, with a message naming the
    // pattern, when a filter can never match; the job is then not to be started.
    bool TakeRequest(const TScanRequest& request, std::wstring& error);
    // The request as taken: Root a full path ending with "\", Newest 0 in the date mode, AfterUtc the
    // instant files are compared with in the date mode (After, local, turned into one by the
    // system's rules for that date: a moment of the repeated hour is its first occurrence).
    const TScanRequest& Request() const { return request_; }
    // Where the scan reports, given before the first resume. Detach silences it.
    void ReportTo(IScanSink& sink) { sink_ = &sink; }
    // Given before the first resume, or never: unset, the walk pays one test a file for it. With
    // FilesAsRows false, files reach the observer alone and the sink gets no rows.
    IWalkObserver* Observer = nullptr;
    bool FilesAsRows = true;
    IScanSink* Sink() const { return sink_; }
    // What the walk has counted so far; any thread may ask.
    TFileCounts Counts() const;
    // The N freshest files so far, on the user-interface thread.
    const TRanking& Ranking() const { return ranking_; }

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

  protected:
    // Written by the walk alone; other threads read them through std::atomic_ref. Protected so that
    // a test can start them near 2^32.
    TFileCounts counts_;

    void Execute() override;
    // Tells the sink the end, then runs the end notification.
    void DoTerminate() override;
    // Walks the folder whose path the walk holds; throughLink: the folder is a link; underLink: a
    // link lies on its way from the root.
    void ProcessFolder(bool throughLink = false, bool underLink = false);

  private:
    // Gives the folder's listing: read by a lister or the walk, or none, with the reason.
    void ListFolder(const std::wstring& folder, bool throughLink, bool underLink, TFolderListing& listing);
    // Walks a folder's entries, subfolders at once; false when the walk was asked to stop.
    bool WalkEntries(TListingCursor& entries, bool underLink);
    // Counts a file and hands it on, with its size, when its name is taken and its time qualifies.
    void ConsiderFile(const std::wstring& folder, const wchar_t* name, DWORD attributes,
                      const FILETIME& lastWrite, const FILETIME& creation, std::uint64_t size,
                      std::uint64_t fileId);
    // Halts holding nothing, everything found so far delivered, until resumed.
    void Pause();
    // Whether a file of this instant is handed on, judged by what the walk last heard of the ranking.
    bool Wanted(std::int64_t utc) const {
        return request_.ByDate ? utc > afterUtc_ : ranking_.Qualifies(walkHeld_, walkAfter_, utc);
    }
    // The ranking, on the user-interface thread, with what it adds and removes collected for the sink.
    void AddFile(TFoundRow row);
    void AddDatedFile(TFoundRow row);
    // The sink, unless Detach cut it off. Set before the first resume, it is read by any thread.
    IScanSink* Listening() const { return Detached() ? nullptr : sink_; }
    // Hands the sink the rows collected so far.
    void ShowRows();
    void ShowFolder(const std::wstring& folder);
    void LogError(const std::wstring& folder, std::int32_t code);

    struct TNotification {
        // The code beside the kind, in what was padding: a file's size costs the batch nothing more.
        enum class TKind { FolderEntered, FileQualifies, ListingFailed } Kind;
        std::int32_t ErrorCode = 0;
        std::wstring Path;
        TDateTime Time = 0;
        std::int64_t Utc = 0;
        std::uint64_t Size = 0;
    };
    struct TOpenFolder {
        std::size_t PathLength; // its path is the walk's CurrentFolder up to here
        bool IdentityRead = false;
        bool IdentityKnown = false;
        TFolderIdentity Identity;
    };

    void Notify(TNotification notification);
    // Sends what is pending once the batch before it has been applied; with drain, also waits for it.
    void HandOff(bool drain = false);
    void CollectBatch();
    void TrimBatch();
    void Apply(TNotification& notification);
    bool LeadsBack(const std::wstring& folder);

    TScanRequest request_;
    std::int64_t afterUtc_ = 0; // request_.AfterUtc, read for every file in the date mode
    TScanFilters filters_;
    IScanSink* sink_ = nullptr;
    TRanking ranking_;
    TRowId lastRow_ = 0;
    std::vector<TFoundRow> added_;
    std::vector<TRowId> removed_;

    std::vector<TNotification> pending_;
    // The batch the user-interface thread is applying, and what it saw of the ranking when done.
    std::vector<TNotification> applying_;
    std::function<void()> applyBatch_;
    THandOffCall applyCall_;
    bool batchQueued_ = false;
    std::size_t appliedHeld_ = 0;
    std::int64_t appliedAfter_ = 0;
    bool stoppedWhileApplying_ = false;
    // The walk's copy of them: older than the real values at most by the batch being applied, so
    // it lets through at most a few files too many, which the ranking then turns away.
    std::size_t walkHeld_ = 0;
    std::int64_t walkAfter_ = 0;
    unsigned long long lastHandOff_ = 0;
    TLocalTimeConverter localTime_;
    std::vector<TOpenFolder> openFolders_;
    // The folder being walked, ending with "\": each level adds its name and takes it off again, so
    // a walk 16,000 folders deep holds one path rather than one for each level.
    std::wstring CurrentFolder;
    // The file being handed on and the time that counted for it, local.
    std::wstring CurrentFile;
    TDateTime CurrentTime = 0;
    // How the last listing ended, as the system said it.
    std::int32_t ErrorCode = 0;
    bool rootMissing_ = false;
    // The volume of the folder being walked, read for the observer only: at the root, and again
    // behind each link, which may lead to another volume.
    TVolumeIdentity volume_;
    std::int64_t startUtc_ = 0;
    std::unique_ptr<TListers> listers_;
    // Where the walk stands, in the terms the listers order their work by.
    std::vector<std::uint32_t> walkOrder_;
};
