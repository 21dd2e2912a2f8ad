// The shell menu's host: a real popup menu driven with keys, messages forwarded to the menu only while it
// is open, the chosen command invoked with the owner; the shell's own menu for files of one folder and two.
#include "toolkit/shell_menu.h"
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using TKeys = std::vector<std::pair<UINT, WPARAM>>;
const std::pair<UINT, WPARAM> Down{WM_KEYDOWN, VK_DOWN}, Right{WM_KEYDOWN, VK_RIGHT},
    NoMnemonic{WM_CHAR, L'z'}, Enter{WM_KEYDOWN, VK_RETURN}, Escape{WM_KEYDOWN, VK_ESCAPE};
const UINT Messages[] = {WM_INITMENUPOPUP, WM_MEASUREITEM, WM_DRAWITEM, WM_MENUCHAR}; // bits 1, 2, 4, 8

// The menu's own loop reads the keys, posted once it waits; after a generous deadline the menu is ended,
// so that a menu that never gets them fails the test instead of hanging it.
TKeys Keys;
LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ENTERIDLE && wParam == MSGF_MENU && !Keys.empty()) {
        for (const auto& [key, code] : std::exchange(Keys, {})) {
            PostMessageW(window, key, code, 0);
        }
        SetTimer(window, 1, 60000, nullptr);
    } else if (message == WM_TIMER && KillTimer(window, 1)) {
        EndMenu();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class ShellMenuTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        WNDCLASSW windowClass{0, OwnerProc, 0, 0, GetModuleHandleW(nullptr)};
        windowClass.lpszClassName = L"ShellMenuTestOwner";
        RegisterClassW(&windowClass);
        owner = CreateWindowExW(0, windowClass.lpszClassName, L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                                50, 300, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
        SetForegroundWindow(owner);
    }
    void TearDown() override {
        DestroyWindow(owner);
        OleUninitialize();
    }
    TShellMenuResult Show(IContextMenu* menu, TKeys keys, bool extended = false) {
        Keys = std::move(keys);
        return ShowShellMenu(owner, menu, at, extended);
    }
    HWND owner = nullptr;
    const POINT at{120, 90};
};

// An item its owner draws, "Go" and a submenu with "Deep"; records what reaches it.
struct TFakeMenu : IContextMenu3 {
    bool Offers3 = true;
    HRESULT QueryResult = S_OK, InvokeResult = S_OK;
    UINT Flags = 0, Forwarded = 0, ForwardedVersions = 0; // the messages' bits; 2 and 3 as bits
    std::vector<CMINVOKECOMMANDINFOEX> Invoked;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        const bool offered = id == IID_IUnknown || id == IID_IContextMenu || id == IID_IContextMenu2 ||
                             (Offers3 && id == IID_IContextMenu3);
        *object = offered ? this : nullptr;
        return offered ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT,
                                               UINT flags) override {
        Flags = flags;
        HMENU sub = CreatePopupMenu();
        AppendMenuW(sub, MF_STRING, first + 2, L"&Deep");
        InsertMenuW(menu, index, MF_BYPOSITION | MF_OWNERDRAW, first, nullptr);
        InsertMenuW(menu, index + 1, MF_BYPOSITION | MF_STRING, first + 1, L"&Go");
        InsertMenuW(menu, index + 2, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), L"&More");
        return FAILED(QueryResult) ? QueryResult : MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3);
    }
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
        Invoked.push_back(*reinterpret_cast<CMINVOKECOMMANDINFOEX*>(info));
        return InvokeResult;
    }
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR offset, UINT flags, UINT*, char* name,
                                               UINT size) override {
        const wchar_t* verb = offset == 1   ? L"go"
                              : offset == 2 ? L"deep"
                                            : nullptr; // the drawn item has none
        return flags == GCS_VERBW && verb && lstrcpynW(reinterpret_cast<wchar_t*>(name), verb, int(size))
                   ? S_OK
                   : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE HandleMenuMsg(UINT message, WPARAM, LPARAM lParam) override {
        return Handle(message, lParam, 2);
    }
    HRESULT STDMETHODCALLTYPE HandleMenuMsg2(UINT message, WPARAM, LPARAM lParam, LRESULT* result) override {
        *result = message == WM_DRAWITEM || message == WM_MEASUREITEM;
        return Handle(message, lParam, 3);
    }
    HRESULT Handle(UINT message, LPARAM lParam, int version) {
        Forwarded |= 1u << (std::find(std::begin(Messages), std::end(Messages), message) - Messages);
        ForwardedVersions |= 1u << version;
        if (message == WM_MEASUREITEM) {
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 18;
        }
        return S_OK;
    }
};

TEST_F(ShellMenuTest, ForwardsMenuMessagesWhileOpenAndInvokesTheChosenCommandWithTheOwner) {
    const struct {
        const char* Name;
        int Version; // of the fake's interface
        bool Extended;
        HRESULT QueryResult, InvokeResult;
        TKeys Keys;
        int Chosen; // the offset, -1 for none
        std::wstring Verb;
        UINT Forwarded; // at least these
    } cases[] = {
        {"in the submenu",
         3,
         false,
         S_OK,
         S_OK,
         {Down, Down, Down, Right, NoMnemonic, Enter},
         2,
         L"deep",
         15},
        {"IContextMenu2 only, extended", 2, true, S_OK, S_OK, {Down, Down, NoMnemonic, Enter}, 1, L"go", 15},
        {"Esc", 3, false, S_OK, S_OK, {Escape}, -1, L"", 3},
        {"the command fails", 3, false, S_OK, E_ACCESSDENIED, {Down, Enter}, 0, L"", 7},
        {"the menu fails", 3, false, E_OUTOFMEMORY, S_OK, {}, -1, L"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeMenu menu;
        std::tie(menu.Offers3, menu.QueryResult, menu.InvokeResult) =
            std::make_tuple(c.Version == 3, c.QueryResult, c.InvokeResult);
        const TShellMenuResult result = Show(&menu, c.Keys, c.Extended);
        const HRESULT error = FAILED(c.QueryResult) ? c.QueryResult : c.InvokeResult;
        const auto kind = FAILED(error)  ? TShellMenuResult::Failed
                          : c.Chosen < 0 ? TShellMenuResult::Nothing
                                         : TShellMenuResult::Invoked;
        const UINT offset = std::max(c.Chosen, 0);
        EXPECT_EQ(std::tie(kind, offset, c.Verb, error),
                  std::tie(result.Kind, result.Offset, result.Verb, result.Error));
        EXPECT_EQ(c.Extended ? CMF_EXTENDEDVERBS : CMF_NORMAL, menu.Flags);
        EXPECT_EQ(c.Forwarded, menu.Forwarded & c.Forwarded);
        EXPECT_EQ(c.Forwarded ? 1u << c.Version : 0, menu.ForwardedVersions);
        ASSERT_EQ(c.Chosen >= 0, menu.Invoked.size() == 1);
        for (const CMINVOKECOMMANDINFOEX& i : menu.Invoked) {
            EXPECT_EQ(std::make_tuple(sizeof i, DWORD(CMIC_MASK_UNICODE | CMIC_MASK_PTINVOKE), owner,
                                      MAKEINTRESOURCEA(offset), MAKEINTRESOURCEW(offset), SW_SHOWNORMAL, at.x,
                                      at.y),
                      std::make_tuple(i.cbSize, i.fMask, i.hwnd, i.lpVerb, i.lpVerbW, i.nShow, i.ptInvoke.x,
                                      i.ptInvoke.y));
        }
        // Closed: the owner's messages are its own again.
        menu.Forwarded = 0;
        SendMessageW(owner, WM_INITMENUPOPUP, 0, 0);
        SendMessageW(owner, WM_MENUCHAR, 'z', 0);
        EXPECT_EQ(0u, menu.Forwarded);
    }
}

TEST_F(ShellMenuTest, ShellMenuForFilesOfOneFolderAndOfTwo) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / (L"shell_menu_" + std::to_wstring(GetCurrentProcessId()));
    std::vector<std::wstring> files;
    for (const wchar_t* name : {L"a\\one.txt", L"a\\two.txt", L"b\\three.dat", L"a\\missing.txt"}) {
        files.push_back((root / name).wstring());
    }
    for (int i = 0; i < 3; ++i) {
        std::filesystem::create_directories(std::filesystem::path(files[i]).parent_path());
        CloseHandle(CreateFileW(files[i].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    const std::vector<std::wstring> cases[] = {
        {files[0], files[2]}, {files[0], files[1]}, {files[0], files[3]}, {}};
    for (const std::vector<std::wstring>& paths : cases) {
        const bool succeeds = paths.size() == 2 && paths[1] != files[3];
        SCOPED_TRACE(paths.size() == 2 ? paths[1] : L"none");
        IContextMenu* menu = reinterpret_cast<IContextMenu*>(1);
        const HRESULT created = CreateShellMenu(owner, paths, &menu);
        EXPECT_EQ(succeeds, SUCCEEDED(created)) << std::hex << created;
        ASSERT_EQ(succeeds, menu != nullptr);
        if (!menu) {
            continue;
        }
        // Entries added, the shell's Delete among them.
        HMENU popup = CreatePopupMenu();
        EXPECT_GT(menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL), S_OK);
        std::wstring verbs;
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            wchar_t verb[64] = {};
            menu->GetCommandString(GetMenuItemID(popup, i) - 1, GCS_VERBW, nullptr,
                                   reinterpret_cast<char*>(verb), 64);
            verbs += verb + std::wstring(L" ");
        }
        EXPECT_NE(std::wstring::npos, verbs.find(L"delete ")) << verbs;
        DestroyMenu(popup);
        // Shown and closed: handlers that do not handle the messages leave the menu to the system.
        EXPECT_EQ(TShellMenuResult::Nothing, Show(menu, {Down, Escape}).Kind);
        menu->Release();
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

} // namespace
