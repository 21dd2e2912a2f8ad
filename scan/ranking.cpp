#include "scan/ranking.h"

void TRanking::AddFile(TFileItem item, std::vector<TRowId>& removed) {
    files_.InsertAt(FindIndex(item.Utc), std::move(item));
    while (static_cast<std::int64_t>(files_.size()) > limit_) {
        removed.push_back(files_.front().Item);
        files_.pop_front();
    }
    if (!files_.empty()) {
        after_ = files_.front().Utc;
    }
}
