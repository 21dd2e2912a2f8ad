#include "ui/window_sink.h"

#include "toolkit/handoff.h"
#include "ui/logs_form.h"
#include "ui/results_list.h"

void TStatusBarLine::SetText(const std::wstring& text) {
    // The text is in place before Later, which runs its call at once when the queue is full.
    const bool scheduled = pending_->has_value();
    *pending_ = text;
    if (!scheduled) {
        Later([&bar = bar_, weak = std::weak_ptr(pending_)] {
            const auto pending = weak.lock();
            if (pending && *pending) {
                bar.SetText(**pending);
                pending->reset();
            }
        });
    }
}

TWindowSink::TWindowSink(TResultsList& results, TStatusBar& bar) : ListViewRef(results), StatusBarRef(bar) {}

TWindowSink::~TWindowSink() = default;

void TWindowSink::FolderEntered(const std::wstring& folder) {
    StatusBarRef.SetText(folder);
    OnChange();
}

void TWindowSink::RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId> removed) {
    ListViewRef.BeginBatch();
    for (const TFoundRow& row : added) {
        const TRowId id = ListViewRef.AddRow(row.Path, row.Utc, row.Size);
        if (row.Id == 1) {
            rowsBefore_ = id - 1;
        }
    }
    for (const TRowId row : removed) {
        if (const int index = ListViewRef.IndexOfRow(rowsBefore_ + row); index >= 0) {
            ListViewRef.DeleteRow(index);
        }
    }
    ListViewRef.EndBatch();
    OnChange();
}

void TWindowSink::ListingFailed(const std::wstring& line) {
    if (!LogsFormRef) {
        LogsFormRef = std::make_unique<TLogsForm>();
    }
    LogsFormRef->AppendLine(line);
}

void TWindowSink::Ended(const TScanEnd& end) {
    StatusBarRef.Discard();
    OnEnd(end, std::move(LogsFormRef));
}
