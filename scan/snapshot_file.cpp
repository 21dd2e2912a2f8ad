#include "scan/snapshot_file.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>
#include <shlobj.h>
#include <utility>

#include "scan/file_lines.h"
#include "scan/last_scans.h"
#include "scan/local_time.h"
#include "scan/sys_error.h"
#include "toolkit/text.h"

// The file: the magic bytes and the format version; the entries; the end tag; the scan; then a
// trailer of fixed fields: where the scan begins, the entry count, the file's length, the end
// magic, and the checksum of everything before it. Numbers are LEB128 varints, signed ones zigzag;
// names are UTF-8 with lone surrogates kept as their three bytes.
//
// An entry is a tag byte of flags, its name as the bytes it shares with the previous name in its
// folder and the rest, its size, its write time as the difference from the previous entry's, and
// what the flags do not say is as expected. A folder record names the folder the entries after it
// are in, as the bytes it shares with the previous folder and the rest: each folder is written
// once as the walk gives its files together.
namespace {

constexpr char Magic[8] = {'\x89', 'Q', 'S', 'N', 'A', 'P', '\r', '\n'};
constexpr char EndMagic[8] = {'Q', 'S', 'N', 'A', 'P', 'E', 'N', 'D'};
constexpr std::uint32_t Version = 1;
constexpr std::size_t HeaderBytes = 12, TrailerBytes = 40;
// The fewest bytes a file's entry takes: tag, shared, length, size, time.
constexpr std::size_t LeastEntryBytes = 5;

enum : unsigned char {
    SameAttributes = 0x01, // as the previous entry's
    CreatedWhenWritten = 0x02,
    NoIdentity = 0x04,
    SameVolume = 0x08, // as the previous identity's
    NoHighId = 0x10,
    EntryFlags = 0x1F,
    FolderTag = 0x40,
    EndTag = 0x41,
};

constexpr std::uint64_t ChecksumStart = 14695981039346656037ull;

// Eight bytes a step; each step is one-to-one in the state, so any one changed word changes the
// result, and the shift carries high bits down so that changes in two words do not cancel.
// Every part but the last holds whole words.
std::uint64_t ContinueChecksum(std::uint64_t h, std::string_view bytes) {
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        h = (h ^ word) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    for (; i < bytes.size(); ++i) {
        h = (h ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3ull;
    }
    return h;
}

std::uint64_t Zigzag(std::uint64_t difference) {
    return (difference << 1) ^ static_cast<std::uint64_t>(static_cast<std::int64_t>(difference) >> 63);
}

std::uint64_t Unzigzag(std::uint64_t value) {
    return (value >> 1) ^ (0 - (value & 1));
}

void PutVarint(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out += static_cast<char>(value | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

void PutFixed(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>(value >> (8 * i));
    }
}

std::uint64_t Fixed(std::string_view bytes, std::size_t at, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

void PutString(std::string& out, std::wstring_view text, std::string& scratch) {
    scratch.clear();
    AppendUtf8(text, scratch, true);
    PutVarint(out, scratch.size());
    out += scratch;
}

std::size_t Shared(std::string_view a, std::string_view b) {
    return std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first - a.begin();
}

// Bytes read from the front; every length is held against what is left, and a read past the end
// only marks the whole as bad.
struct TReader {
    std::string_view Bytes;
    bool Ok = true;

    unsigned char Byte() {
        if (Bytes.empty()) {
            Ok = false;
            return 0;
        }
        const unsigned char c = static_cast<unsigned char>(Bytes[0]);
        Bytes.remove_prefix(1);
        return c;
    }
    std::uint64_t Varint() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64 && Ok; shift += 7) {
            const unsigned char c = Byte();
            if (shift == 63 && c > 1) {
                break;
            }
            value |= static_cast<std::uint64_t>(c & 0x7F) << shift;
            if (c < 0x80) {
                return value;
            }
        }
        Ok = false;
        return 0;
    }
    std::string_view Take(std::uint64_t count) {
        if (count > Bytes.size()) {
            Ok = false;
            return {};
        }
        const std::string_view taken = Bytes.substr(0, static_cast<std::size_t>(count));
        Bytes.remove_prefix(taken.size());
        return taken;
    }
    std::wstring String() { return Wide(Take(Varint())); }
    // The previous bytes' shared start, then the rest.
    void Shared(std::string& previous) {
        const std::uint64_t shared = Varint();
        if (shared > previous.size()) {
            Ok = false;
            return;
        }
        previous.resize(static_cast<std::size_t>(shared));
        previous += Take(Varint());
    }
};

bool ReadScan(TReader in, TSnapshotScan& scan) {
    scan.Root = in.String();
    const unsigned char recursive = in.Byte();
    scan.Recursive = recursive == 1;
    scan.SkipFolders = in.String();
    scan.NameMasks = in.String();
    const std::uint64_t timeKind = in.Varint();
    scan.TimeKind = static_cast<std::uint32_t>(timeKind);
    scan.StartUtc = static_cast<std::int64_t>(Unzigzag(in.Varint()));
    scan.EndUtc = static_cast<std::int64_t>(Unzigzag(in.Varint()));
    const std::uint64_t unread = in.Varint();
    // Each takes a byte at least.
    if (!in.Ok || unread > in.Bytes.size() || recursive > 1 || timeKind > UINT32_MAX) {
        return false;
    }
    scan.UnreadFolders.reserve(static_cast<std::size_t>(unread));
    for (std::uint64_t i = 0; i < unread && in.Ok; ++i) {
        scan.UnreadFolders.push_back(in.String());
    }
    return in.Ok && in.Bytes.empty();
}

bool ReadEntries(TReader in, std::uint64_t count, const TEntryTaker& take) {
    std::string folder, name, path;
    std::uint64_t lastWrite = 0, lastLow = 0, lastVolume = 0, lastAttributes = 0, taken = 0;
    TSnapshotEntry entry;
    while (in.Ok) {
        const unsigned char tag = in.Byte();
        if (tag == EndTag) {
            return in.Ok && in.Bytes.empty() && taken == count;
        }
        if (tag == FolderTag) {
            in.Shared(folder);
            name.clear();
            continue;
        }
        if ((tag & ~EntryFlags) != 0 || taken == count) {
            return false;
        }
        in.Shared(name);
        path.assign(folder).append(name);
        entry.Path.clear();
        AppendWide(path, entry.Path);
        entry.Size = in.Varint();
        lastWrite += Unzigzag(in.Varint());
        entry.LastWriteUtc = static_cast<std::int64_t>(lastWrite);
        entry.CreationUtc = static_cast<std::int64_t>(
            (tag & CreatedWhenWritten) ? lastWrite : lastWrite + Unzigzag(in.Varint()));
        if (!(tag & SameAttributes)) {
            lastAttributes = in.Varint();
        }
        entry.Attributes = static_cast<std::uint32_t>(lastAttributes);
        entry.Identity = {};
        if (!(tag & NoIdentity)) {
            if (!(tag & SameVolume)) {
                lastVolume = in.Varint();
            }
            lastLow += Unzigzag(in.Varint());
            entry.Identity = {lastVolume, lastLow, (tag & NoHighId) ? 0 : in.Varint()};
        }
        if (!in.Ok || lastAttributes > UINT32_MAX) {
            return false;
        }
        take(entry);
        ++taken;
    }
    return false;
}

std::wstring Sentence(const std::wstring& path, const wchar_t* what) {
    return L"The snapshot " + path + L" " + what + L" and is not used.";
}

std::wstring SystemReason(DWORD code) {
    return std::wstring(TrimControls(SysErrorText(static_cast<int>(code)), TTrim::End)) + L" (" +
           std::to_wstring(code) + L")";
}

TSnapshotRead Unusable(TSnapshotState state, std::wstring problem) {
    TSnapshotRead read;
    read.State = state;
    read.Problem = std::move(problem);
    return read;
}

bool EndsWith(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() &&
           CompareStringOrdinal(text.data() + text.size() - end.size(), static_cast<int>(end.size()),
                                end.data(), static_cast<int>(end.size()), TRUE) == CSTR_EQUAL;
}

std::wstring& FolderForTests() {
    static std::wstring folder;
    return folder;
}

} // namespace

std::uint64_t SnapshotChecksum(std::string_view bytes) {
    return ContinueChecksum(ChecksumStart, bytes);
}

TSnapshotWriter::TSnapshotWriter(std::wstring path, TWholeFileFault fault, std::size_t blockBytes)
    : path_(std::move(path)), file_(std::make_unique<TWholeFile>(path_, std::move(fault))),
      blockBytes_(std::max<std::size_t>(blockBytes, 8)), checksum_(ChecksumStart) {
    error_ = file_->Error();
    buffer_.reserve(blockBytes_ + 4096);
    Put({Magic, sizeof Magic});
    PutFixed(buffer_, Version, 4);
}

TSnapshotWriter::~TSnapshotWriter() {
    Abandon();
}

void TSnapshotWriter::Add(const TSnapshotEntry& entry) {
    if (error_ != 0 || !file_) {
        return;
    }
    const std::wstring_view path = entry.Path;
    const std::size_t slash = path.find_last_of(L'\\');
    const std::size_t folderLength = slash == path.npos ? 0 : slash + 1;
    if (path.substr(0, folderLength) != folderWide_) {
        folderWide_.assign(path.substr(0, folderLength));
        scratch_.clear();
        AppendUtf8(folderWide_, scratch_, true);
        const std::size_t shared = Shared(folder_, scratch_);
        buffer_ += static_cast<char>(FolderTag);
        PutVarint(buffer_, shared);
        PutVarint(buffer_, scratch_.size() - shared);
        Put(std::string_view(scratch_).substr(shared));
        folder_.swap(scratch_);
        name_.clear();
    }
    scratch_.clear();
    AppendUtf8(path.substr(folderLength), scratch_, true);
    const TFileIdentity& id = entry.Identity;
    unsigned char tag = 0;
    tag |= entry.Attributes == lastAttributes_ ? SameAttributes : 0;
    tag |= entry.CreationUtc == entry.LastWriteUtc ? CreatedWhenWritten : 0;
    tag |= !id.Known() ? NoIdentity : 0;
    tag |= id.VolumeSerial == lastVolume_ ? SameVolume : 0;
    tag |= id.High == 0 ? NoHighId : 0;
    buffer_ += static_cast<char>(tag);
    const std::size_t shared = Shared(name_, scratch_);
    PutVarint(buffer_, shared);
    PutVarint(buffer_, scratch_.size() - shared);
    Put(std::string_view(scratch_).substr(shared));
    name_.swap(scratch_);
    PutVarint(buffer_, entry.Size);
    const std::uint64_t written = static_cast<std::uint64_t>(entry.LastWriteUtc);
    PutVarint(buffer_, Zigzag(written - lastWrite_));
    lastWrite_ = written;
    if (!(tag & CreatedWhenWritten)) {
        PutVarint(buffer_, Zigzag(static_cast<std::uint64_t>(entry.CreationUtc) - written));
    }
    if (!(tag & SameAttributes)) {
        PutVarint(buffer_, entry.Attributes);
        lastAttributes_ = entry.Attributes;
    }
    if (!(tag & NoIdentity)) {
        if (!(tag & SameVolume)) {
            PutVarint(buffer_, id.VolumeSerial);
            lastVolume_ = id.VolumeSerial;
        }
        PutVarint(buffer_, Zigzag(id.Low - lastLow_));
        lastLow_ = id.Low;
        if (!(tag & NoHighId)) {
            PutVarint(buffer_, id.High);
        }
    }
    ++count_;
    if (buffer_.size() >= blockBytes_) {
        WriteBlocks(false);
    }
}

void TSnapshotWriter::WriteBlocks(bool all) {
    // Whole words but at the end, as the checksum takes them.
    const std::size_t count = all ? buffer_.size() : buffer_.size() & ~std::size_t{7};
    const std::string_view block(buffer_.data(), count);
    checksum_ = ContinueChecksum(checksum_, block);
    if (!file_->Write(block)) {
        error_ = file_->Error();
    }
    written_ += count;
    buffer_.erase(0, count);
}

bool TSnapshotWriter::Finish(const TSnapshotScan& scan) {
    if (!file_) {
        return false;
    }
    if (error_ == 0) {
        buffer_ += static_cast<char>(EndTag);
        const std::uint64_t scanAt = written_ + buffer_.size();
        PutString(buffer_, scan.Root, scratch_);
        buffer_ += static_cast<char>(scan.Recursive ? 1 : 0);
        PutString(buffer_, scan.SkipFolders, scratch_);
        PutString(buffer_, scan.NameMasks, scratch_);
        PutVarint(buffer_, scan.TimeKind);
        PutVarint(buffer_, Zigzag(static_cast<std::uint64_t>(scan.StartUtc)));
        PutVarint(buffer_, Zigzag(static_cast<std::uint64_t>(scan.EndUtc)));
        PutVarint(buffer_, scan.UnreadFolders.size());
        for (const std::wstring& folder : scan.UnreadFolders) {
            PutString(buffer_, folder, scratch_);
        }
        PutFixed(buffer_, scanAt, 8);
        PutFixed(buffer_, count_, 8);
        PutFixed(buffer_, written_ + buffer_.size() + 24, 8);
        Put({EndMagic, sizeof EndMagic});
        // The checksum is over every byte before it, so it goes in after the rest was counted.
        const std::uint64_t checksum = ContinueChecksum(checksum_, buffer_);
        PutFixed(buffer_, checksum, 8);
        if (!file_->Write(buffer_) || !file_->Commit()) {
            error_ = file_->Error();
        }
    }
    const bool done = error_ == 0;
    file_.reset();
    buffer_.clear();
    return done;
}

void TSnapshotWriter::Abandon() {
    if (file_ && error_ == 0) {
        error_ = ERROR_CANCELLED;
    }
    file_.reset();
    buffer_.clear();
}

DWORD TSnapshotWriter::Error() const {
    return error_;
}

std::wstring TSnapshotWriter::ErrorText() const {
    return error_ ? L"The snapshot " + path_ + L" could not be written: " + SystemReason(error_)
                  : std::wstring();
}

TSnapshotRead ReadSnapshotBytes(std::string_view bytes, const std::wstring& path,
                                const std::wstring& expectedRoot, const TEntryTaker& take) {
    const auto cutShort = [&] {
        return Unusable(
            TSnapshotState::CutShort,
            Sentence(path, L"is cut short or torn (it does not end as a finished write ends it),"));
    };
    const auto foreign = [&] {
        return Unusable(TSnapshotState::Foreign,
                        L"The file " + path + L" is not a snapshot of this program and is not used.");
    };
    if (bytes.substr(0, sizeof Magic) != std::string_view(Magic, sizeof Magic).substr(0, bytes.size())) {
        return foreign();
    }
    if (bytes.size() < HeaderBytes) {
        return cutShort();
    }
    if (const auto version = Fixed(bytes, sizeof Magic, 4); version != Version) {
        return Unusable(TSnapshotState::OtherVersion,
                        Sentence(path, (L"is of format version " + std::to_wstring(version) +
                                        L", which this version of the program does not read,")
                                           .c_str()));
    }
    if (bytes.size() < HeaderBytes + 1 + TrailerBytes) {
        return cutShort();
    }
    const std::size_t trailer = bytes.size() - TrailerBytes;
    if (bytes.substr(trailer + 24, sizeof EndMagic) != std::string_view(EndMagic, sizeof EndMagic) ||
        Fixed(bytes, trailer + 16, 8) != bytes.size()) {
        return cutShort();
    }
    if (SnapshotChecksum(bytes.substr(0, bytes.size() - 8)) != Fixed(bytes, trailer + 32, 8)) {
        return Unusable(TSnapshotState::Damaged,
                        Sentence(path, L"is damaged (its checksum does not match its bytes)"));
    }
    TSnapshotRead read;
    const std::uint64_t scanAt = Fixed(bytes, trailer, 8);
    if (scanAt < HeaderBytes + 1 || scanAt > trailer ||
        !ReadScan({bytes.substr(scanAt, trailer - scanAt)}, read.Scan)) {
        return foreign();
    }
    if (LastScanName(read.Scan.Root) != LastScanName(expectedRoot)) {
        return Unusable(TSnapshotState::OtherRoot,
                        Sentence(path, (L"is of another folder, " + read.Scan.Root + L",").c_str()));
    }
    const std::uint64_t count = Fixed(bytes, trailer + 8, 8);
    const std::string_view entries = bytes.substr(HeaderBytes, scanAt - HeaderBytes);
    TEntryTaker keep = take;
    if (!keep) {
        read.Entries.reserve(
            static_cast<std::size_t>(std::min<std::uint64_t>(count, entries.size() / LeastEntryBytes)));
        keep = [&read](const TSnapshotEntry& entry) { read.Entries.push_back(entry); };
    }
    if (!ReadEntries({entries}, count, keep)) {
        return foreign();
    }
    read.State = TSnapshotState::Read;
    return read;
}

TSnapshotRead ReadSnapshot(const std::wstring& path, const std::wstring& expectedRoot,
                           const TEntryTaker& take) {
    // Shared for deleting: another program may move its new snapshot over this one meanwhile.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return {};
    }
    std::string bytes;
    LARGE_INTEGER size{};
    if (error == 0 && !GetFileSizeEx(file, &size)) {
        error = GetLastError();
    }
    // Until bytes holds wanted or the file ends.
    const auto readTo = [&](std::size_t wanted) {
        while (error == 0 && bytes.size() < wanted) {
            const std::size_t at = bytes.size();
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wanted - at, 1 << 24));
            bytes.resize(at + chunk);
            DWORD got = 0;
            if (!ReadFile(file, bytes.data() + at, chunk, &got, nullptr)) {
                error = GetLastError();
            }
            bytes.resize(at + got);
            if (got == 0) {
                break;
            }
        }
    };
    // The header first: a big file of other bytes is not read whole to find it is no snapshot.
    readTo(static_cast<std::size_t>(std::min<LONGLONG>(size.QuadPart, HeaderBytes)));
    if (error == 0 && bytes.size() == HeaderBytes && bytes.starts_with({Magic, sizeof Magic}) &&
        Fixed(bytes, sizeof Magic, 4) == Version) {
        try {
            bytes.reserve(static_cast<std::size_t>(size.QuadPart));
            readTo(static_cast<std::size_t>(size.QuadPart));
        } catch (const std::bad_alloc&) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    if (error != 0) {
        return Unusable(TSnapshotState::Unreadable, L"The snapshot " + path +
                                                        L" could not be read and is not used: " +
                                                        SystemReason(error));
    }
    return ReadSnapshotBytes(bytes, path, expectedRoot, take);
}

std::wstring SnapshotFolder() {
    std::wstring folder = FolderForTests();
    if (folder.empty()) {
        PWSTR known = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &known))) {
            folder = known;
        }
        CoTaskMemFree(known);
        if (folder.empty()) {
            return {};
        }
        folder += L"\\Quenwick\\Snapshots\\";
    }
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Each level by itself; a program making it at the same time is no failure.
        for (std::size_t at = folder.find(L'\\', 3); at != folder.npos; at = folder.find(L'\\', at + 1)) {
            CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
        }
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
            return {};
        }
    }
    return folder;
}

void SetSnapshotFolder(std::wstring folder) {
    FolderForTests() = std::move(folder);
}

std::wstring SnapshotPathFor(const TSnapshotScan& scan) {
    const std::wstring folder = SnapshotFolder();
    if (folder.empty()) {
        return {};
    }
    // Filters compare as roots do: case does not count.
    const std::wstring key = LastScanName(scan.Root) + L'\n' + (scan.Recursive ? L'1' : L'0') + L'\n' +
                             LastScanName(scan.SkipFolders) + L'\n' + LastScanName(scan.NameMasks) + L'\n' +
                             std::to_wstring(scan.TimeKind);
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t c : key) {
        hash = (hash ^ (c & 0xFF)) * 0x100000001B3ull;
        hash = (hash ^ (static_cast<unsigned>(c) >> 8)) * 0x100000001B3ull;
    }
    wchar_t name[24];
    std::swprintf(name, 24, L"%016llx.qsnap", static_cast<unsigned long long>(hash));
    return folder + name;
}

void ForgetOldSnapshots(const std::wstring& written) {
    const std::size_t slash = written.find_last_of(L'\\');
    const std::wstring folder = written.substr(0, slash + 1);
    const std::wstring_view writtenName = std::wstring_view(written).substr(slash + 1);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::int64_t dayAgo = FileTimeTicks(now) - 864'000'000'000;
    WIN32_FIND_DATAW found;
    const HANDLE listing =
        FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (listing == INVALID_HANDLE_VALUE) {
        return;
    }
    std::vector<std::pair<std::int64_t, std::wstring>> others;
    do {
        const std::wstring_view name = found.cFileName;
        const std::int64_t time = FileTimeTicks(found.ftLastWriteTime);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            continue;
        }
        if (EndsWith(name, L".qsnap") &&
            !(name.size() == writtenName.size() && EndsWith(name, writtenName))) {
            others.emplace_back(time, name);
        } else if (name.starts_with(WholeFileTemporaryPrefix) && time < dayAgo) {
            // Left by a program that ended while writing: one still writing holds it open.
            DeleteFileW((folder + found.cFileName).c_str());
        }
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    // Newest first; the one just written stays even if a clock set back made it older.
    std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t i = SnapshotsKept - 1; i < others.size(); ++i) {
        DeleteFileW((folder + others[i].second).c_str());
    }
}
