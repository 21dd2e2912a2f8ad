#include "clipboard_support.h"
#include "scan/scan_harness.h"
#include "test_support.h"
#include "ui/results_list.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {
// A parent window that passes the list's notifications on, as the main window does.
LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        auto* list = reinterpret_cast<TResultsList*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        LRESULT result = 0;
        if (list && list->HandleNotify(*reinterpret_cast<const NMHDR*>(lParam), result))
            return result;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct TSeenMessages {
    std::vector<LPARAM> CountFlags;
    std::vector<WPARAM> Redraws;
};

// Records the item-count changes and redraw switches that reach the control.
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR data) {
    auto* seen = reinterpret_cast<TSeenMessages*>(data);
    if (message == LVM_SETITEMCOUNT)
        seen->CountFlags.push_back(lParam);
    if (message == WM_SETREDRAW)
        seen->Redraws.push_back(wParam);
    return DefSubclassProc(window, message, wParam, lParam);
}

class ResultsListTest : public testing::Test {
  protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ResultsListTestParent";
        RegisterClassW(&windowClass);
        // Hidden: under Xvfb without a window manager Wine waits two seconds to unmap a shown window.
        parent_ = CreateWindowExW(0, windowClass.lpszClassName, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_OWNERDATA, 0, 0, 383,
                                200, parent_, nullptr, windowClass.hInstance, nullptr);
        SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
        AddColumn(0, L"File", 100);
        AddColumn(1, L"Date/Time", 120);
        AddColumn(2, L"Size", 70);
        results_ = std::make_unique<TResultsList>(list_);
        SetWindowLongPtrW(parent_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(results_.get()));
    }
    void TearDown() override {
        SetWindowLongPtrW(parent_, GWLP_USERDATA, 0);
        results_.reset();
        DestroyWindow(parent_);
    }

    void AddColumn(int index, const wchar_t* caption, int width) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = index == 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.pszText = const_cast<LPWSTR>(caption);
        column.cx = width;
        SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    }
    // Rows "p<i>" with time i, so names and times run in opposite directions when numbered downwards.
    std::vector<TRowId> AddRows(const std::vector<int>& numbers) {
        std::vector<TRowId> ids;
        for (int n : numbers)
            ids.push_back(results_->AddRow(L"C:\\p" + std::to_wstring(n), UtcTicks(40000.0 + n)));
        results_->Flush();
        return ids;
    }
    int ItemCount() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }
    // The selected rows' lines as they reach the clipboard.
    std::wstring Copied(TCopyLayout layout) {
        results_->SelectedText(layout).Place(parent_);
        return clipboard_support::ReadClipboard(parent_).Unicode;
    }
    std::wstring Text(int index, int column) const {
        wchar_t buffer[512] = L"?";
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = 512;
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    std::vector<std::wstring> Captions() const {
        std::vector<std::wstring> captions;
        for (int i = 0; i < ItemCount(); ++i)
            captions.push_back(Text(i, 0));
        return captions;
    }
    // The captions of the rows the control reports as selected, in list order.
    std::vector<std::wstring> SelectedCaptions() const {
        std::vector<std::wstring> captions;
        for (int i = -1; (i = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(i),
                                                            LVNI_SELECTED))) >= 0;)
            captions.push_back(Text(i, 0));
        return captions;
    }
    std::wstring FocusedCaption() const {
        const int i =
            static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
        return i < 0 ? L"" : Text(i, 0);
    }
    void SetState(int index, UINT state, UINT mask) {
        LVITEMW item{};
        item.state = state;
        item.stateMask = mask;
        SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
    int SortArrow(int column) const {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(ListView_GetHeader(list_), HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    }
    void Select(std::initializer_list<int> indices) {
        for (int i : indices)
            SetState(i, LVIS_SELECTED, LVIS_SELECTED);
    }
    HWND parent_ = nullptr, list_ = nullptr;
    std::unique_ptr<TResultsList> results_;
};
} // namespace

TEST_F(ResultsListTest, ShowsPathAndTimeOfEachRow) {
    AddRows({3, 1, 2});
    ASSERT_EQ(3, ItemCount());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p3", L"C:\\p1", L"C:\\p2"}), Captions());
    EXPECT_EQ(DateTimeText(40001, UserFormatSettings()), Text(1, 1));
    // Drawn, a path too wide for its column, or longer than what the control copies, is shortened in
    // its middle and keeps its file's name; read and copied, it is whole.
    std::wstring copied;
    for (const std::size_t length : {40, 400}) {
        const std::wstring path = L"C:\\" + std::wstring(length, L'd') + L"\\name.txt";
        results_->AddRow(path, UtcTicks(1));
        results_->Flush();
        wchar_t buffer[260] = {};
        NMLVDISPINFOW drawn{{list_, 0, LVN_GETDISPINFOW},
                            {LVIF_TEXT | LVIF_IMAGE | LVIF_INDENT, ItemCount() - 1, 0, 0, 0, buffer, 260}};
        LRESULT result = 0;
        results_->HandleNotify(drawn.hdr, result);
        EXPECT_TRUE(std::wstring_view(drawn.item.pszText).ends_with(L"...\\name.txt") &&
                    wcslen(drawn.item.pszText) < 260);
        EXPECT_EQ(path, Text(ItemCount() - 1, 0));
        EXPECT_EQ(path + L"\r\n0 bytes", results_->TipText(ItemCount() - 1)) << "whole in the tip";
        copied += (copied.empty() ? L"" : L"\r\n") + path;
    }
    Select({3, 4});
    EXPECT_EQ(copied, Copied(TCopyLayout::OnlyNames));
    EXPECT_EQ(L"0 bytes", results_->TipText(0)) << "a path shown whole is not repeated";
}

// Sizes in the shell's units and every byte in the row's tip; the sort by size is largest first by
// the exact number, then smallest first, rows of one size in the order they came, with the arrow;
// the selection's sizes add up whether the control lists the rows or has them all selected.
TEST_F(ResultsListTest, ShowsSortsAndSumsTheRowsSizes) {
    const std::wstring g = UserFormatSettings().ThousandSeparator;
    const struct {
        std::uint64_t Bytes;
        std::wstring Text, Tip;
    } rows[] = {
        {1024, L"1.00 KB", L"1" + g + L"024 bytes"},
        {0, L"0 bytes", L"0 bytes"},
        {(std::uint64_t{1} << 53) + 1, L"8.00 PB",
         L"9" + g + L"007" + g + L"199" + g + L"254" + g + L"740" + g + L"993 bytes"},
        {1023, L"1023 bytes", L"1" + g + L"023 bytes"},
        {(std::uint64_t{1} << 32) + 1, L"4.00 GB", L"4" + g + L"294" + g + L"967" + g + L"297 bytes"},
        {1'048'575, L"0.99 MB", L"1" + g + L"048" + g + L"575 bytes"},
        {1024, L"1.00 KB", L"1" + g + L"024 bytes"},
        {1, L"1 bytes", L"1 byte"},
    };
    std::uint64_t total = 0;
    for (std::size_t k = 0; k < std::size(rows); ++k) {
        results_->AddRow(L"C:\\s" + std::to_wstring(k), UtcTicks(40000.0), rows[k].Bytes);
        total += rows[k].Bytes;
    }
    results_->Flush();
    for (int i = 0; i < ItemCount(); ++i)
        EXPECT_EQ(rows[i].Text + L"|" + rows[i].Tip, Text(i, 2) + L"|" + results_->TipText(i))
            << rows[i].Bytes;
    const auto names = [](std::initializer_list<int> order) {
        std::vector<std::wstring> captions;
        for (int k : order)
            captions.push_back(L"C:\\s" + std::to_wstring(k));
        return captions;
    };
    Select({2, 5});
    results_->SortBySize();
    EXPECT_EQ(names({2, 4, 5, 0, 6, 3, 7, 1}), Captions());
    EXPECT_EQ(HDF_SORTDOWN, SortArrow(2));
    EXPECT_EQ(0, SortArrow(1));
    EXPECT_EQ(rows[2].Bytes + rows[5].Bytes, results_->SelectedBytes());
    results_->Sort(TSortColumn::Size, true);
    EXPECT_EQ(names({1, 7, 3, 0, 6, 5, 4, 2}), Captions());
    EXPECT_EQ(HDF_SORTUP, SortArrow(2));
    EXPECT_EQ(names({5, 2}), SelectedCaptions());
    results_->SelectAll();
    EXPECT_EQ(total, results_->SelectedBytes());
}

// The list's clock, moved by the tests: how often the control hears of new rows depends on it alone.
std::uint64_t clockMs = 0;
std::uint64_t TestClock() {
    return clockMs;
}

class ResultsListClockTest : public ResultsListTest {
  protected:
    void SetUp() override {
        clockMs = 1'000'000;
        SetSteadyClockForTesting(TestClock);
        ResultsListTest::SetUp();
        SetWindowSubclass(list_, RecordingProc, 1, reinterpret_cast<DWORD_PTR>(&seen));
    }
    void TearDown() override {
        RemoveWindowSubclass(list_, RecordingProc, 1);
        ResultsListTest::TearDown();
        SetSteadyClockForTesting(nullptr);
    }
    TSeenMessages seen;
};

// Streaming rows must not flood the control with count changes, and the last ones must still arrive
// without anyone calling Flush. No message is served while they stream, as during a busy scan.
TEST_F(ResultsListClockTest, ItemCountFollowsStreamedRowsAtMostTenTimesASecond) {
    std::vector<TRowId> ids;
    for (int i = 0; i < 20000; ++i) {
        if (i % 40 == 0)
            ++clockMs; // 500 ms in all
        ids.push_back(results_->AddRow(L"C:\\f" + std::to_wstring(i), UtcTicks(i)));
    }
    EXPECT_EQ(5u, seen.CountFlags.size()) << "at the start, then once every 100 ms";
    // The ranking's deletions come in bursts too. With no row marked they reach the control with the
    // next count; with a row focused, drawing is held off meanwhile, never for good.
    const auto deleteRows = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            results_->DeleteRow(results_->IndexOfRow(ids[static_cast<std::size_t>(i)]));
    };
    deleteRows(0, 100);
    EXPECT_TRUE(PumpUntil([&] { return ItemCount() == 19900; }));
    EXPECT_TRUE(seen.Redraws.empty());
    SetState(19898, LVIS_FOCUSED, LVIS_FOCUSED);
    deleteRows(100, 200);
    EXPECT_TRUE(PumpUntil(
        [&] { return ItemCount() == 19800 && !seen.Redraws.empty() && seen.Redraws.back() == TRUE; }));
    EXPECT_EQ(L"C:\\f19998", FocusedCaption());
    for (LPARAM flags : seen.CountFlags)
        EXPECT_EQ(LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL, flags);
    EXPECT_EQ((std::vector<WPARAM>{FALSE, TRUE}), seen.Redraws);
    EXPECT_EQ(L"C:\\f200", Text(0, 0));
    EXPECT_EQ(L"C:\\f19999", Text(19799, 0));
    // Batches that turn rows over, added first: between messages the control is never short (one
    // row focused) nor long (an update due as the batch begins, nothing marked).
    for (const bool focused : {true, false}) {
        SetState(focused ? 19798 : -1, focused ? LVIS_FOCUSED : 0, LVIS_FOCUSED);
        SendMessageW(list_, LVM_SETSELECTIONMARK, 0, focused ? 19798 : -1);
        clockMs += 100;
        const int from = focused ? 200 : 300;
        results_->BeginBatch();
        for (int i = from; i < from + 100; ++i)
            results_->AddRow(L"C:\\g" + std::to_wstring(i), UtcTicks(i));
        deleteRows(from, from + 100);
        results_->EndBatch();
        EXPECT_EQ(19800, ItemCount()) << focused;
    }
}

// A scan keeps the queue busy, and WM_TIMER comes only to an empty one: new rows must reach the
// control, and drawing held by deletions must come back, about ten times a second without it.
TEST_F(ResultsListClockTest, RowsAndDrawingComeBackWhileNoMessageIsServed) {
    std::vector<TRowId> ids;
    // A selected row that stays: drawing is then held for the deletions.
    AddRows({0});
    Select({0});
    for (int ms = 0; ms < 450; ++ms, ++clockMs) {
        ids.push_back(results_->AddRow(L"C:\\f" + std::to_wstring(ids.size()), UtcTicks(1.0)));
        if (ids.size() > 50)
            results_->DeleteRow(results_->IndexOfRow(ids[ids.size() - 51]));
    }
    EXPECT_GE(seen.CountFlags.size(), 4u);
    EXPECT_GE(std::count(seen.Redraws.begin(), seen.Redraws.end(), WPARAM{TRUE}), 3);
}

TEST_F(ResultsListTest, SelectionAndFocusFollowTheirRowsThroughSorts) {
    AddRows({5, 1, 4, 2, 3}); // names p5 p1 p4 p2 p3
    Select({1, 2});           // p1, p4
    SetState(2, LVIS_FOCUSED, LVIS_FOCUSED);

    results_->SortByTime();
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p5", L"C:\\p4", L"C:\\p3", L"C:\\p2", L"C:\\p1"}), Captions());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p4", L"C:\\p1"}), SelectedCaptions());
    EXPECT_EQ(L"C:\\p4", FocusedCaption());
    EXPECT_EQ(2, results_->SelectedCount());
    EXPECT_EQ(L"C:\\p4\r\nC:\\p1", Copied(TCopyLayout::OnlyNames));

    results_->SortByName();
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p1", L"C:\\p2", L"C:\\p3", L"C:\\p4", L"C:\\p5"}), Captions());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p1", L"C:\\p4"}), SelectedCaptions());
    EXPECT_EQ(L"C:\\p4", FocusedCaption());
    EXPECT_EQ(0, results_->FirstSelected());
    const auto text = [](int n) { return DateTimeText(40000.0 + n, UserFormatSettings()); };
    EXPECT_EQ(text(1) + L"\tC:\\p1\t\r\n" + text(4) + L"\tC:\\p4\t", Copied(TCopyLayout::TimeAndName));
}

// Each sort has its one direction: the same sort twice gives the same order.
TEST_F(ResultsListTest, SortsByNameOrNewestFirstTheSameEachTime) {
    AddRows({2, 3, 1});
    const std::vector<std::wstring> byName{L"C:\\p1", L"C:\\p2", L"C:\\p3"};
    const std::vector<std::wstring> byTime{L"C:\\p3", L"C:\\p2", L"C:\\p1"};
    results_->SortByName();
    EXPECT_EQ(byName, Captions());
    results_->SortByTime();
    EXPECT_EQ(byTime, Captions());
    results_->SortByTime();
    EXPECT_EQ(byTime, Captions());
    results_->SortByName();
    EXPECT_EQ(byName, Captions());
}

// The ranking deletes by identity: rows shown or not yet shown, before and after a sort.
TEST_F(ResultsListTest, DeletingKeepsOtherRowsSelectionAndFocus) {
    const std::vector<TRowId> ids = AddRows({1, 2, 3, 4, 5});
    Select({1, 3}); // p2, p4
    SetState(3, LVIS_FOCUSED, LVIS_FOCUSED);
    results_->DeleteRow(results_->IndexOfRow(ids[2]));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p1", L"C:\\p2", L"C:\\p4", L"C:\\p5"}), Captions());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p2", L"C:\\p4"}), SelectedCaptions());
    EXPECT_EQ(L"C:\\p4", FocusedCaption());

    results_->SortByTime(); // p5 p4 p2 p1
    const TRowId late = results_->AddRow(L"C:\\p9", UtcTicks(40009));
    results_->AddRow(L"C:\\p0", UtcTicks(40000));
    results_->DeleteRow(results_->IndexOfRow(ids[1])); // p2: shown, selected
    results_->DeleteRow(results_->IndexOfRow(late));
    results_->Flush();
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p5", L"C:\\p4", L"C:\\p1", L"C:\\p0"}), Captions());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p4"}), SelectedCaptions());
    EXPECT_EQ(-1, results_->IndexOfRow(ids[1]));
    EXPECT_EQ(2, results_->IndexOfRow(ids[0]));
}

TEST_F(ResultsListTest, ClearEmptiesListAndSelectionAtOnce) {
    const std::vector<TRowId> old = AddRows({1, 2, 3});
    results_->SelectAll();
    results_->Clear();
    EXPECT_EQ(0, ItemCount());
    EXPECT_EQ(0, results_->SelectedCount());
    EXPECT_EQ(-1, results_->IndexOfRow(old[0]));
    AddRows({7});
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\p7"}), Captions());
    EXPECT_EQ(0, results_->SelectedCount());
}

TEST_F(ResultsListTest, SelectAllKeepsFocusAndScrollPosition) {
    std::vector<int> numbers;
    for (int i = 0; i < 300; ++i)
        numbers.push_back(i);
    AddRows(numbers);
    SendMessageW(list_, LVM_ENSUREVISIBLE, 250, FALSE);
    SetState(240, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    const LRESULT top = SendMessageW(list_, LVM_GETTOPINDEX, 0, 0);
    ASSERT_GT(top, 0);
    int notices = 0;
    results_->OnSelectionChanged = [&] { ++notices; };
    results_->SelectAll();
    EXPECT_EQ(300, results_->SelectedCount());
    // The control's own selection: what other programs and screen readers read is what is drawn.
    EXPECT_EQ(300, SendMessageW(list_, LVM_GETSELECTEDCOUNT, 0, 0));
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(LVIS_SELECTED, SendMessageW(list_, LVM_GETITEMSTATE, i, LVIS_SELECTED)) << i;
    const std::wstring copied = Copied(TCopyLayout::OnlyNames);
    EXPECT_EQ(299, std::count(copied.begin(), copied.end(), L'\n'));
    EXPECT_EQ(L"C:\\p240", FocusedCaption());
    EXPECT_EQ(top, SendMessageW(list_, LVM_GETTOPINDEX, 0, 0));
    // Rows added later are not selected, deleted ones no longer count, Ctrl+click takes one out.
    const TRowId added = results_->AddRow(L"C:\\late", UtcTicks(1));
    results_->DeleteRow(results_->IndexOfRow(added) - 1);
    results_->Flush();
    EXPECT_EQ(299, results_->SelectedCount());
    EXPECT_EQ(0, results_->FirstSelected());
    SetState(240, 0, LVIS_SELECTED);
    EXPECT_EQ(298, results_->SelectedCount());
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    EXPECT_EQ(1, notices) << "one notice for a burst of changes";
}

TEST_F(ResultsListTest, TypingFindsRowsByTheStartOfTheirPath) {
    AddRows({10, 20, 21});
    LVFINDINFOW find{};
    find.flags = LVFI_STRING | LVFI_PARTIAL | LVFI_WRAP;
    find.psz = L"c:\\p2";
    EXPECT_EQ(1,
              SendMessageW(list_, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    find.flags = LVFI_STRING;
    find.psz = L"C:\\p21";
    EXPECT_EQ(2,
              SendMessageW(list_, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    find.psz = L"D:";
    EXPECT_EQ(-1,
              SendMessageW(list_, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

TEST(FileColumnWidth, LeavesRoomForTheOtherColumnsAndScrollBar) {
    EXPECT_EQ(242, FileColumnWidth(383, 120, 17));
    EXPECT_EQ(342, FileColumnWidth(483, 120, 17));
}

TEST_F(ResultsListTest, AppliesFileColumnWidthFromTheListsSize) {
    const int scrollBar = GetSystemMetrics(SM_CXVSCROLL);
    results_->ApplyFileColumnWidth();
    EXPECT_EQ(383 - 120 - 70 - scrollBar - 4, SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0));
    SetWindowPos(list_, nullptr, 0, 0, 483, 200, SWP_NOMOVE | SWP_NOZORDER);
    results_->ApplyFileColumnWidth();
    EXPECT_EQ(483 - 120 - 70 - scrollBar - 4, SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0));
}
