#include "ui/results_list.h"
#include "toolkit/handoff.h"
#include "ui/search_rules.h"
#include <algorithm>
#include <optional>

namespace {
constexpr wchar_t kOwnerProperty[] = L"Quenwick.ResultsList";
constexpr UINT_PTR kCountTimerId = 0x5157;
constexpr ULONGLONG kCountInterval = 100; // ms: at most ten count updates a second

void SetState(HWND list, int index, UINT state, UINT mask) {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

// Wine applies a state change to every row one by one and repaints each; with drawing held off the
// same change of a million rows takes a fraction of the time.
class TRedrawOff {
  public:
    explicit TRedrawOff(HWND list) : list_(list) { SendMessageW(list_, WM_SETREDRAW, FALSE, 0); }
    TRedrawOff(const TRedrawOff&) = delete;
    TRedrawOff& operator=(const TRedrawOff&) = delete;
    ~TRedrawOff() {
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, FALSE);
    }

  private:
    HWND list_;
};

int NextItem(HWND list, int after, UINT flags) {
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(after), MAKELPARAM(flags, 0)));
}

// The local time of an instant; the walk handed on only instants that have one.
TDateTime LocalTimeOf(TLocalTimeConverter& converter, std::int64_t utc) {
    SYSTEMTIME local;
    TDateTime time = 0;
    if (converter.ToLocal(FileTimeOfTicks(utc), local))
        TryEncodeDateTime(local, time);
    return time;
}

// The Change column's order: what is there now first, what is gone last.
std::uint32_t ChangeRank(TChangeKind kind) {
    switch (kind) {
    case TChangeKind::New:
        return 0;
    case TChangeKind::Changed:
        return 1;
    case TChangeKind::Moved:
        return 2;
    case TChangeKind::Deleted:
        break;
    }
    return 3;
}

// One word, so that the column stays narrow beside the path; the row's tip says what it was before.
const wchar_t* ChangeText(TChangeKind kind) {
    static const wchar_t* const words[] = {L"New", L"Changed", L"Moved", L"Deleted"};
    return words[ChangeRank(kind)];
}
} // namespace

int FileColumnWidth(int outerWidth, int otherColumnsWidth, int scrollBarWidth) {
    return outerWidth - otherColumnsWidth - scrollBarWidth - 4;
}

TResultsList::TResultsList(HWND listView, const TRowStore::TLimits& limits)
    : list_(listView), store_(limits) {
    // The count timer finds its list through this. The list is deliberately not subclassed: under
    // Wine every message to a subclassed list view cost about 0.1 ms, which made each row deletion
    // of the number mode's burst a hundred times dearer than the deletion itself.
    SetPropW(list_, kOwnerProperty, this);
}

TResultsList::~TResultsList() {
    MakePendingPaths();
    StopTimer();
    ReleaseRedraw();
    RemovePropW(list_, kOwnerProperty);
    if (measure_)
        DeleteDC(measure_);
}

void CALLBACK TResultsList::CountTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
    if (auto* list = static_cast<TResultsList*>(GetPropW(window, kOwnerProperty)))
        list->Flush();
}

TRowId TResultsList::AddRow(const std::wstring& caption, std::int64_t utc, std::uint64_t size) {
    const TRowId id = store_.Append(caption, utc, size);
    ScheduleCountRefresh();
    return id;
}

int TResultsList::IndexOfRow(TRowId row) const {
    return store_.IndexOf(row);
}

void TResultsList::DeleteRow(int index) {
    if (index < 0 || index >= store_.Count())
        return;
    if (!pendingPaths_.empty())
        MakePendingPaths();
    store_.Erase(index);
    if (index < shownCount_) {
        if (NothingMarked()) {
            // With no row state to move, the control need not hear of it: the rows from here down
            // are drawn again at the next update, which also sets the count. Turning drawing back on
            // after the deletions below costs Wine a whole redraw of list, header and scroll bars,
            // about twice what drawing the changed rows costs.
            staleFrom_ = std::min(staleFrom_, index);
        } else {
            // The control moves the selection and focus of the rows below up by one.
            --shownCount_;
            // A deletion that redraws costs Wine about 4 ms, one in the ranking's burst about 2 us:
            // drawing waits for the next count update.
            HoldRedraw();
            SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
        }
    }
    ScheduleCountRefresh();
}

void TResultsList::BeginBatch() {
    inBatch_ = true;
}

// An update due part way through the ranking's batch set the count with the new rows and before the
// deletions: the list was longer than N until the next update. Deletions that moved row states took
// rows off the control's count, and the ranking's full turnover takes nearly all of them: a paint or
// another program reading the list before the next update found it short. Drawing is held then, so
// the count costs no scroll bar work.
void TResultsList::EndBatch() {
    inBatch_ = false;
    if (redrawHeld_ && shownCount_ < store_.Count()) {
        shownCount_ = store_.Count();
        SendMessageW(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(shownCount_),
                     LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    ScheduleCountRefresh();
}

bool TResultsList::NothingMarked() const {
    return ControlSelectedCount() == 0 && NextItem(list_, -1, LVNI_FOCUSED) < 0 &&
           SendMessageW(list_, LVM_GETSELECTIONMARK, 0, 0) < 0;
}

bool TResultsList::Behind() const {
    return redrawHeld_ || shownCount_ != store_.Count() || staleFrom_ < shownCount_;
}

// Invalidates the rows from the first stale one to the bottom of the list.
void TResultsList::InvalidateStaleRows() {
    if (staleFrom_ >= shownCount_)
        return;
    RECT rows{};
    GetClientRect(list_, &rows);
    RECT first{};
    first.left = LVIR_BOUNDS;
    if (SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(staleFrom_),
                     reinterpret_cast<LPARAM>(&first)))
        rows.top = std::max(rows.top, first.top);
    InvalidateRect(list_, &rows, FALSE);
    staleFrom_ = kNoStaleRow;
}

void TResultsList::HoldRedraw() {
    if (redrawHeld_ || !list_)
        return;
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    redrawHeld_ = true;
    StartTimer(kCountInterval);
}

void TResultsList::ReleaseRedraw() {
    if (!redrawHeld_)
        return;
    redrawHeld_ = false;
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    // The header too: while drawing was off, the window could paint over both.
    RedrawWindow(list_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TResultsList::Clear() {
    MakePendingPaths();
    store_.Clear();
    changes_.clear();
    StopTimer();
    ReleaseRedraw();
    sortColumn_ = TSortColumn::None;
    ShowSortArrow();
    // One count change drops every row and the selection; deleting item by item is quadratic.
    shownCount_ = 0;
    staleFrom_ = kNoStaleRow;
    SendMessageW(list_, LVM_SETITEMCOUNT, 0, 0);
    SendMessageW(list_, LVM_SETSELECTIONMARK, 0, -1);
}

// The timer alone would not do: WM_TIMER comes only to an empty queue, and a scan keeps the queue
// busy, so the rows themselves also bring an overdue update. Under Wine an update takes 20 to 60 ms
// (each redraw of the scroll bar asks the theme dozens of times whether it is on, several server
// calls each); run as a message of its own, after the batch, it left the window's longest wait no
// shorter in the benchmark, with the walk then running beside it.
void TResultsList::ScheduleCountRefresh() {
    if (inBatch_ || !Behind())
        return;
    const ULONGLONG now = SteadyMilliseconds();
    if (now - lastRefresh_ >= kCountInterval) {
        Flush();
    } else {
        StartTimer(kCountInterval - (now - lastRefresh_));
    }
}

void TResultsList::StartTimer(ULONGLONG delay) {
    if (timerRunning_ || !list_)
        return;
    SetTimer(list_, kCountTimerId, static_cast<UINT>(delay), CountTimerProc);
    timerRunning_ = true;
}

void TResultsList::StopTimer() {
    if (!timerRunning_)
        return;
    KillTimer(list_, kCountTimerId);
    timerRunning_ = false;
}

// Paints at once what changed: a scan keeps the queue busy, and WM_PAINT comes only to an empty one,
// by which time the next burst of deletions would have turned drawing off again.
void TResultsList::Flush() {
    StopTimer();
    if (Behind())
        lastRefresh_ = SteadyMilliseconds();
    InvalidateStaleRows();
    if (shownCount_ != store_.Count()) {
        shownCount_ = store_.Count();
        SendMessageW(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(shownCount_),
                     LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    ReleaseRedraw();
    RedrawWindow(list_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The control keeps selection by position, so the selection is read before the sort and written
// back at the rows' new positions after it. The order is worked out beside the window's messages:
// at a million rows that takes up to a second.
void TResultsList::Sort(TSortColumn column, bool ascending) {
    if (column == TSortColumn::None)
        return;
    Flush();
    store_.Compact();
    TRedrawOff redrawOff(list_);
    const int count = store_.Count();
    const int focused = NextItem(list_, -1, LVNI_FOCUSED);
    const int mark = static_cast<int>(SendMessageW(list_, LVM_GETSELECTIONMARK, 0, 0));
    const int selected = ControlSelectedCount();
    // All or nothing selected stays so in any order.
    std::vector<bool> wasSelected;
    if (selected > 0 && selected < count) {
        wasSelected.assign(static_cast<std::size_t>(count), false);
        for (int i = NextItem(list_, -1, LVNI_SELECTED); i >= 0 && i < count;
             i = NextItem(list_, i, LVNI_SELECTED)) {
            wasSelected[static_cast<std::size_t>(i)] = true;
            SetState(list_, i, 0, LVIS_SELECTED);
        }
    }
    if (focused >= 0)
        SetState(list_, focused, 0, LVIS_FOCUSED);

    std::vector<std::uint32_t> order;
    RunBesideMessages([&] {
        order =
            column == TSortColumn::Name   ? store_.OrderByName(!ascending)
            : column == TSortColumn::Size ? store_.OrderBySize(ascending)
            : column == TSortColumn::Change
                ? store_.OrderByRank(!ascending,
                                     [this](TRowId row) {
                                         const auto found = changes_.find(row);
                                         return found == changes_.end() ? 0u : ChangeRank(found->second.Kind);
                                     })
                : store_.OrderByTime(ascending);
    });
    // Row i came from position order[i].
    int newFocused = -1, newMark = -1;
    std::vector<int> nowSelected;
    for (int i = 0; i < count; ++i) {
        const int from = static_cast<int>(order[static_cast<std::size_t>(i)]);
        if (!wasSelected.empty() && wasSelected[static_cast<std::size_t>(from)])
            nowSelected.push_back(i);
        if (from == focused)
            newFocused = i;
        if (from == mark)
            newMark = i;
    }
    store_.ApplyOrder(order);

    for (const int i : nowSelected)
        SetState(list_, i, LVIS_SELECTED, LVIS_SELECTED);
    if (newFocused >= 0)
        SetState(list_, newFocused, LVIS_FOCUSED, LVIS_FOCUSED);
    SendMessageW(list_, LVM_SETSELECTIONMARK, 0, newMark);
    sortColumn_ = column;
    sortAscending_ = ascending;
    ShowSortArrow();
}

void TResultsList::ShowSortArrow() {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < columns; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        const int was = item.fmt;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        const bool sorted =
            (i == 0 && sortColumn_ == TSortColumn::Name) || (i == 1 && sortColumn_ == TSortColumn::Time) ||
            (i == 2 && sortColumn_ == TSortColumn::Size) || (i == 3 && sortColumn_ == TSortColumn::Change);
        if (sorted)
            item.fmt |= sortAscending_ ? HDF_SORTUP : HDF_SORTDOWN;
        if (item.fmt != was)
            SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
}

// The control's own selection, so that what it reports to other programs and to screen readers is what
// the user sees. Wine selects owner-data rows one by one (about 0.7 s for a million); drawing is held
// meanwhile, and the one change notice that follows is all this list hears of it.
void TResultsList::SelectAll() {
    Flush();
    if (store_.Count() == 0)
        return;
    TRedrawOff redrawOff(list_);
    SetState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
}

// Many notices may come for one change (a row at a time under Wine): the owner hears once, after them.
void TResultsList::SelectionChanged() {
    if (selectionNoticePending_ || !OnSelectionChanged)
        return;
    selectionNoticePending_ = true;
    Later([this, list = list_] {
        if (!IsWindow(list) || GetPropW(list, kOwnerProperty) != this)
            return;
        selectionNoticePending_ = false;
        if (OnSelectionChanged)
            OnSelectionChanged();
    });
}

int TResultsList::ControlSelectedCount() const {
    return static_cast<int>(SendMessageW(list_, LVM_GETSELECTEDCOUNT, 0, 0));
}

int TResultsList::SelectedCount() const {
    return ControlSelectedCount();
}

int TResultsList::FirstSelected() const {
    return NextItem(list_, -1, LVNI_SELECTED);
}

// Rows the control has not been given yet cannot be selected; rows deleted behind its back are
// deleted only while none is selected.
std::uint64_t TResultsList::SelectedBytes() const {
    const int shown = std::min(shownCount_, store_.Count());
    std::uint64_t bytes = 0;
    if (ControlSelectedCount() >= shown) {
        for (int i = 0; i < shown; ++i)
            bytes += store_.Size(i);
    } else {
        for (int i = FirstSelected(); i >= 0 && i < shown; i = NextItem(list_, i, LVNI_SELECTED))
            bytes += store_.Size(i);
    }
    return bytes;
}

TResultsList::TSelection TResultsList::Selection() {
    Flush();
    store_.Compact();
    TSelection selection;
    selection.Count = static_cast<std::size_t>(std::max(SelectedCount(), 0));
    // All of them need no list of positions: a million rows' positions are a million messages.
    selection.All = selection.Count >= static_cast<std::size_t>(store_.Count());
    if (!selection.All) {
        selection.Positions.reserve(selection.Count);
        for (int i = FirstSelected(); i >= 0 && i < store_.Count(); i = NextItem(list_, i, LVNI_SELECTED))
            selection.Positions.push_back(static_cast<std::uint32_t>(i));
        selection.Count = selection.Positions.size();
    }
    return selection;
}

std::vector<TRowId> TResultsList::SelectedRows() {
    const TSelection selection = Selection();
    std::vector<TRowId> rows(selection.Count);
    for (std::size_t k = 0; k < selection.Count; ++k)
        rows[k] = store_.Id(selection.At(k));
    return rows;
}

std::function<TPathList()> TResultsList::SelectedPathsLater(std::size_t& count) {
    std::erase_if(pendingPaths_,
                  [](const std::weak_ptr<TPendingPaths>& pending) { return pending.expired(); });
    auto pending = std::make_shared<TPendingPaths>(TPendingPaths{SelectedRows(), std::nullopt, this});
    count = pending->Rows.size();
    pendingPaths_.push_back(pending);
    return [pending] {
        if (!pending->Made)
            pending->List->MakePaths(*pending);
        return std::move(*pending->Made);
    };
}

void TResultsList::MakePaths(TPendingPaths& pending) const {
    std::vector<int> rows;
    rows.reserve(pending.Rows.size());
    std::size_t characters = 0;
    for (const TRowId id : pending.Rows)
        if (const int i = store_.IndexOf(id); i >= 0) {
            rows.push_back(i);
            characters += store_.Folder(i).size() + store_.Name(i).size();
        }
    TPathList paths;
    paths.Reserve(rows.size(), characters);
    std::wstring path;
    for (const int i : rows) {
        path.assign(store_.Folder(i));
        path += store_.Name(i);
        paths.Add(path);
    }
    pending.Made = std::move(paths);
    pending.List = nullptr;
}

void TResultsList::MakePendingPaths() {
    for (const std::weak_ptr<TPendingPaths>& weak : pendingPaths_)
        if (const auto pending = weak.lock(); pending && !pending->Made)
            MakePaths(*pending);
    pendingPaths_.clear();
}

std::wstring TResultsList::Path(int index) const {
    std::wstring path(store_.Folder(index));
    path += store_.Name(index);
    return path;
}

TRow TResultsList::Row(int index, bool withText) const {
    TRow row = store_[index];
    row.Time = LocalTimeOf(localTime_, row.Utc);
    if (withText)
        row.TimeText = DateTimeText(row.Time, settings_);
    return row;
}

TClipboardText TResultsList::SelectedText(TCopyLayout layout) {
    // Positions are read from the control here, on its own thread.
    const TSelection selection = Selection();
    const std::size_t count = selection.Count;
    std::optional<TClipboardText> text;
    // The text of a million rows takes a good part of a second to make; the window keeps answering.
    // The text is made on another thread while rows are drawn here: its converter is its own.
    TLocalTimeConverter localTime = localTime_;
    RunBesideMessages([&] {
        std::wstring time;
        const auto parts = [&](std::size_t k) {
            const int i = selection.At(k);
            time.clear();
            if (layout != TCopyLayout::OnlyNames)
                AppendDateTimeText(time, LocalTimeOf(localTime, store_.Utc(i)), settings_);
            return TRowParts{store_.Folder(i), store_.Name(i), time};
        };
        // A line break comes before a line once the text holds anything.
        std::size_t length = 0;
        for (std::size_t k = 0; k < count; ++k)
            length += (length ? 2 : 0) + LineLength(parts(k), layout);
        text.emplace(length, [&](wchar_t* out) {
            wchar_t* at = out;
            for (std::size_t k = 0; k < count; ++k) {
                if (at != out) {
                    *at++ = L'\r';
                    *at++ = L'\n';
                }
                at = WriteLine(at, parts(k), layout);
            }
        });
    });
    return std::move(*text);
}

POINT TResultsList::KeyboardMenuPoint() const {
    POINT point{};
    const int first = FirstSelected();
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    if (first >= 0 &&
        SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(first), reinterpret_cast<LPARAM>(&bounds))) {
        point = {(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
        ClientToScreen(list_, &point);
    } else {
        RECT window{};
        GetWindowRect(list_, &window);
        point = {window.left, window.top};
    }
    return point;
}

int TResultsList::FittingWidth(TSortColumn column) const {
    std::vector<std::wstring> texts;
    if (column == TSortColumn::Time) {
        // Every field at its widest: a two-digit day and month, an afternoon hour.
        TDateTime wide = 0;
        TryEncodeDateTime(SYSTEMTIME{2026, 12, 1, 28, 23, 58, 58, 0}, wide);
        texts.push_back(DateTimeText(wide, settings_));
    } else if (column == TSortColumn::Size) {
        for (const std::uint64_t bytes : {1023ull, 1023ull * 1000, 1023ull * 1024 * 1000})
            texts.push_back(SizeText(bytes));
    } else if (column == TSortColumn::Change) {
        texts = {L"Change", L"Changed", L"Deleted"};
    }
    int widest = 0;
    for (const std::wstring& text : texts)
        widest = std::max(widest, static_cast<int>(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0,
                                                                reinterpret_cast<LPARAM>(text.c_str()))));
    // The control's margins either side of a cell's text, and a little air.
    return widest + 2 * GetSystemMetrics(SM_CXEDGE) + 12;
}

void TResultsList::ApplyFileColumnWidth() {
    RECT window{};
    GetWindowRect(list_, &window);
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 2;
    int others = 0;
    for (int i = 1; i < columns; ++i)
        others += static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
    const int width = FileColumnWidth(window.right - window.left, others, GetSystemMetrics(SM_CXVSCROLL));
    // -1 and -2 would mean "fit the contents" to the control.
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(std::max(width, 0), 0));
}

int TResultsList::FindItem(const NMLVFINDITEMW& find) const {
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz)
        return -1;
    const std::wstring_view wanted(find.lvfi.psz);
    const int count = std::min(shownCount_, store_.Count());
    if (count == 0 || wanted.empty())
        return -1;
    const bool partial = (find.lvfi.flags & LVFI_PARTIAL) != 0;
    const int start = find.iStart >= 0 && find.iStart < count ? find.iStart : 0;
    // Compares a part of the path with the same stretch of the wanted text, case-insensitively.
    const auto same = [](std::wstring_view part, std::wstring_view text) {
        return CompareStringOrdinal(part.data(), static_cast<int>(part.size()), text.data(),
                                    static_cast<int>(text.size()), TRUE) == CSTR_EQUAL;
    };
    for (int step = 0; step < count; ++step) {
        const int i = (start + step) % count;
        if (i < start && !(find.lvfi.flags & LVFI_WRAP))
            break;
        const std::wstring_view folder = store_.Folder(i), name = store_.Name(i);
        const std::size_t size = folder.size() + name.size();
        if (size < wanted.size() || (!partial && size != wanted.size()))
            continue;
        const std::size_t inFolder = std::min(folder.size(), wanted.size());
        if (same(folder.substr(0, inFolder), wanted.substr(0, inFolder)) &&
            same(name.substr(0, wanted.size() - inFolder), wanted.substr(inFolder)))
            return i;
    }
    return -1;
}

// Shortened in the middle as the shell shortens paths, so that the file's name stays in sight; the
// control would cut the end, and it copies at most 259 characters of what it is given.
void TResultsList::ShownPath(int index, std::wstring& text) {
    const std::wstring_view folder = store_.Folder(index), name = store_.Name(index);
    text.assign(folder);
    text += name;
    const int margins = 2 * GetSystemMetrics(SM_CXEDGE) + 8;
    const int width = static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0)) - margins;
    if (!measure_)
        measure_ = CreateCompatibleDC(nullptr);
    if (!measure_)
        return;
    const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(list_, WM_GETFONT, 0, 0));
    if (font != measuredFont_) {
        SelectObject(measure_, font ? font : GetStockObject(DEFAULT_GUI_FONT));
        TEXTMETRICW metrics{};
        GetTextMetricsW(measure_, &metrics);
        measuredFont_ = font;
        widestCharacter_ = metrics.tmMaxCharWidth;
    }
    SIZE extent{};
    const bool fits =
        text.size() < DisplayLimit &&
        ((widestCharacter_ > 0 && static_cast<long long>(text.size()) * widestCharacter_ <= width) ||
         (GetTextExtentPoint32W(measure_, text.c_str(), static_cast<int>(text.size()), &extent) &&
          extent.cx <= width));
    if (!fits && width > 0) {
        text.append(4, L'\0'); // room for the ellipsis
        RECT bounds{0, 0, width, 1000};
        DrawTextW(measure_, text.data(), -1, &bounds,
                  DT_CALCRECT | DT_PATH_ELLIPSIS | DT_MODIFYSTRING | DT_SINGLELINE | DT_NOPREFIX);
        text.resize(std::wcslen(text.c_str()));
    }
    // Wider than any screen: cut further in the middle, the name whole where it can be.
    if (text.size() >= DisplayLimit) {
        const std::size_t keep = std::min(name.size(), DisplayLimit - 5);
        text = std::wstring(folder.substr(0, DisplayLimit - 4 - keep)) + L"..." +
               std::wstring(name.substr(name.size() - keep));
    }
}

std::wstring TResultsList::TipText(int index) {
    if (index < 0 || index >= store_.Count())
        return {};
    std::wstring shown, text = Path(index);
    ShownPath(index, shown);
    text = shown == text ? L"" : text + L"\r\n";
    text += ExactSizeText(store_.Size(index), settings_);
    if (const TChange* change = ChangeOf(index); change && change->Kind != TChangeKind::New) {
        // What the earlier scan saw, where the columns show what is there now.
        text += change->Kind == TChangeKind::Moved ? L"\r\nMoved from " + change->OldPath + L"\r\nBefore: "
                                                   : L"\r\nBefore: ";
        text += ExactSizeText(change->OldSize, settings_) + L", ";
        AppendDateTimeText(text, LocalTimeOf(localTime_, change->OldLastWriteUtc), settings_);
    }
    return text;
}

TRowId TResultsList::AddChange(const std::wstring& root, const TChange& change) {
    const TRowId row = AddRow(root + change.Path, change.LastWriteUtc, change.Size);
    TChange& kept = changes_[row] = change;
    kept.Path.clear();
    if (kept.Kind == TChangeKind::Moved)
        kept.OldPath.insert(0, root);
    return row;
}

const TChange* TResultsList::ChangeOf(int index) const {
    if (changes_.empty() || index < 0 || index >= store_.Count())
        return nullptr;
    const auto found = changes_.find(store_.Id(index));
    return found == changes_.end() ? nullptr : &found->second;
}

bool TResultsList::DeletedSelected() {
    if (changes_.empty())
        return false;
    const TSelection selection = Selection();
    for (std::size_t k = 0; k < selection.Count; ++k)
        if (const TChange* change = ChangeOf(selection.At(k)); change && change->Kind == TChangeKind::Deleted)
            return true;
    return false;
}

void TResultsList::ShowChangeColumn(bool shown) {
    if (shown == changeColumn_)
        return;
    changeColumn_ = shown;
    if (shown) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(L"Change");
        column.cx = FittingWidth(TSortColumn::Change);
        column.iSubItem = 3;
        SendMessageW(list_, LVM_INSERTCOLUMNW, 3, reinterpret_cast<LPARAM>(&column));
    } else {
        SendMessageW(list_, LVM_DELETECOLUMN, 3, 0);
    }
    ApplyFileColumnWidth();
}

bool TResultsList::HandleNotify(const NMHDR& header, LRESULT& result) {
    if (header.hwndFrom != list_)
        return false;
    switch (header.code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item;
        if ((item.mask & LVIF_TEXT) && item.iItem >= 0 && item.iItem < store_.Count() && item.pszText &&
            item.cchTextMax > 0) {
            // Written when asked for: the rows hold the time as its instant and the path in two parts.
            std::wstring text;
            if (item.iSubItem == 0 && (item.mask & (LVIF_IMAGE | LVIF_INDENT))) {
                // Asked for with what drawing needs: the path as it fits the column.
                ShownPath(item.iItem, text);
            } else if (item.iSubItem == 0) {
                text.assign(store_.Folder(item.iItem));
                text += store_.Name(item.iItem);
            } else if (item.iSubItem == 1) {
                AppendDateTimeText(text, LocalTimeOf(localTime_, store_.Utc(item.iItem)), settings_);
            } else if (item.iSubItem == 2) {
                text = SizeText(store_.Size(item.iItem));
            } else if (const TChange* change = ChangeOf(item.iItem); item.iSubItem == 3 && change) {
                text = ChangeText(change->Kind);
            }
            if (text.size() < static_cast<std::size_t>(item.cchTextMax)) {
                std::copy(text.begin(), text.end(), item.pszText);
                item.pszText[text.size()] = L'\0';
            } else {
                // Longer than the asker's buffer: given whole from here until the next request.
                longText_ = std::move(text);
                item.pszText = longText_.data();
            }
        }
        result = 0;
        return true;
    }
    case NM_CUSTOMDRAW: {
        // Rows of deleted files in the system's grey text: their files are gone.
        auto& draw = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
        if (changes_.empty())
            return false;
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
            result = CDRF_NOTIFYITEMDRAW;
            return true;
        }
        if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            const TChange* change = ChangeOf(static_cast<int>(draw.nmcd.dwItemSpec));
            if (change && change->Kind == TChangeKind::Deleted)
                draw.clrText = GetSysColor(COLOR_GRAYTEXT);
            result = CDRF_NEWFONT;
            return true;
        }
        return false;
    }
    case LVN_ODFINDITEMW:
        result = FindItem(reinterpret_cast<const NMLVFINDITEMW&>(header));
        return true;
    case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & LVIS_SELECTED))
            SelectionChanged();
        return false;
    }
    case LVN_ODSTATECHANGED:
        SelectionChanged();
        return false;
    default:
        return false;
    }
}
