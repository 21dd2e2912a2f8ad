#pragma once
// The number mode's ranking: the N freshest files of a scan by their instants (UTC, so that the hour
// repeated when daylight saving ends keeps its order), the first found winning a tie among equal
// times. A file that pushes one out costs its row one deletion.
#include <cstdint>
#include <vector>

#include "scan/file_list.h"

class TRanking {
  public:
    explicit TRanking(std::int32_t limit = 0) : limit_(limit < 0 ? 0 : limit) {}

    std::int32_t Limit() const { return limit_; }
    // Held oldest first; of equal times, the one found later stands first.
    const TFileList& Files() const { return files_; }
    // The oldest instant held (UTC ticks), once a file is.
    std::int64_t After() const { return after_; }

    // Whether a file of this time enters while held files are held and the oldest of them is
    // after: fewer than N held, or newer than it. With N = 0 no file does. The walk asks with what
    // it last heard of the ranking, which may be a batch behind.
    bool Qualifies(std::size_t held, std::int64_t after, std::int64_t utc) const {
        return limit_ > 0 && (static_cast<std::int64_t>(held) < limit_ || utc > after);
    }
    bool Qualifies(std::int64_t utc) const { return Qualifies(files_.size(), after_, utc); }
    // Where a file of instant utc goes: before every held file of the same or a later one.
    TFileList::TPlace FindIndex(std::int64_t utc) const { return files_.PlaceOf(utc); }
    // Holds a file that qualifies, shown by row; the rows of the files it pushes out are added to
    // removed.
    void AddFile(TFileItem item, std::vector<TRowId>& removed);

  private:
    std::int32_t limit_;
    TFileList files_;
    std::int64_t after_ = 0;
};
