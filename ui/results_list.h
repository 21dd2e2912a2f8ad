#pragma once
// The results list: an owner-data list view that shows the rows of a TRowStore.
#include "scan/local_time.h"
#include "scan/sinks.h"
#include "scan/snapshot_compare.h"
#include "toolkit/clipboard.h"
#include "toolkit/file_data.h"
#include "toolkit/format_settings.h"
#include "ui/copy_text.h"
#include "ui/row_store.h"
#include <windows.h>
#include <climits>
#include <commctrl.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// Width of the "File" column: what the list's outer width leaves beside the other columns and a
// vertical scroll bar, whether or not one is shown.
int FileColumnWidth(int outerWidth, int otherColumnsWidth, int scrollBarWidth);

enum class TSortColumn { None, Name, Time, Size, Change };

class TResultsList final {
  public:
    // listView: a report list view with LVS_OWNERDATA, columns "File", "Date/Time" and "Size". Its
    // parent passes every WM_NOTIFY from it to HandleNotify.
    explicit TResultsList(HWND listView, const TRowStore::TLimits& limits = {});
    ~TResultsList();
    TResultsList(const TResultsList&) = delete;
    TResultsList& operator=(const TResultsList&) = delete;

    // The scan's side. New rows reach the control at most about ten times a second. Each row
    // added gets the identity one above the one before. A row's time is its instant, UTC ticks; it
    // is shown in local time, as the walk reads it.
    TRowId AddRow(const std::wstring& caption, std::int64_t utc, std::uint64_t size = 0);
    TRowId AddRow(const std::wstring& caption, TDateTime local, std::uint64_t size = 0) = delete;
    // The row's current position, or -1 when the list does not hold it.
    int IndexOfRow(TRowId row) const;
    void DeleteRow(int index);
    // Around a batch of additions and deletions: the control hears of the rows only at its end, so
    // that it never holds the added rows before the deletions that go with them, nor fewer than the
    // store.
    void BeginBatch();
    void EndBatch();
    // Removes every row in one update, and forgets the sort: the header shows no arrow until the
    // next one.
    void Clear();

    // The changed mode's rows: the file's path is root and the change's path; its time and size are
    // the file's now, a deleted file's last known. The "Change" column, the fourth, says what changed.
    TRowId AddChange(const std::wstring& root, const TChange& change);
    void ShowChangeColumn(bool shown);
    bool ChangeColumnShown() const { return changeColumn_; }
    // What the row's change was; nullptr for a row of the other modes.
    const TChange* ChangeOf(int index) const;
    // Whether a selected row is of a file deleted since the last scan: there is nothing to open.
    bool DeletedSelected();

    // For WM_NOTIFY from the list: true when handled, with the message's result in result.
    // Handles the item texts, the rows' tips (the exact size, and the path whole where the column
    // shortens it) and the type-ahead search, and hears of selection changes.
    bool HandleNotify(const NMHDR& header, LRESULT& result);
    // Gives the control every row appended so far at once and lets it draw what deletions changed.
    void Flush();

    // Keep the selected rows, the focused row and the selection mark on their rows; the sorted
    // column's header shows the platform's arrow, up for ascending.
    void Sort(TSortColumn column, bool ascending);
    void SortByTime() { Sort(TSortColumn::Time, false); } // newest first
    void SortByName() { Sort(TSortColumn::Name, true); }
    void SortBySize() { Sort(TSortColumn::Size, false); }    // largest first
    void SortByChange() { Sort(TSortColumn::Change, true); } // new, changed, moved, deleted
    TSortColumn SortedBy() const { return sortColumn_; }
    bool SortedAscending() const { return sortAscending_; }
    // Selects every row in the control; the focused row and the scroll position stay; rows added
    // later are not selected.
    void SelectAll();
    // After the selection changed, once for a burst of changes, from the message loop.
    std::function<void()> OnSelectionChanged;

    int RowCount() const { return store_.Count(); }
    // The row with its local time and, unless not withText, that time's text as shown.
    TRow Row(int index, bool withText = true) const;
    // The rows the control holds selected.
    int SelectedCount() const;
    int FirstSelected() const; // -1 when none
    // The selected rows' sizes together; with every row selected, without asking the control row by row.
    std::uint64_t SelectedBytes() const;
    // The selected rows in list order, after giving the control every row appended so far.
    struct TSelection {
        bool All = false; // every row, with no positions listed
        std::vector<std::uint32_t> Positions;
        std::size_t Count = 0;
        int At(std::size_t k) const { return All ? static_cast<int>(k) : static_cast<int>(Positions[k]); }
    };
    TSelection Selection();
    std::vector<TRowId> SelectedRows();
    // The selected rows' paths for the clipboard's files or a drag, made only when first asked for,
    // on this thread: the rows are named now, by identity, so that sorts do not change them, and
    // their paths are made at once before any row leaves the list. count: how many there are.
    std::function<TPathList()> SelectedPathsLater(std::size_t& count);
    std::wstring Path(int index) const;
    // The row's tip: its exact size, below its whole path when the "File" column shortened it.
    std::wstring TipText(int index);
    // The selected rows' lines in list order, made beside the window's messages straight into
    // the clipboard's memory.
    TClipboardText SelectedText(TCopyLayout layout);
    // Where the keyboard's context-menu key opens the menu, in screen coordinates: the centre of the
    // first selected row, or the list's top-left corner.
    POINT KeyboardMenuPoint() const;

    // The width a column needs for the widest text it shows by default in the list's font: a date of
    // the user's format with two-digit fields, or a size such as "1023 bytes".
    int FittingWidth(TSortColumn column) const;
    // Sets column 0 from the list's current outer width; call whenever the list's size is set.
    void ApplyFileColumnWidth();
    HWND Handle() const { return list_; }

  private:
    // No row selected or focused and no selection mark in the control: a deletion then moves no row
    // state.
    bool NothingMarked() const;
    int ControlSelectedCount() const;
    void SelectionChanged();
    struct TPendingPaths {
        std::vector<TRowId> Rows;
        std::optional<TPathList> Made;
        TResultsList* List;
    };
    void MakePaths(TPendingPaths& pending) const;
    // Before rows leave the list: the paths still waiting for a target are made now.
    void MakePendingPaths();
    std::vector<std::weak_ptr<TPendingPaths>> pendingPaths_;
    // Whether the control shows other than the rows: count, deleted rows, or drawing held.
    bool Behind() const;
    void InvalidateStaleRows();
    void ScheduleCountRefresh();
    void StartTimer(ULONGLONG delay);
    void StopTimer();
    void HoldRedraw();
    void ReleaseRedraw();
    void ShowSortArrow();
    int FindItem(const NMLVFINDITEMW& find) const;
    // The path as the control can draw it in the "File" column: shortened in its middle when too wide.
    void ShownPath(int index, std::wstring& text);
    static void CALLBACK CountTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
    // What the control copies of a text it draws: its own buffer, less the null.
    static constexpr std::size_t DisplayLimit = 259;

    HWND list_;
    TRowStore store_;
    // How the time texts are written: the user's settings, read once, and the zone's rules, which
    // give each instant the local time the walk gave it.
    TFormatSettings settings_ = UserFormatSettings();
    mutable TLocalTimeConverter localTime_;
    // A text the control shows, when it is longer than the control's own buffer.
    std::wstring longText_;
    // Measures paths in the list's font, which it holds selected, and that font's widest character:
    // a path of fewer characters than fit at that width needs no measure, nor the GDI calls of one,
    // each time a row is drawn.
    HDC measure_ = nullptr;
    HGDIOBJ measuredFont_ = nullptr;
    int widestCharacter_ = 0;
    int shownCount_ = 0; // the item count the control has
    static constexpr int kNoStaleRow = INT_MAX;
    int staleFrom_ = kNoStaleRow; // the first row deleted behind the control's back since the last update
    ULONGLONG lastRefresh_ = 0;
    bool timerRunning_ = false;
    bool redrawHeld_ = false; // while the ranking deletes rows in a burst
    bool inBatch_ = false;
    // By row identity; the path is the row's own and not kept twice.
    std::unordered_map<TRowId, TChange> changes_;
    bool changeColumn_ = false;
    TSortColumn sortColumn_ = TSortColumn::None;
    bool sortAscending_ = true;
    bool selectionNoticePending_ = false;
};
