// A helper for the tests that drive the real program from outside: it reads what X cannot tell
// (the status bar text, where the client area sits, the regional formats) and holds the clipboard.
//   probe status TEXT MS      waits up to MS for the status bar to contain TEXT; prints the text
//   probe counts TEXT MS      the same for the status bar's second part, the counts
//   probe rows NOT MS         waits up to MS for the results list to read other than NOT, or for the
//                             scan's report; prints what it reads: "COUNT|FIRST ROW", the first
//                             row's file as the list gives it
//   probe press CAPTION       clicks the main window's button with this caption, as the mouse would
//   probe step NOT MS         lets a paused scan go on (Start, Pause) until it has seen another file,
//                             then waits up to MS for the list to read other than NOT; prints what it reads
//   probe pause-at-start MS   prints "ready", then presses Pause as soon as a scan runs (MS at the most)
//   probe arrows              prints the sort arrow of each column header: "none", "up" or "down"
//   probe selection           prints the list's selected count, then each row it reports selected
//   probe client              prints the main window's client origin on the screen: "x y"
//   probe window TITLE MS     waits up to MS for a visible top-level window titled TITLE
//   probe locale              prints the regional date and time items the date-time text uses, one a line
//   probe hold-clipboard HELD RELEASE   holds the clipboard, setting the named event HELD once it
//                             holds it, until the named event RELEASE is set (a minute at the most)
//   probe focus               prints where the program's keyboard focus is: "TITLE|CLASS|TEXT|ENABLED"
//   probe controls            prints the main window's controls, one a line: "CLASS|TEXT|ENABLED|CHECKED"
//   probe bounds              prints the main window's outer bounds "left top width height" and
//                             whether it is "normal", "minimised" or "maximised"
//   probe show normal|minimise|maximise   shows the main window so
//   probe close               asks the main window to close, as its close box does
//   probe redraw              paints the main window and all its controls anew
//   probe clipboard-files     prints each file of the clipboard's CF_HDROP, one a line, then
//                             "effect N" with its "Preferred DropEffect" (or "effect none")
//   probe drop-target MS      opens a window "Quenwick drop target" at 700,100 (300x200) that takes
//                             files dropped on it, prints "ready", and waits up to MS for a drop;
//                             prints each dropped file, one a line, then "effect N" it chose (copy)
#include <windows.h>
#include <algorithm>
#include <commctrl.h>
#include <cwctype>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <string>

namespace {

void Print(const std::wstring& text) {
    const std::wstring line = text + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size, nullptr,
                        nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

struct TFind {
    const wchar_t* Title;
    HWND Found = nullptr;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM data) {
    auto& find = *reinterpret_cast<TFind*>(data);
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    RECT r{};
    GetWindowRect(window, &r);
    // The program's hidden owner window carries its title too, but has no size.
    if (IsWindowVisible(window) && r.right - r.left > 1 && lstrcmpW(text, find.Title) == 0) {
        find.Found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWindow(const wchar_t* title, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        TFind find{title};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&find));
        if (find.Found || GetTickCount64() >= end) {
            return find.Found;
        }
        Sleep(50);
    }
}

std::wstring StatusText(HWND main) {
    HWND bar = FindWindowExW(main, nullptr, STATUSCLASSNAMEW, nullptr);
    if (!bar) {
        return L"";
    }
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(bar, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                             &copied)) {
        return L"(no answer)";
    }
    return text;
}

// Sends a message whose data lies in the program's memory: a copy of data there, read back after.
void SendWithData(HWND window, UINT message, WPARAM wParam, void* data, SIZE_T size) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    void* at = process ? VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE) : nullptr;
    DWORD_PTR result = 0;
    if (at && WriteProcessMemory(process, at, data, size, nullptr) &&
        SendMessageTimeoutW(window, message, wParam, reinterpret_cast<LPARAM>(at), SMTO_ABORTIFHUNG, 5000,
                            &result))
        ReadProcessMemory(process, at, data, size, nullptr);
    if (at)
        VirtualFreeEx(process, at, 0, MEM_RELEASE);
    if (process)
        CloseHandle(process);
}

std::wstring CountsText(HWND main) {
    wchar_t text[1024] = {};
    if (HWND bar = FindWindowExW(main, nullptr, STATUSCLASSNAMEW, nullptr))
        SendWithData(bar, SB_GETTEXTW, 1, text, sizeof text);
    return text;
}

// The list's row count and its first row's file, as the list view gives them to any reader.
std::wstring ListRows(HWND main) {
    HWND list = FindWindowExW(main, nullptr, WC_LISTVIEWW, nullptr);
    if (!list) {
        return L"";
    }
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count)) {
        return L"(no answer)";
    }
    struct TRemote {
        LVITEMW Item;
        wchar_t Text[1024];
    } remote{};
    if (count > 0) {
        // The item points at its text in the program's memory: both travel in one block there.
        DWORD id = 0;
        GetWindowThreadProcessId(list, &id);
        HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
        auto* at = process ? static_cast<TRemote*>(
                                 VirtualAllocEx(process, nullptr, sizeof remote, MEM_COMMIT, PAGE_READWRITE))
                           : nullptr;
        remote.Item.pszText = at ? at->Text : nullptr;
        remote.Item.cchTextMax = 1024;
        DWORD_PTR result = 0;
        if (at && WriteProcessMemory(process, at, &remote, sizeof remote, nullptr) &&
            SendMessageTimeoutW(list, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&at->Item),
                                SMTO_ABORTIFHUNG, 5000, &result))
            ReadProcessMemory(process, at, &remote, sizeof remote, nullptr);
        if (at)
            VirtualFreeEx(process, at, 0, MEM_RELEASE);
        if (process)
            CloseHandle(process);
    }
    remote.Text[1023] = L'\0';
    return std::to_wstring(count) + L"|" + remote.Text;
}

int PrintArrows() {
    HWND main = WaitForWindow(L"Quenwick", 5000);
    HWND list = main ? FindWindowExW(main, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    HWND header = list ? reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)) : nullptr;
    std::wstring line;
    for (int i = 0; header && i < 2; ++i) {
        HDITEMW item{HDI_FORMAT};
        SendWithData(header, HDM_GETITEMW, static_cast<WPARAM>(i), &item, sizeof item);
        line += std::wstring(i ? L" " : L"") + (item.fmt & HDF_SORTUP     ? L"up"
                                                : item.fmt & HDF_SORTDOWN ? L"down"
                                                                          : L"none");
    }
    Print(line);
    return header ? 0 : 1;
}

// What the list view tells any program of its selection: the count, then each selected row, asked
// row by row as a screen reader does.
int PrintSelection() {
    HWND main = WaitForWindow(L"Quenwick", 5000);
    HWND list = main ? FindWindowExW(main, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    if (!list)
        return 1;
    std::wstring line = std::to_wstring(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0));
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count && i < 1000; ++i)
        if (SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) & LVIS_SELECTED)
            line += L" " + std::to_wstring(i);
    Print(line);
    return 0;
}

std::wstring LocaleText(LCTYPE type) {
    wchar_t text[128] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, text, 128);
    return text;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

HWND Button(HWND main, const wchar_t* caption) {
    for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == L"Button" && WindowText(child) == caption) {
            return child;
        }
    }
    return nullptr;
}

// A click on a button of the main window, told to the window as the button tells it: the program
// ignores it, as it ignores a real one, while the button is disabled.
bool Press(HWND main, const wchar_t* caption) {
    HWND button = Button(main, caption);
    DWORD_PTR result = 0;
    return button &&
           SendMessageTimeoutW(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                               reinterpret_cast<LPARAM>(button), SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

// The files seen, as the counts say them ("Paused: 1,234 files seen, ..."): the walk's own count,
// read by the window when it pauses.
std::wstring SeenText(HWND main) {
    const std::wstring counts = CountsText(main);
    std::wstring digits;
    for (wchar_t c : counts.substr(0, counts.find(L" file"))) {
        if (iswdigit(c)) {
            digits += c;
        }
    }
    return digits;
}

// Presses Pause once the window has enabled it, which it does when next idle after a scan starts
// or resumes, ignoring a press before; gap milliseconds later. False if the scan ends first.
bool PauseWhenItCan(HWND main, DWORD gap, ULONGLONG end) {
    HWND pause = Button(main, L"&Pause");
    while (pause && !IsWindowEnabled(pause)) {
        if (GetTickCount64() >= end || StatusText(main).find(L" files for ") != std::wstring::npos) {
            return false;
        }
        Sleep(1);
    }
    Sleep(gap);
    return Press(main, L"&Pause");
}

// Lets a paused scan on by as little as shows, whatever the machine's load: Start and Pause back to
// back, with a wait between them that grows from nothing until the walk has seen another file.
bool Step(HWND main, ULONGLONG end) {
    for (DWORD gap = 0;; gap = std::min<DWORD>(gap * 2 + 1, 64)) {
        if (CountsText(main).rfind(L"Paused: ", 0) != 0) {
            return true; // ended: Start would begin another scan
        }
        const std::wstring before = SeenText(main);
        if (!Press(main, L"&Start")) {
            return false;
        }
        if (!PauseWhenItCan(main, gap, end) || SeenText(main) != before || GetTickCount64() >= end) {
            return true;
        }
    }
}

// Waits up to ms for the list to read other than before, or for the scan's report; gives what it reads.
std::wstring RowsOtherThan(HWND main, const std::wstring& before, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        const std::wstring rows = ListRows(main);
        // The scan's report, ending it, is said with "files for" whether it succeeded or not.
        if (rows != before || StatusText(main).find(L" files for ") != std::wstring::npos ||
            GetTickCount64() >= end) {
            return rows;
        }
        Sleep(20);
    }
}

// The control and window state the keyboard tests look at.
int PrintFocus() {
    HWND main = WaitForWindow(L"Quenwick", 5000);
    if (!main) {
        return 1;
    }
    GUITHREADINFO info{sizeof info};
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) || !info.hwndFocus) {
        Print(L"");
        return 0;
    }
    HWND top = GetAncestor(info.hwndFocus, GA_ROOT);
    Print(WindowText(top) + L"|" + ClassName(info.hwndFocus) + L"|" + WindowText(info.hwndFocus) + L"|" +
          (IsWindowEnabled(info.hwndFocus) ? L"1" : L"0"));
    return 0;
}

int PrintControls() {
    HWND main = WaitForWindow(L"Quenwick", 5000);
    if (!main) {
        return 1;
    }
    for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const bool checked = SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
        Print(ClassName(child) + L"|" + WindowText(child) + L"|" + (IsWindowEnabled(child) ? L"1" : L"0") +
              L"|" + (checked ? L"1" : L"0"));
    }
    return 0;
}

int PrintBounds() {
    HWND main = WaitForWindow(L"Quenwick", 5000);
    if (!main) {
        return 1;
    }
    RECT r{};
    GetWindowRect(main, &r);
    const wchar_t* state = IsIconic(main) ? L"minimised" : IsZoomed(main) ? L"maximised" : L"normal";
    Print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) +
          L" " + std::to_wstring(r.bottom - r.top) + L" " + state);
    return 0;
}

// The files of an HDROP, in their order.
void PrintDroppedFiles(HDROP drop) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0), L'\0');
        DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
        Print(path);
    }
}

int PrintClipboardFiles() {
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const ULONGLONG end = GetTickCount64() + 5000;
    while (!OpenClipboard(window)) {
        if (GetTickCount64() >= end) {
            return 1;
        }
        Sleep(10);
    }
    HANDLE drop = GetClipboardData(CF_HDROP);
    if (drop) {
        PrintDroppedFiles(static_cast<HDROP>(drop));
    }
    HANDLE effect = GetClipboardData(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT));
    const DWORD* value =
        effect && GlobalSize(effect) >= sizeof(DWORD) ? static_cast<DWORD*>(GlobalLock(effect)) : nullptr;
    Print(value ? L"effect " + std::to_wstring(*value) : L"effect none");
    if (value) {
        GlobalUnlock(effect);
    }
    CloseClipboard();
    return drop ? 0 : 1;
}

// Takes a drop of files as a copy; the drop ends the wait.
class TDropTarget : public IDropTarget {
  public:
    bool Dropped = false;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        *object = id == IID_IUnknown || id == IID_IDropTarget ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    // Lives on the stack until the window is gone.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        FORMATETC files{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        takes_ = data->QueryGetData(&files) == S_OK;
        *effect = Choose(*effect);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = Choose(*effect);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        FORMATETC files{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        *effect = Choose(*effect);
        if (data->GetData(&files, &medium) == S_OK) {
            PrintDroppedFiles(static_cast<HDROP>(medium.hGlobal));
            ReleaseStgMedium(&medium);
        }
        Print(L"effect " + std::to_wstring(*effect));
        Dropped = true;
        return S_OK;
    }

  private:
    DWORD Choose(DWORD allowed) const { return takes_ && (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : 0; }
    bool takes_ = false;
};

int WaitForDrop(DWORD ms) {
    if (FAILED(OleInitialize(nullptr))) {
        return 1;
    }
    WNDCLASSEXW type{sizeof type};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    type.lpszClassName = L"QuenwickDropTarget";
    RegisterClassExW(&type);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, type.lpszClassName, L"Quenwick drop target",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 700, 100, 300, 200, nullptr, nullptr,
                                  type.hInstance, nullptr);
    TDropTarget target;
    if (!window || FAILED(RegisterDragDrop(window, &target))) {
        return 1;
    }
    Print(L"ready");
    const ULONGLONG end = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); !target.Dropped && now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    RevokeDragDrop(window);
    DestroyWindow(window);
    OleUninitialize();
    return target.Dropped ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if ((mode == L"status" || mode == L"counts") && argc == 4) {
        const ULONGLONG end = GetTickCount64() + static_cast<DWORD>(_wtoi(argv[3]));
        std::wstring text;
        for (;;) {
            if (HWND main = WaitForWindow(L"Quenwick", 0)) {
                text = mode == L"status" ? StatusText(main) : CountsText(main);
                if (text.find(argv[2]) != std::wstring::npos) {
                    Print(text);
                    return 0;
                }
            }
            if (GetTickCount64() >= end) {
                Print(text);
                return 1;
            }
            Sleep(50);
        }
    }
    if ((mode == L"rows" || mode == L"step") && argc == 4) {
        HWND main = WaitForWindow(L"Quenwick", 5000);
        const DWORD ms = static_cast<DWORD>(_wtoi(argv[3]));
        if (!main || (mode == L"step" && !Step(main, GetTickCount64() + ms))) {
            return 1;
        }
        const std::wstring rows = RowsOtherThan(main, argv[2], ms);
        Print(rows);
        return rows != argv[2] ? 0 : 1;
    }
    if (mode == L"pause-at-start" && argc == 3) {
        HWND main = WaitForWindow(L"Quenwick", 5000);
        if (!main) {
            return 1;
        }
        Print(L"ready");
        return PauseWhenItCan(main, 0, GetTickCount64() + static_cast<DWORD>(_wtoi(argv[2]))) ? 0 : 1;
    }
    if (mode == L"press" && argc == 3) {
        HWND main = WaitForWindow(L"Quenwick", 5000);
        return main && Press(main, argv[2]) ? 0 : 1;
    }
    if (mode == L"client") {
        HWND main = WaitForWindow(L"Quenwick", 10000);
        if (!main) {
            return 1;
        }
        POINT origin{0, 0};
        ClientToScreen(main, &origin);
        Print(std::to_wstring(origin.x) + L" " + std::to_wstring(origin.y));
        return 0;
    }
    if (mode == L"window" && argc == 4) {
        return WaitForWindow(argv[2], static_cast<DWORD>(_wtoi(argv[3]))) ? 0 : 1;
    }
    if (mode == L"locale") {
        for (LCTYPE type : {LOCALE_SSHORTDATE, LOCALE_SDATE, LOCALE_STIME, LOCALE_ITLZERO, LOCALE_ITIME,
                            LOCALE_S1159, LOCALE_S2359, LOCALE_ITIMEMARKPOSN}) {
            Print(LocaleText(type));
        }
        return 0;
    }
    if (mode == L"hold-clipboard" && argc == 4) {
        HANDLE held = CreateEventW(nullptr, TRUE, FALSE, argv[2]);
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, argv[3]);
        HWND window =
            CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        const ULONGLONG end = GetTickCount64() + 5000;
        while (!OpenClipboard(window)) {
            if (GetTickCount64() >= end) {
                return 1;
            }
            Sleep(10);
        }
        SetEvent(held);
        WaitForSingleObject(release, 60000);
        CloseClipboard();
        return 0;
    }
    if (mode == L"focus") {
        return PrintFocus();
    }
    if (mode == L"arrows") {
        return PrintArrows();
    }
    if (mode == L"selection") {
        return PrintSelection();
    }
    if (mode == L"controls") {
        return PrintControls();
    }
    if (mode == L"bounds") {
        return PrintBounds();
    }
    if (mode == L"show" && argc == 3) {
        HWND main = WaitForWindow(L"Quenwick", 5000);
        const std::wstring how = argv[2];
        const int command = how == L"minimise" ? SW_MINIMIZE : how == L"maximise" ? SW_MAXIMIZE : SW_RESTORE;
        return main && ShowWindowAsync(main, command) ? 0 : 1;
    }
    if (mode == L"close") {
        HWND main = WaitForWindow(L"Quenwick", 5000);
        return main && PostMessageW(main, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (mode == L"redraw") {
        HWND main = WaitForWindow(L"Quenwick", 5000);
        return main && RedrawWindow(main, nullptr, nullptr,
                                    RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW)
                   ? 0
                   : 1;
    }
    if (mode == L"clipboard-files") {
        return PrintClipboardFiles();
    }
    if (mode == L"drop-target" && argc == 3) {
        return WaitForDrop(static_cast<DWORD>(_wtoi(argv[2])));
    }
    Print(L"usage: probe status TEXT MS | counts TEXT MS | rows NOT MS | press CAPTION | step NOT MS | "
          L"arrows | selection | client | window TITLE MS | locale | hold-clipboard HELD RELEASE | focus |"
          L" controls | bounds | show normal|minimise|maximise | close | redraw | clipboard-files |"
          L" drop-target MS");
    return 2;
}
