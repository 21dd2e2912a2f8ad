#include "cli/row_pool.h"

#include <algorithm>

#include "scan/file_lines.h"

void TRowPool::Change(std::span<const TFoundRow> added, std::span<const TRowId> removed) {
    for (const TFoundRow& row : added) {
        // Converted in a buffer of its own: converting in the pool would make it grow by three
        // times the path's length at its end, and so double its capacity early.
        path_.clear();
        AppendUtf8(row.Path, path_, true);
        Rows.push_back(
            {row.Id, row.Time, row.Utc, row.Size, pool_.size(), static_cast<std::uint32_t>(path_.size())});
        pool_.append(path_);
    }
    for (const TRowId id : removed) {
        const auto row = std::lower_bound(Rows.begin(), Rows.end(), id,
                                          [](const TRow& row, TRowId id) { return row.Id < id; });
        if (row != Rows.end() && row->Id == id) {
            row->Length = Removed;
            ++removed_;
        }
    }
    if (removed_ > 1024 && removed_ > Rows.size() / 2) {
        DropRemoved();
    }
}

void TRowPool::DropRemoved() {
    if (removed_ == 0) {
        return;
    }
    std::string pool;
    std::erase_if(Rows, [](const TRow& row) { return row.Length == Removed; });
    for (TRow& row : Rows) {
        const std::uint64_t offset = pool.size();
        pool.append(Path(row));
        row.Offset = offset;
    }
    pool_.swap(pool);
    removed_ = 0;
}
