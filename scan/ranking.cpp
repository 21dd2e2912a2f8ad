#include "scan/ranking.h"

void TRanking::AddFile(TFileItem item, std::vector<TRowId>& removed) {
    // InsertInOrder finds FindIndex's place without counting the entries before it.
    files_.InsertInOrder(std::move(item));
    while (static_cast<std::int64_t>(files_.size()) > limit_) {
        removed.push_back(files_.front().Item);
        files_.pop_front();
    }
    if (!files_.empty()) {
        after_ = files_.front().Time;
    }
}
