#include "ui/window_sink.h"

#include "toolkit/handoff.h"
#include "ui/logs_form.h"
#include "ui/results_list.h"

void TStatusBarLine::SetText(const std::wstring& text) {
    if (!*pending_) {
        Later([&bar = bar_, weak = std::weak_ptr(pending_)] {
            const auto pending = weak.lock();
            if (pending && *pending) {
                bar.SetText(**pending);
                pending->reset();
            }
        });
    }
    *pending_ = text;
}

TWindowSink::TWindowSink(TResultsList& results, TStatusBar& bar) : results_(results), status_(bar) {}

TWindowSink::~TWindowSink() = default;

void TWindowSink::FolderEntered(const std::wstring& folder) {
    status_.SetText(folder);
    OnChange();
}

void TWindowSink::RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId> removed) {
    for (const TFoundRow& row : added) {
        const TRowId id = results_.AddRow(row.Path, row.Time);
        if (row.Id == 1) {
            rowsBefore_ = id - 1;
        }
    }
    for (const TRowId row : removed) {
        if (const int index = results_.IndexOfRow(rowsBefore_ + row); index >= 0) {
            results_.DeleteRow(index);
        }
    }
    OnChange();
}

void TWindowSink::ListingFailed(const std::wstring& line) {
    if (!log_) {
        log_ = std::make_unique<TLogsForm>();
    }
    log_->AppendLine(line);
}

void TWindowSink::Ended(const TScanEnd& end) {
    status_.Discard();
    OnEnd(end, std::move(log_));
}
