#pragma once
// One scan as a front end asks for it: the window and the command line both fill this in and hand
// it to the job, which checks and normalises it in one place (TWorkThread::TakeRequest).
#include <cstdint>
#include <optional>
#include <string>

#include "scan/date_time.h"

// Which of a file's times counts: its last change, its creation (a copied or unpacked file gets a
// new one and keeps its old change time), or the later of the two.
enum class TTimeKind : std::uint8_t { Modified, Created, Either };

// The root folder as the job gets it: the text without the blanks and quotes around it, "/" read as
// "\", made a full path (GetFullPathNameW) so that every row, the status bar and the log name one full
// path, and ending with one backslash. A drive alone ("C:") is its root. A path given with \\?\ is
// taken exactly as it stands, blanks and dots at its end included, and shown in its ordinary form
// (C:\..., \\server\share\...) where it has one; a volume's path (\\?\Volume{...}\, \\?\GLOBALROOT\...)
// keeps its prefix. A path given with \\.\ is resolved, then given the prefix \\?\.
std::wstring RootPathFromText(const std::wstring& text);
// Why a root folder (as RootPathFromText gives it) cannot be scanned at all: "does not exist" or
// "is a file, not a folder"; empty otherwise. Any other failure to read it is the walk's to log.
std::wstring RootFault(const std::wstring& root);

struct TScanRequest {
    std::wstring RootPath; // as typed or given: blanks around it, "/" or a relative path are fine
    bool Recursive = true;
    bool ByDate = false;
    std::int32_t Newest = 0; // number mode: N
    TDateTime After = 0;     // date mode: the moment, local time
    // ";"-separated patterns with * and ?. A folder pattern without "\" names a folder anywhere in
    // the tree, one with "\" a folder's full path; a name mask names files. Empty: none.
    std::wstring SkipFolders;
    std::wstring NameMasks;
    TTimeKind Time = TTimeKind::Modified;
    // Date mode: the moment as an instant (UTC ticks) where the front end has one, as a duration
    // counted back from now gives it; else the job makes one of After. Files compare by instant.
    std::optional<std::int64_t> AfterUtc;
};
