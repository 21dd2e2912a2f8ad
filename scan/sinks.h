#pragma once
// What the scan job reports to: the status line, the results list and the processing log.
// All of them are called on the user-interface thread only.
#include "scan/date_time.h"
#include <cstdint>
#include <memory>
#include <string>

struct IStatusLine {
    virtual ~IStatusLine() = default;
    virtual void SetText(const std::wstring& text) = 0;
};

using TRowId = std::uint64_t;

struct IResultsList {
    virtual ~IResultsList() = default;
    // Appends a row: the file's path as its caption and its exact time, whose date-time text is its
    // one sub-item, written whenever the row is shown or copied. Gives back the row's identity.
    virtual TRowId AddRow(const std::wstring& caption, TDateTime time) = 0;
    // The row's current position, or -1 when the list does not hold it.
    virtual int IndexOfRow(TRowId row) const = 0;
    virtual void DeleteRow(int index) = 0;
    // Removes every row in one update.
    virtual void Clear() = 0;
};

struct IProcessingLog {
    virtual ~IProcessingLog() = default;
    virtual void AppendLine(const std::wstring& line) = 0;
};

// What a front end without controls needs of a scan: the folder entered, each file of the date
// mode as it qualifies (the number mode's files are the ranking's when the scan ends), and the log
// line of each folder that could not be listed.
struct IScanListener {
    virtual ~IScanListener() = default;
    virtual void FolderEntered(const std::wstring& folder) = 0;
    virtual void FileDated(const std::wstring& path, TDateTime time, std::int64_t utcTicks) = 0;
    virtual void ListingFailed(const std::wstring& line) = 0;
};
