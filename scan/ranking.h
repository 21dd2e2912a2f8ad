#pragma once
// The number mode's ranking: the N freshest files of a scan, the first found winning a tie among
// equal times. A file that pushes one out costs its row one deletion.
#include <cstdint>
#include <vector>

#include "scan/file_list.h"

class TRanking {
  public:
    explicit TRanking(std::int32_t limit = 0) : limit_(limit < 0 ? 0 : limit) {}

    std::int32_t Limit() const { return limit_; }
    // Held oldest first; of equal times, the one found later stands first.
    const TFileList& Files() const { return files_; }
    // The oldest time held, once a file is.
    TDateTime After() const { return after_; }

    // Whether a file of this time enters while held files are held and the oldest of them is
    // after: fewer than N held, or newer than it. With N = 0 no file does. The walk asks with what
    // it last heard of the ranking, which may be a batch behind.
    bool Qualifies(std::size_t held, TDateTime after, TDateTime time) const {
        return limit_ > 0 && (static_cast<std::int64_t>(held) < limit_ || time > after);
    }
    bool Qualifies(TDateTime time) const { return Qualifies(files_.size(), after_, time); }
    // Where a file of time x goes: before every held file of the same or a later time.
    int FindIndex(TDateTime x) const { return static_cast<int>(files_.LowerBound(x)); }
    // Holds a file that qualifies, shown by row; the rows of the files it pushes out are added to
    // removed.
    void AddFile(TFileItem item, std::vector<TRowId>& removed);

  private:
    std::int32_t limit_;
    TFileList files_;
    TDateTime after_ = 0;
};
