// What single calls cost under Wine, one at a time and in the smallest setting: the figures that
// bound the window cases where our own code does little per row.
#include <windows.h>
#include <string>

// After windows.h, which it needs.
#include <commctrl.h>

#include "bench_support.h"
#include "toolkit/handoff.h"

namespace {

HWND OwnerDataList(int rows) {
    HWND frame = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 400, nullptr,
                                 nullptr, nullptr, nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 0,
                                0, 600, 400, frame, nullptr, nullptr, nullptr);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 300;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    SendMessageW(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows), 0);
    return list;
}

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

// Runs step calls times on an owner-data list of the given rows with drawing held; the seconds taken.
template <typename Step> double SecondsOnHeldList(int rows, int calls, Step step) {
    HWND list = OwnerDataList(rows);
    Pump();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    const double start = Seconds();
    for (int i = 0; i < calls; ++i) {
        step(list, i);
    }
    const double seconds = Seconds() - start;
    DestroyWindow(GetParent(list));
    return seconds;
}

constexpr int kCalls = 100000;

std::string Microseconds(const char* name, double seconds, int calls) {
    return std::string(" ") + name + "_us=" + std::to_string(seconds / calls * 1e6);
}

} // namespace

int wmain() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    CreateHandOffWindow();
    std::string line;

    // The number mode's burst: delete the first row of a 100-row owner-data list, drawing held.
    line += Microseconds("delete_row_and_recount",
                         SecondsOnHeldList(100, kCalls,
                                           [](HWND list, int) {
                                               SendMessageW(list, LVM_DELETEITEM, 0, 0);
                                               SendMessageW(list, LVM_SETITEMCOUNT, 100,
                                                            LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
                                           }),
                         kCalls);
    // The same recount alone, as the delete above pays for it too.
    line += Microseconds("recount",
                         SecondsOnHeldList(100, kCalls,
                                           [](HWND list, int i) {
                                               SendMessageW(list, LVM_SETITEMCOUNT, 100 + (i & 1),
                                                            LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
                                           }),
                         kCalls);
    // Selecting every row of a million-row owner-data list in one call, drawing held.
    {
        HWND list = OwnerDataList(1000000);
        Pump();
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        LVITEMW item{};
        item.state = LVIS_SELECTED;
        item.stateMask = LVIS_SELECTED;
        const double start = Seconds();
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
        line += " select_all_1m_seconds=" + std::to_string(Seconds() - start);
        item.state = 0;
        const double clear = Seconds();
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
        line += " unselect_all_1m_seconds=" + std::to_string(Seconds() - clear);
        DestroyWindow(GetParent(list));
    }
    // One blocking hand-off from another thread, served by this thread's message loop.
    {
        const int calls = 20000;
        double elapsed = 0;
        bool done = false;
        HANDLE worker = CreateThread(
            nullptr, 0,
            [](void* context) -> DWORD {
                auto* state = static_cast<std::pair<double*, bool*>*>(context);
                const double start = Seconds();
                for (int i = 0; i < 20000; ++i) {
                    Synchronize([] {});
                }
                *state->first = Seconds() - start;
                Synchronize([state] { *state->second = true; });
                return 0;
            },
            new std::pair<double*, bool*>(&elapsed, &done), 0, nullptr);
        MSG message;
        while (!done && GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
        line += Microseconds("hand_off", elapsed, calls);
    }
    // The date-time text of one row.
    {
        const TFormatSettings settings = UserFormatSettings();
        const int calls = 200000;
        std::size_t length = 0;
        const double start = Seconds();
        for (int i = 0; i < calls; ++i) {
            length += DateTimeText(45000.0 + i * 0.001, settings).size();
        }
        line += Microseconds("date_time_text", Seconds() - start, calls) + " chars=" + std::to_string(length);
    }
    // Placing the text of a million rows (60 characters each) on the clipboard, both copies made
    // beforehand: the part of Copy that must run on the window's thread.
    {
        const std::size_t length = 1000000 * 62;
        HGLOBAL wide = GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t));
        HGLOBAL ansi = GlobalAlloc(GMEM_MOVEABLE, length + 1);
        auto* chars = static_cast<wchar_t*>(GlobalLock(wide));
        for (std::size_t i = 0; i < length; ++i)
            chars[i] = i % 62 == 60 ? L'\r' : i % 62 == 61 ? L'\n' : L'a' + i % 26;
        chars[length] = 0;
        GlobalUnlock(wide);
        auto* bytes = static_cast<char*>(GlobalLock(ansi));
        for (std::size_t i = 0; i <= length; ++i)
            bytes[i] = static_cast<char>(chars[i]);
        GlobalUnlock(ansi);
        const double start = Seconds();
        if (OpenClipboard(HandOffWindow())) {
            EmptyClipboard();
            SetClipboardData(CF_TEXT, ansi);
            SetClipboardData(CF_UNICODETEXT, wide);
            CloseClipboard();
        }
        line += " clipboard_1m_rows_seconds=" + std::to_string(Seconds() - start);
    }
    PrintResult(line.substr(1));
    return 0;
}
