#pragma once
// The rows a command-line scan holds until it ends, to be written newest first. Each row is its
// times, its size and its path in UTF-8 in one shared pool: about 80 bytes a file, where a string
// of its own took twice as much. Rows the ranking pushes out are dropped from the pool once they
// outnumber the rows held, so that a scan of millions of files for the newest few holds few more
// than those.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan/sinks.h"

class TRowPool {
  public:
    struct TRow {
        TRowId Id;
        TDateTime Time;
        std::int64_t Utc;
        std::uint64_t Size;
        std::uint64_t Offset; // a pool of many millions of paths passes 4 GB
        std::uint32_t Length;
    };
    static constexpr std::uint32_t Removed = UINT32_MAX;
    std::vector<TRow> Rows; // in the order added; removed ones have Length Removed

    // As the scan's RowsChanged gives them: rows added, then rows pushed out.
    void Change(std::span<const TFoundRow> added, std::span<const TRowId> removed);
    std::string_view Path(const TRow& row) const {
        return std::string_view(pool_).substr(row.Offset, row.Length);
    }
    // Leaves Rows and the pool with the rows held only.
    void DropRemoved();

  private:
    std::string pool_;
    std::string path_;
    std::size_t removed_ = 0;
};
