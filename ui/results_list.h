#pragma once
// The results list: an owner-data list view that shows the rows of a TRowStore.
#include "scan/local_time.h"
#include "scan/sinks.h"
#include "toolkit/clipboard.h"
#include "toolkit/format_settings.h"
#include "ui/copy_text.h"
#include "ui/row_store.h"
#include <windows.h>
#include <climits>
#include <commctrl.h>
#include <string>
#include <vector>

// Width of the "File" column: what the list's outer width leaves beside the "Date/Time" column and
// a vertical scroll bar, whether or not one is shown.
int FileColumnWidth(int outerWidth, int dateTimeColumnWidth, int scrollBarWidth);

enum class TSortColumn { None, Name, Time };

class TResultsList final {
  public:
    // listView: a report list view with LVS_OWNERDATA, columns "File" and "Date/Time". Its parent
    // passes every WM_NOTIFY from it to HandleNotify.
    explicit TResultsList(HWND listView, const TRowStore::TLimits& limits = {});
    ~TResultsList();
    TResultsList(const TResultsList&) = delete;
    TResultsList& operator=(const TResultsList&) = delete;

    // The scan's side. New rows reach the control at most about ten times a second. Each row
    // added gets the identity one above the one before. A row's time is its instant, UTC ticks; it
    // is shown in local time, as the walk reads it.
    TRowId AddRow(const std::wstring& caption, std::int64_t utc);
    TRowId AddRow(const std::wstring& caption, TDateTime local) = delete;
    // The row's current position, or -1 when the list does not hold it.
    int IndexOfRow(TRowId row) const;
    void DeleteRow(int index);
    // Removes every row in one update, and forgets the sort: the header shows no arrow until the
    // next one.
    void Clear();

    // For WM_NOTIFY from the list: true when handled, with the message's result in result.
    // Handles the item texts, the type-ahead search and the drawing of a selection of all rows.
    bool HandleNotify(const NMHDR& header, LRESULT& result);
    // Gives the control every row appended so far at once and lets it draw what deletions changed.
    void Flush();

    // Keep the selected rows, the focused row and the selection mark on their rows; the sorted
    // column's header shows the platform's arrow, up for ascending.
    void Sort(TSortColumn column, bool ascending);
    void SortByTime() { Sort(TSortColumn::Time, false); } // newest first
    void SortByName() { Sort(TSortColumn::Name, true); }
    TSortColumn SortedBy() const { return sortColumn_; }
    bool SortedAscending() const { return sortAscending_; }
    // Selects every row; the focused row and the scroll position stay. At once on any number of
    // rows: the selection of all is kept here and drawn by the control as its own; rows added later
    // are not selected.
    void SelectAll();

    int RowCount() const { return store_.Count(); }
    // The row with its local time and that time's text as shown.
    TRow Row(int index) const;
    // The rows selected: by the control, or all of them since SelectAll.
    int SelectedCount() const;
    int FirstSelected() const; // -1 when none
    // The selected rows' lines in list order, made beside the window's messages straight into
    // the clipboard's memory.
    TClipboardText SelectedText(TCopyLayout layout);
    // Where the keyboard's context-menu key opens the menu, in screen coordinates: the centre of the
    // first selected row, or the list's top-left corner.
    POINT KeyboardMenuPoint() const;

    // Sets column 0 from the list's current outer width; call whenever the list's size is set.
    void ApplyFileColumnWidth();
    HWND Handle() const { return list_; }

  private:
    // No row selected or focused and no selection mark in the control: a deletion then moves no row
    // state.
    bool NothingMarked() const;
    int ControlSelectedCount() const;
    bool SelectedByAll(int index) const { return allBefore_ != 0 && store_.Id(index) < allBefore_; }
    // The control's own selection takes over from a selection of all: each row selected in it.
    void SelectAllInControl();
    void SelectionChanged(const NMHDR& header);
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
    TSortColumn sortColumn_ = TSortColumn::None;
    bool sortAscending_ = true;
    // Since SelectAll: rows whose identity is below this are selected, allCount_ of them. 0: none.
    TRowId allBefore_ = 0;
    int allCount_ = 0;
    int ownChanges_ = 0; // while the list itself changes the control's selection
};
