#include "scan/snapshot_compare.h"

#include <memory>
#include <utility>

#include "scan/filters.h"
#include "scan/pattern.h"

namespace {

constexpr std::uint64_t FnvBasis = 14695981039346656037ull;
constexpr std::uint64_t FnvPrime = 1099511628211ull;

// Spreads every bit over the high half, which picks the slot.
std::uint64_t Mix(std::uint64_t hash) {
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53ull;
    return hash ^ (hash >> 33);
}

std::uint64_t AddUnit(std::uint64_t hash, wchar_t unit, const wchar_t* upper) {
    return (hash ^ upper[unit]) * FnvPrime;
}

// Of the path as the file system compares it: case does not count.
std::uint64_t PathHash(std::wstring_view path) {
    const wchar_t* upper = UpperUnits();
    std::uint64_t hash = FnvBasis;
    for (const wchar_t unit : path) {
        hash = AddUnit(hash, unit, upper);
    }
    return Mix(hash);
}

bool SamePath(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    const wchar_t* upper = UpperUnits();
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && upper[a[i]] != upper[b[i]]) {
            return false;
        }
    }
    return true;
}

std::wstring_view FileName(std::wstring_view path) {
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

} // namespace

TCovers ScanCoverage(const TSnapshotScan& scan) {
    auto filters = std::make_shared<TScanFilters>();
    std::wstring error;
    if (!filters->Set(scan.SkipFolders, scan.NameMasks, error, scan.Root)) {
        return [](std::wstring_view) { return false; };
    }
    return [filters, root = scan.Root, recursive = scan.Recursive](std::wstring_view path) {
        const std::size_t last = path.rfind(L'\\');
        const bool inFolder = last != std::wstring_view::npos;
        if (inFolder && !recursive) {
            return false;
        }
        if (inFolder && filters->SkipsFolders()) {
            // Each folder on the way down, as the walk meets it: its name and its full path.
            std::wstring folder = root, name;
            for (std::size_t start = 0; start <= last;) {
                const std::size_t end = path.find(L'\\', start);
                name.assign(path.substr(start, end - start));
                folder.append(path.substr(start, end + 1 - start));
                if (filters->SkipsFolder(name.c_str(), folder)) {
                    return false;
                }
                start = end + 1;
            }
        }
        return filters->TakesName(std::wstring(FileName(path)).c_str());
    };
}

template <class TEqual>
std::uint32_t TSnapshotComparison::TIndexTable::Find(std::uint64_t hash, TEqual&& equal, std::uint32_t add) {
    std::size_t slot = static_cast<std::size_t>(((hash >> 32) * slots_.size()) >> 32);
    for (;;) {
        std::uint32_t& index = slots_[slot];
        if (index == None) {
            index = add;
            return None;
        }
        if (equal(index)) {
            return index;
        }
        if (++slot == slots_.size()) {
            slot = 0;
        }
    }
}

std::uint64_t TSnapshotComparison::TMoveKey::Hash() const {
    if (Identity) {
        return Mix(Mix(Mix(Volume) ^ Low) ^ High);
    }
    return Mix(PathHash(Name) ^ Mix(Size ^ Mix(static_cast<std::uint64_t>(LastWriteUtc))));
}

bool TSnapshotComparison::TMoveKey::operator==(const TMoveKey& other) const {
    if (Identity != other.Identity) {
        return false;
    }
    if (Identity) {
        return Volume == other.Volume && Low == other.Low && High == other.High;
    }
    return Size == other.Size && LastWriteUtc == other.LastWriteUtc && SamePath(Name, other.Name);
}

TSnapshotComparison::TFolderSet::TFolderSet(const std::vector<std::wstring>& folders) {
    for (std::wstring folder : folders) {
        if (!folder.empty() && folder.back() != L'\\') {
            folder.push_back(L'\\');
        }
        const std::uint64_t hash = PathHash(folder);
        folders_.emplace(hash, std::move(folder));
    }
}

bool TSnapshotComparison::TFolderSet::Holds(std::wstring_view path) const {
    if (folders_.empty()) {
        return false;
    }
    // Every folder on the path, the root first, hashed as the path is read once.
    const wchar_t* upper = UpperUnits();
    std::uint64_t hash = FnvBasis;
    for (std::size_t at = 0;; ++at) {
        if (at == 0 || path[at - 1] == L'\\') {
            const auto [first, last] = folders_.equal_range(Mix(hash));
            for (auto folder = first; folder != last; ++folder) {
                if (SamePath(folder->second, path.substr(0, at))) {
                    return true;
                }
            }
        }
        if (at == path.size()) {
            return false;
        }
        hash = AddUnit(hash, path[at], upper);
    }
}

TSnapshotComparison::TSnapshotComparison(TSnapshotScan old, std::vector<TSnapshotEntry>&& entries,
                                         TCovers coversNow, TCovers coveredBefore)
    : TSnapshotComparison(std::move(coversNow)) {
    std::size_t units = 0;
    for (const TSnapshotEntry& entry : entries) {
        units += entry.Path.size();
    }
    names_.reserve(units);
    records_.reserve(entries.size() + 1);
    for (const TSnapshotEntry& entry : entries) {
        AddOld(entry);
    }
    std::vector<TSnapshotEntry>().swap(entries);
    SetOld(std::move(old), std::move(coveredBefore));
}

TSnapshotComparison::TSnapshotComparison(TCovers coversNow) : coversNow_(std::move(coversNow)) {}

void TSnapshotComparison::AddOld(const TSnapshotEntry& entry) {
    TOld record;
    record.Size = entry.Size;
    record.LastWriteUtc = entry.LastWriteUtc;
    record.PathStart = static_cast<std::uint32_t>(names_.size());
    if (entry.Identity.Known()) {
        std::size_t volume = 0;
        while (volume < volumes_.size() && volumes_[volume] != entry.Identity.VolumeSerial) {
            ++volume;
        }
        // Past the last volume an index holds, the identity is not kept: such a file can still end a
        // move by name, size and time with a file whose identity is not known either.
        if (volume < NoVolume) {
            if (volume == volumes_.size()) {
                volumes_.push_back(entry.Identity.VolumeSerial);
            }
            record.Volume = static_cast<std::uint8_t>(volume);
            record.IdLow = entry.Identity.Low;
            record.IdHigh = entry.Identity.High;
        }
    }
    names_.insert(names_.end(), entry.Path.begin(), entry.Path.end());
    records_.push_back(record);
}

void TSnapshotComparison::SetOld(TSnapshotScan old, TCovers coveredBefore) {
    old_ = std::move(old);
    coveredBefore_ = std::move(coveredBefore);
    unreadBefore_ = TFolderSet(old_.UnreadFolders);
    TOld end;
    end.PathStart = static_cast<std::uint32_t>(names_.size());
    records_.push_back(end);
    byPath_ = TIndexTable(OldFiles());
    byKey_ = TIndexTable(OldFiles());
    for (std::uint32_t i = 0; i < OldFiles(); ++i) {
        const std::wstring_view path = OldPath(i);
        // A path twice, in case only (a folder of a case-sensitive file system): one file, met once.
        if (byPath_.Find(
                PathHash(path), [&](std::uint32_t j) { return SamePath(OldPath(j), path); }, i) != None) {
            records_[i].State = TOld::TState::Seen;
        }
        const TMoveKey key = OldKey(i);
        byKey_.Find(
            key.Hash(), [&](std::uint32_t j) { return OldKey(j) == key; }, i);
    }
}

std::wstring_view TSnapshotComparison::OldPath(std::uint32_t i) const {
    return {names_.data() + records_[i].PathStart, records_[i + 1].PathStart - records_[i].PathStart};
}

TSnapshotComparison::TMoveKey TSnapshotComparison::OldKey(std::uint32_t i) const {
    const TOld& record = records_[i];
    TMoveKey key;
    if (record.Volume != NoVolume) {
        key.Identity = true;
        key.Volume = volumes_[record.Volume];
        key.Low = record.IdLow;
        key.High = record.IdHigh;
    } else {
        key.Name = FileName(OldPath(i));
        key.Size = record.Size;
        key.LastWriteUtc = record.LastWriteUtc;
    }
    return key;
}

TSnapshotComparison::TMoveKey TSnapshotComparison::NowKey(const TSnapshotEntry& now) {
    TMoveKey key;
    if (now.Identity.Known()) {
        key.Identity = true;
        key.Volume = now.Identity.VolumeSerial;
        key.Low = now.Identity.Low;
        key.High = now.Identity.High;
    } else {
        key.Name = FileName(now.Path);
        key.Size = now.Size;
        key.LastWriteUtc = now.LastWriteUtc;
    }
    return key;
}

TChange TSnapshotComparison::Change(TChangeKind kind, std::uint32_t i, const TSnapshotEntry* now) const {
    TChange change;
    change.Kind = kind;
    if (i != None) {
        change.OldPath = OldPath(i);
        change.OldSize = records_[i].Size;
        change.OldLastWriteUtc = records_[i].LastWriteUtc;
    }
    if (now) {
        change.Path = now->Path;
        change.Size = now->Size;
        change.LastWriteUtc = now->LastWriteUtc;
    } else {
        change.Path = change.OldPath;
        change.Size = change.OldSize;
        change.LastWriteUtc = change.OldLastWriteUtc;
    }
    return change;
}

bool TSnapshotComparison::CoveredBefore(std::wstring_view path) const {
    return !unreadBefore_.Holds(path) && (!coveredBefore_ || coveredBefore_(path));
}

TSeen TSnapshotComparison::Seen(const TSnapshotEntry& now, TChange& change) {
    const std::wstring_view path = now.Path;
    const std::uint32_t i =
        byPath_.Find(PathHash(path), [&](std::uint32_t j) { return SamePath(OldPath(j), path); });
    if (i != None) {
        TOld& record = records_[i];
        record.State = TOld::TState::Seen;
        if (record.Size == now.Size && record.LastWriteUtc == now.LastWriteUtc) {
            return TSeen::Unchanged;
        }
        change = Change(TChangeKind::Changed, i, &now);
        ++counts_.Changed;
        return TSeen::Changed;
    }
    const TMoveKey key = NowKey(now);
    if (byKey_.Find(key.Hash(), [&](std::uint32_t j) { return OldKey(j) == key; }) != None) {
        held_.push_back(now);
        return TSeen::Held;
    }
    if (!CoveredBefore(path)) {
        ++counts_.NotSeenBefore;
        return TSeen::Uncovered;
    }
    change = Change(TChangeKind::New, None, &now);
    ++counts_.New;
    return TSeen::New;
}

std::vector<TChange> TSnapshotComparison::Finish(const TSnapshotScan& now) {
    std::vector<TChange> changes;
    if (finished_) {
        return changes;
    }
    finished_ = true;
    // The snapshot's files this scan should have met and did not: deleted, or the start of a move.
    const TFolderSet unreadNow(now.UnreadFolders);
    std::vector<std::uint32_t> gone;
    for (std::uint32_t i = 0; i < OldFiles(); ++i) {
        if (records_[i].State != TOld::TState::Unseen) {
            continue;
        }
        const std::wstring_view path = OldPath(i);
        if (unreadNow.Holds(path) || (coversNow_ && !coversNow_(path))) {
            ++counts_.NotSeen;
        } else {
            gone.push_back(i);
        }
    }
    // Both ends of each move key: a move only where exactly one file left it and one arrived.
    struct TEnds {
        TMoveKey Key;
        std::uint32_t Old = None, Olds = 0, News = 0;
    };
    std::vector<TEnds> ends;
    ends.reserve(gone.size() + held_.size());
    TIndexTable byEnds(gone.size() + held_.size());
    const auto endsOf = [&](const TMoveKey& key) -> TEnds& {
        const auto next = static_cast<std::uint32_t>(ends.size());
        const std::uint32_t found = byEnds.Find(
            key.Hash(), [&](std::uint32_t j) { return ends[j].Key == key; }, next);
        if (found != None) {
            return ends[found];
        }
        return ends.emplace_back(TEnds{key});
    };
    for (const std::uint32_t i : gone) {
        TEnds& end = endsOf(OldKey(i));
        end.Old = i;
        ++end.Olds;
    }
    for (const TSnapshotEntry& file : held_) {
        ++endsOf(NowKey(file)).News;
    }
    for (const TSnapshotEntry& file : held_) {
        const TEnds& end = endsOf(NowKey(file));
        if (end.Olds == 1 && end.News == 1) {
            records_[end.Old].State = TOld::TState::Moved;
            changes.push_back(Change(TChangeKind::Moved, end.Old, &file));
            ++counts_.Moved;
        } else if (CoveredBefore(file.Path)) {
            changes.push_back(Change(TChangeKind::New, None, &file));
            ++counts_.New;
        } else {
            ++counts_.NotSeenBefore;
        }
    }
    for (const std::uint32_t i : gone) {
        if (records_[i].State != TOld::TState::Moved) {
            changes.push_back(Change(TChangeKind::Deleted, i, nullptr));
            ++counts_.Deleted;
        }
    }
    held_.clear();
    return changes;
}

std::size_t TSnapshotComparison::BytesBesideNames() const {
    return records_.capacity() * sizeof(TOld) + byPath_.Bytes() + byKey_.Bytes() +
           volumes_.capacity() * sizeof(std::uint64_t);
}
