#include "scan_harness.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "toolkit/handoff.h"

namespace {

TListingEntry Entry(const std::wstring& name, DWORD attributes, FILETIME time, std::uint64_t size = 0) {
    TListingEntry entry{};
    entry.dwFileAttributes = attributes;
    entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    entry.nFileSizeLow = static_cast<DWORD>(size);
    entry.ftLastWriteTime = time;
    entry.ftCreationTime = time;
    name.copy(entry.cFileName, MAX_PATH - 1);
    return entry;
}

} // namespace

void TRecorder::RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId> removed) {
    for (const TFoundRow& row : added) {
        if (!rows_.empty() && row.Id <= rows_.back().first) {
            throw std::logic_error("row identities out of order");
        }
        rows_.emplace_back(row.Id, row.Path);
        if (!Quiet) {
            Record(L"row " + row.Path + L" " + DateTimeText(row.Time, Settings));
        }
    }
    for (const TRowId id : removed) {
        const auto row =
            std::find_if(rows_.begin(), rows_.end(), [id](const auto& row) { return row.first == id; });
        if (row == rows_.end()) {
            throw std::logic_error("a row removed that was not added");
        }
        const std::wstring caption = row->second;
        rows_.erase(row);
        if (!Quiet) {
            Record(L"delete " + caption);
        }
    }
}

void TRecorder::ListingFailed(const std::wstring& line) {
    LogLines.push_back(line);
    Record(L"log " + line);
}

std::vector<std::wstring> TRecorder::Rows() const {
    std::vector<std::wstring> captions;
    for (const auto& row : rows_) {
        captions.push_back(row.second);
    }
    return captions;
}

void TRecorder::Record(const std::wstring& event) {
    Events.push_back(event);
    if (AfterEvent) {
        AfterEvent(event);
    }
}

TFakeListing::TFakeListing(std::wstring root) : root_(std::move(root)) {
    TFolder& folder = Folders[root_];
    folder.Entries.push_back(Entry(L".", FILE_ATTRIBUTE_DIRECTORY, FILETIME{}));
    folder.Entries.push_back(Entry(L"..", FILE_ATTRIBUTE_DIRECTORY, FILETIME{}));
}

void TFakeListing::AddFolder(const std::wstring& path) {
    if (Folders.count(path)) {
        return;
    }
    const size_t cut = path.find_last_of(L'\\', path.size() - 2);
    const std::wstring parent = path.substr(0, cut + 1);
    AddFolder(parent);
    Folders[parent].Entries.push_back(
        Entry(path.substr(cut + 1, path.size() - cut - 2), FILE_ATTRIBUTE_DIRECTORY, FILETIME{}));
    TFolder& folder = Folders[path];
    folder.Entries.push_back(Entry(L".", FILE_ATTRIBUTE_DIRECTORY, FILETIME{}));
    folder.Entries.push_back(Entry(L"..", FILE_ATTRIBUTE_DIRECTORY, FILETIME{}));
}

void TFakeListing::AddFile(const std::wstring& path, FILETIME time, DWORD attributes, std::uint64_t size) {
    const size_t cut = path.find_last_of(L'\\');
    const std::wstring folder = path.substr(0, cut + 1);
    AddFolder(folder);
    Folders[folder].Entries.push_back(Entry(path.substr(cut + 1), attributes, time, size));
}

// A call that succeeds leaves a stale code in error, as the system leaves a thread's last error:
// the walk must not report it.
TListingHandle TFakeListing::Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) {
    if (pattern.size() < 3 || pattern.substr(pattern.size() - 3) != L"*.*") {
        throw std::logic_error("unexpected listing pattern");
    }
    const auto found = Folders.find(pattern.substr(0, pattern.size() - 3));
    if (found == Folders.end()) {
        error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    if (found->second.ThrowOnOpen) {
        throw std::bad_alloc();
    }
    if (found->second.OpenError) {
        error = found->second.OpenError;
        return nullptr;
    }
    if (found->second.Entries.empty()) {
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    ++Opens;
    ++Served;
    entry = found->second.Entries[0];
    error = ERROR_ACCESS_DENIED;
    return new TCursor{&found->second, 0};
}

bool TFakeListing::Next(TListingHandle listing, TListingEntry& entry, DWORD& error) {
    auto* cursor = static_cast<TCursor*>(listing);
    ++cursor->Index;
    if (cursor->Index >= cursor->Folder->FailAfter) {
        error = cursor->Folder->FailCode;
        return false;
    }
    if (cursor->Index >= cursor->Folder->Entries.size()) {
        error = ERROR_NO_MORE_FILES;
        return false;
    }
    ++Served;
    entry = cursor->Folder->Entries[cursor->Index];
    error = ERROR_ACCESS_DENIED;
    return true;
}

void TFakeListing::Close(TListingHandle listing) {
    ++Closes;
    delete static_cast<TCursor*>(listing);
}

TListingHandle TWatchedListing::Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) {
    const std::wstring folder = pattern.substr(0, pattern.size() - 3);
    bool byWalk = false;
    {
        std::lock_guard lock(mutex_);
        if (!walkThread_) {
            walkThread_ = GetCurrentThreadId();
        }
        byWalk = walkThread_ == GetCurrentThreadId();
        if (!byWalk) {
            openedAhead_.push_back(folder);
            ++OpenedAhead;
        }
    }
    if (BeforeOpen) {
        BeforeOpen(folder, byWalk);
    }
    return inner_->Open(pattern, entry, error);
}

std::vector<std::wstring> TWatchedListing::FoldersOpenedAhead() const {
    std::lock_guard lock(mutex_);
    return openedAhead_;
}

FILETIME UtcFileTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    const SYSTEMTIME fields = CalendarFields(year, month, day, hour, minute, second, ms);
    FILETIME time{};
    if (!SystemTimeToFileTime(&fields, &time)) {
        throw std::invalid_argument("bad calendar fields");
    }
    return time;
}

TDateTime LocalValue(const FILETIME& utc) {
    SYSTEMTIME universal, local;
    TDateTime value = 0;
    if (!FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local) || !TryEncodeDateTime(local, value)) {
        throw std::invalid_argument("time cannot be converted");
    }
    return value;
}

std::int64_t UtcTicks(TDateTime local) {
    const SYSTEMTIME fields = DecodeDateTime(local);
    SYSTEMTIME universal;
    FILETIME utc;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &fields, &universal) ||
        !SystemTimeToFileTime(&universal, &utc)) {
        throw std::invalid_argument("time cannot be converted");
    }
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(utc.dwHighDateTime) << 32) |
                                     utc.dwLowDateTime);
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

TTempTree::TTempTree() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    // Wine reuses small process ids, so the tick count keeps names of earlier runs apart.
    root_ = std::wstring(temp) + L"qnwk-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter) + L"\\";
    if (!CreateDirectoryW(root_.c_str(), nullptr)) {
        throw std::runtime_error("cannot create the temporary tree");
    }
}

TTempTree::~TTempTree() {
    // rm removes links without following them, which Wine's own calls cannot do for folder links.
    std::string command = "/bin/rm -rf \"" + UnixPath(L"") + "\"";
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

std::wstring TTempTree::Folder(const std::wstring& relative) {
    const std::wstring path = root_ + relative;
    CreateDirectoryW(SystemPath(path).c_str(), nullptr);
    return path + L"\\";
}

std::wstring TTempTree::File(const std::wstring& relative, FILETIME time, DWORD attributes,
                             std::uint64_t size) {
    const std::wstring path = root_ + relative;
    HANDLE file = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot create a test file");
    }
    // Extended, not written: sparse under Wine, so a file past 4 GB costs nothing.
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (size && (!SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file))) {
        CloseHandle(file);
        throw std::runtime_error("cannot size a test file");
    }
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    if (attributes) {
        SetFileAttributesW(SystemPath(path).c_str(), attributes);
    }
    return path;
}

std::string TTempTree::UnixPath(const std::wstring& relative) const {
    using TUnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<TUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!unixName) {
        throw std::runtime_error("not running under Wine");
    }
    char* name = unixName((root_ + relative).c_str());
    if (!name) {
        throw std::runtime_error("no Unix name");
    }
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

void TTempTree::Link(const std::wstring& relative, const std::string& target) {
    // Wine's CreateSymbolicLinkW creates nothing, so ln makes the link. A Unix process started from
    // Wine cannot be waited for: wait until the link shows.
    std::string command = "/bin/ln -s \"" + target + "\" \"" + UnixPath(relative) + "\"";
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        throw std::runtime_error("cannot run ln");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::wstring path = root_ + relative;
    for (int i = 0; i < 500 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(10);
    }
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        throw std::runtime_error("the link did not appear");
    }
}

THandOffScope::THandOffScope() : own_(!HandOffWindow() && CreateHandOffWindow()) {}
THandOffScope::~THandOffScope() {
    if (own_) {
        DestroyHandOffWindow();
    }
}

TScanRun::TScanRun(std::unique_ptr<TWorkThread> job) : Job(std::move(job)) {
    Job->ReportTo(Recorder);
    Job->OnTerminate = [this](TThread&) { ++Ended; };
}

bool TScanRun::Ask(const std::wstring& root, bool byDate, int limit, TDateTime after, bool recursive) {
    TScanRequest request;
    request.RootPath = root;
    request.Recursive = recursive;
    request.ByDate = byDate;
    request.Newest = limit;
    request.After = after;
    std::wstring error;
    return Job->TakeRequest(request, error);
}

TScanRun::~TScanRun() {
    if (Started && Ended == 0) {
        Job->Terminate();
        Job->Resume();
        if (!PumpUntil([this] { return Ended > 0; }, 5000)) {
            (void)Job.release();
        }
    }
}

void TScanRun::Start() {
    Started = true;
    Job->Resume();
}

bool TScanRun::WaitForEnd() {
    if (!PumpUntil([this] { return Ended > 0; })) {
        return false;
    }
    Job->WaitFor();
    return true;
}

bool TScanRun::Run() {
    Start();
    return WaitForEnd();
}
