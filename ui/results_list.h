#pragma once
// The results list: an owner-data list view that shows the rows of a TRowStore.
#include <climits>
#include <string>
#include <vector>
#include <windows.h>
#include <commctrl.h>
#include "scan/sinks.h"
#include "toolkit/clipboard.h"
#include "toolkit/format_settings.h"
#include "ui/copy_text.h"
#include "ui/row_store.h"

// Width of the "File" column: what the list's outer width leaves beside the "Date/Time" column and
// a vertical scroll bar, whether or not one is shown.
int FileColumnWidth(int outerWidth, int dateTimeColumnWidth, int scrollBarWidth);

class TResultsList final : public IResultsList {
public:
    // listView: a report list view with LVS_OWNERDATA, columns "File" and "Date/Time". Its parent
    // passes every WM_NOTIFY from it to HandleNotify.
    explicit TResultsList(HWND listView);
    ~TResultsList() override;
    TResultsList(const TResultsList&) = delete;
    TResultsList& operator=(const TResultsList&) = delete;

    // The ranking's side. New rows reach the control at most about ten times a second.
    TRowId AddRow(const std::wstring& caption, TDateTime time) override;
    int IndexOfRow(TRowId row) const override;
    void DeleteRow(int index) override;
    void Clear() override;

    // For WM_NOTIFY from the list: true when handled, with the message's result in result.
    // Handles the item texts and the type-ahead search.
    bool HandleNotify(const NMHDR& header, LRESULT& result);
    // Gives the control every row appended so far at once and lets it draw what deletions changed.
    void Flush();

    // Both keep the selected rows, the focused row and the selection mark on their rows.
    void SortByTime();
    void SortByName();
    // Selects every row; the focused row and the scroll position stay.
    void SelectAll();

    int RowCount() const { return store_.Count(); }
    // The row with its time's text as shown.
    TRow Row(int index) const;
    // What the control reports as selected.
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
    // No row selected or focused and no selection mark: a deletion then moves no row state.
    bool NothingMarked() const;
    // Whether the control shows other than the rows: count, deleted rows, or drawing held.
    bool Behind() const;
    void InvalidateStaleRows();
    void ScheduleCountRefresh();
    void StartTimer(ULONGLONG delay);
    void StopTimer();
    void HoldRedraw();
    void ReleaseRedraw();
    template <typename Order>
    void SortKeepingSelection(Order orderOf);
    int FindItem(const NMLVFINDITEMW& find) const;
    static void CALLBACK CountTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

    HWND list_;
    TRowStore store_;
    // How the time texts are written: the user's settings, read once.
    TFormatSettings settings_ = UserFormatSettings();
    // A path the control shows, when it is longer than the control's own buffer.
    std::wstring longPath_;
    int shownCount_ = 0; // the item count the control has
    static constexpr int kNoStaleRow = INT_MAX;
    int staleFrom_ = kNoStaleRow; // the first row deleted behind the control's back since the last update
    ULONGLONG lastRefresh_ = 0;
    bool timerRunning_ = false;
    bool redrawHeld_ = false; // while the ranking deletes rows in a burst
};
