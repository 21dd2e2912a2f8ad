#pragma once
// The window's side of a scan: the rows into the results list, the folder into the status bar and
// the lines of folders that could not be listed into a processing log; the end to the form.
#include "scan/sinks.h"
#include "toolkit/controls.h"
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TLogsForm;
class TResultsList;

// A narrow tree enters thousands of folders a second, and under Wine each text costs the status bar
// about 0.07 ms: nine tenths of applying a batch of them. So the bar takes the last folder of a batch
// once the batch is applied, as a message of its own; the user sees no difference.
class TStatusBarLine final {
  public:
    explicit TStatusBarLine(TStatusBar& bar) : bar_(bar) {}
    void SetText(const std::wstring& text);
    // Drops a folder not yet shown, so that it cannot come after the text the bar is given next.
    void Discard() { pending_->reset(); }

  private:
    TStatusBar& bar_;
    // Shared with the put-off call, which finds it gone once this line is.
    std::shared_ptr<std::optional<std::wstring>> pending_ = std::make_shared<std::optional<std::wstring>>();
};

class TWindowSink final : public IScanSink {
  public:
    TWindowSink(TResultsList& results, TStatusBar& bar);
    ~TWindowSink() override;

    // After each folder and each batch of rows.
    std::function<void()> OnChange;
    // The end, with the processing log when a folder could not be listed. A folder not yet shown
    // is dropped before.
    std::function<void(const TScanEnd& end, std::unique_ptr<TLogsForm> log)> OnEnd;

    void FolderEntered(const std::wstring& folder) override;
    void RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId> removed) override;
    void ListingFailed(const std::wstring& line) override;
    void Ended(const TScanEnd& end) override;

  private:
    TResultsList& ListViewRef;
    TStatusBarLine StatusBarRef;
    // The list's identity of the scan's row 0: both number their rows one above the other in the
    // order added.
    TRowId rowsBefore_ = 0;
    std::unique_ptr<TLogsForm> LogsFormRef;
};
