#pragma once
// What a scan tells the front end that asked for it, the window and the command line alike. Every
// call comes on the user-interface thread, in the order the walk found things.
#include <cstdint>
#include <span>
#include <string>

#include "scan/date_time.h"

using TRowId = std::uint64_t;

// A file that became a row. The scan numbers its rows from 1 in the order it adds them.
struct TFoundRow {
    TRowId Id = 0;
    std::wstring Path;
    TDateTime Time = 0;
    std::int64_t Utc = 0;   // Time as the file time it came from, in UTC ticks
    std::uint64_t Size = 0; // in bytes
};

// What the walk counted, while it runs and at its end.
struct TFileCounts {
    std::int64_t FileCount = 0;      // every file seen
    std::int64_t NamesTaken = 0;     // of them, those whose name the masks take (all, without masks)
    std::int64_t FoldersSkipped = 0; // folders the skip patterns left out
};

enum class TScanOutcome { Done, Stopped, Failed };

struct TScanEnd {
    TScanOutcome Outcome = TScanOutcome::Done;
    std::wstring Failure; // why a failed scan ended, in the words any other failure gets
    TFileCounts Counts;
    bool RootMissing = false;  // the root folder could not be listed because it is not there
    std::int64_t StartUtc = 0; // when the walk began, in UTC ticks
};

struct IScanSink {
    virtual ~IScanSink() = default;
    virtual void FolderEntered(const std::wstring& folder) = 0;
    // The rows to add, in the order found, then the rows that newer files pushed out of the N
    // freshest: rows added before or in this same call.
    virtual void RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId> removed) = 0;
    // The processing log's line for a folder that could not be listed.
    virtual void ListingFailed(const std::wstring& line) = 0;
    // The last call: the scan's thread has ended.
    virtual void Ended(const TScanEnd& end) = 0;
};
