// The window layer's general parts: actions and when they update, the idle loop, the error
// report, the registry's defensive reads and the command line.
#include "toolkit/actions.h"
#include "toolkit/application.h"
#include "toolkit/error.h"
#include "toolkit/form.h"
#include "toolkit/message_box.h"
#include "toolkit/registry.h"
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct TShownBox {
    std::wstring Text, Caption;
    UINT Flags;
};

class WindowLayerTest : public testing::Test {
  protected:
    // No Application.Initialize: the hand-off tests in this program own the hidden window.
    void SetUp() override {
        Application.SetTitle(L"Quenwick");
        SetMessageBoxForTesting([this](const std::wstring& text, const std::wstring& caption, UINT flags) {
            boxes.push_back({text, caption, flags});
            return IDOK;
        });
    }
    void TearDown() override { SetMessageBoxForTesting({}); }
    std::vector<TShownBox> boxes;
};

// A small form with one button bound to an action, like a dialog of the program.
class TActionForm : public TForm {
  public:
    TActionForm() {
        Button.Action = &Action;
        Other.ModalResult = 1;
        Lists.Add(Action);
        const TControlRow layout[] = {
            {&Button, {8, 8, 75, 25}, akLeft | akTop, 0},
            {&Other, {90, 8, 75, 25}, akLeft | akTop, 1, L"OK"},
        };
        Create({L"Test", 200, 60}, layout);
        AddActionList(Lists);
    }
    ~TActionForm() override { DestroyHandle(); }
    TButton Button;
    TButton Other;
    TAction Action{L"&Go"};
    TActionList Lists;
};

TEST_F(WindowLayerTest, ActionRunsOnlyWhenItsLastUpdateEnablesIt) {
    TActionForm form;
    std::vector<std::string> calls;
    bool allowed = true;
    form.Action.OnUpdate = [&] {
        calls.push_back("update");
        form.Action.SetEnabled(allowed);
    };
    form.Action.OnExecute = [&] { calls.push_back("execute"); };

    EXPECT_TRUE(form.Action.Execute());
    EXPECT_EQ((std::vector<std::string>{"update", "execute"}), calls);

    // Enabled at the last idle time, disabled by the update just before it runs: nothing runs.
    calls.clear();
    allowed = false;
    SendMessageW(form.Button.Handle(), BM_CLICK, 0, 0); // the button is still enabled
    EXPECT_FALSE(form.Action.Execute());
    EXPECT_EQ((std::vector<std::string>{"update", "update"}), calls);
    EXPECT_TRUE(boxes.empty()) << "a disabled action reports nothing";

    // The bound button follows the action and shows its caption.
    EXPECT_FALSE(IsWindowEnabled(form.Button.Handle()));
    EXPECT_EQ(L"&Go", form.Button.Text());
    allowed = true;
    form.UpdateActions();
    EXPECT_TRUE(IsWindowEnabled(form.Button.Handle()));
}

TEST_F(WindowLayerTest, ActionWithoutHandlersIsDisabled) {
    TAction action(L"Idle");
    action.Update();
    EXPECT_FALSE(action.Enabled());
    action.OnExecute = [] {};
    action.Update();
    EXPECT_TRUE(action.Enabled());
}

int ticks = 0;
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ++ticks;
}

TEST_F(WindowLayerTest, UpdatesRunWhenTheQueueEmptiesButNotAfterMouseMovesOrTimersAlone) {
    struct Case {
        UINT Message;
        int Updates; // the loop's first idle time included
    } cases[] = {
        {WM_MOUSEMOVE, 1}, {WM_TIMER, 1}, {WM_KEYUP, 2}, {WM_COMMAND + 0x400, 2}, {WM_LBUTTONDOWN, 2}};
    for (const Case& c : cases) {
        TActionForm form;
        int updates = 0;
        form.Action.OnUpdate = [&] { ++updates; };
        MSG leftover;
        while (PeekMessageW(&leftover, nullptr, 0, 0, PM_REMOVE)) {
        }
        // Timer ticks keep the loop turning without counting as activity.
        ticks = 0;
        UINT_PTR timer = SetTimer(nullptr, 0, 10, Tick);
        bool posted = false;
        Application.HandleMessages([&] {
            if (updates == 1 && !posted) {
                posted = true;
                PostMessageW(form.Other.Handle(), c.Message, 0, 0);
            }
            return ticks >= 5;
        });
        KillTimer(nullptr, timer);
        EXPECT_EQ(c.Updates, updates) << "message " << std::hex << c.Message;
    }
}

TEST_F(WindowLayerTest, IdleTriggers) {
    for (UINT quiet :
         std::initializer_list<UINT>{WM_MOUSEMOVE, WM_NCMOUSEMOVE, WM_PAINT, WM_TIMER, 0x0118u}) {
        EXPECT_FALSE(IsIdleTrigger(quiet)) << quiet;
    }
    for (UINT busy :
         std::initializer_list<UINT>{WM_KEYDOWN, WM_CHAR, WM_LBUTTONUP, WM_COMMAND, WM_USER, WM_NULL}) {
        EXPECT_TRUE(IsIdleTrigger(busy)) << busy;
    }
}

TEST_F(WindowLayerTest, ModalShowingDisablesTheOthersAndEndsWithTheButtonsResult) {
    TActionForm owner;
    owner.Show();
    TActionForm dialog;
    bool ownerDisabled = false;
    dialog.Action.OnExecute = [&] {
        ownerDisabled = !IsWindowEnabled(owner.Handle());
        SendMessageW(dialog.Other.Handle(), BM_CLICK, 0, 0);
    };
    PostMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(dialog.Button.Handle()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(dialog.Button.Handle()));
    EXPECT_EQ(1, dialog.ShowModal());
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    EXPECT_FALSE(dialog.Visible());

    // The close box ends it with 2, after the close query allows it.
    int asked = 0;
    dialog.OnCloseQuery = [&] { return ++asked > 1; };
    PostMessageW(dialog.Handle(), WM_CLOSE, 0, 0);
    PostMessageW(dialog.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(2, dialog.ShowModal());
    EXPECT_EQ(2, asked);
}

TEST_F(WindowLayerTest, ErrorReportAppendsAFullStopAfterLaterCharacters) {
    struct Case {
        std::wstring Message, Shown;
    } cases[] = {
        {L"Cannot open clipboard", L"Cannot open clipboard."},
        {L"Done.", L"Done."},
        {L"Why?", L"Why?."},
        {L"Stop!", L"Stop!"},
        {L"(see above)", L"(see above)"},
        {L"line\r\n", L"line\r\n"},
        {L"", L""},
        {L"50/50", L"50/50."},
        {L"caf\u00E9", L"caf\u00E9."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.Shown, ErrorReportText(c.Message));
    }
    // The report itself: error icon, the application's title, the message.
    try {
        throw TError(L"Cannot open clipboard");
    } catch (...) {
        Application.ShowException(std::current_exception());
    }
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Cannot open clipboard.", boxes[0].Text);
    EXPECT_EQ(L"Quenwick", boxes[0].Caption);
    EXPECT_EQ(UINT(MB_ICONERROR), boxes[0].Flags & MB_ICONMASK);

    // A failure inside a window's handler reaches the same report instead of Windows.
    TActionForm form;
    form.Action.OnExecute = [] { throw TError(L"Broken"); };
    SendMessageW(form.Button.Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ(L"Broken.", boxes[1].Text);
}

TEST_F(WindowLayerTest, OSErrorText) {
    try {
        RaiseLastOSError(2);
        FAIL();
    } catch (const TError& error) {
        EXPECT_EQ(0u, error.Message().find(L"System Error.  Code: 2.\r\n"));
        EXPECT_GT(error.Message().size(), std::wstring(L"System Error.  Code: 2.\r\n").size());
    }
    try {
        RaiseLastOSError(0);
        FAIL();
    } catch (const TError& error) {
        EXPECT_EQ(L"A call to an OS function failed", error.Message());
    }
}

class RegistryTest : public testing::Test {
  protected:
    static constexpr wchar_t Path[] = L"Software\\QuenwickRegistryTest";
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, Path); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, Path); }
    void Store(DWORD type, const void* data, DWORD size) {
        auto key = TRegistryKey::OpenForWriting(HKEY_CURRENT_USER, Path);
        ASSERT_TRUE(key);
        HKEY raw;
        RegOpenKeyExW(HKEY_CURRENT_USER, Path, 0, KEY_WRITE, &raw);
        RegSetValueExW(raw, L"V", 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(raw);
    }
};

TEST_F(RegistryTest, IntegersAreFourByteDwordsOnly) {
    const std::int64_t wide = 7;
    const std::int32_t negative = -5;
    struct Case {
        DWORD Type;
        const void* Data;
        DWORD Size;
        std::optional<std::int32_t> Expected;
    } cases[] = {
        {REG_DWORD, &negative, 4, -5},
        {REG_DWORD, &wide, 2, std::nullopt},
        {REG_DWORD, &wide, 8, std::nullopt},
        {REG_QWORD, &wide, 8, std::nullopt},
        {REG_DWORD_BIG_ENDIAN, &negative, 4, std::nullopt},
        {REG_SZ, L"7", 4, std::nullopt},
        {REG_BINARY, &negative, 4, std::nullopt},
    };
    for (const Case& c : cases) {
        Store(c.Type, c.Data, c.Size);
        auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, Path);
        ASSERT_TRUE(key);
        EXPECT_EQ(c.Expected, key->ReadInteger(L"V")) << "type " << c.Type << ", " << c.Size << " bytes";
    }
}

TEST_F(RegistryTest, StringsAreBoundedAndTerminatedByUs) {
    struct Case {
        DWORD Type;
        std::wstring Data;
        DWORD Size; // bytes stored
        std::optional<std::wstring> Expected;
    } cases[] = {
        {REG_SZ, L"abc", 6, L"abc"},
        {REG_SZ, L"abc", 5, L"ab"},
        {REG_SZ, std::wstring(L"ab\0cd", 5), 10, L"ab"},
        {REG_EXPAND_SZ, L"%TEMP%", 14, L"%TEMP%"},
        {REG_SZ, L"", 0, L""},
        {REG_SZ, std::wstring(40, L'x'), 80, std::nullopt}, // longer than the bound below
        {REG_MULTI_SZ, std::wstring(L"a\0b\0", 4), 8, std::nullopt},
        {REG_BINARY, L"abc", 6, std::nullopt},
    };
    for (const Case& c : cases) {
        Store(c.Type, c.Data.data(), c.Size);
        auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, Path);
        ASSERT_TRUE(key);
        EXPECT_EQ(c.Expected, key->ReadString(L"V", 32)) << "type " << c.Type << ", " << c.Size << " bytes";
    }
    EXPECT_FALSE(TRegistryKey::OpenForReading(HKEY_CURRENT_USER, L"Software\\QuenwickRegistryTest\\Missing"));
}

TEST_F(RegistryTest, WritesCarryTheirTypes) {
    {
        auto key = TRegistryKey::OpenForWriting(HKEY_CURRENT_USER, std::wstring(Path) + L"\\Deeper\\Key");
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->WriteInteger(L"N", -1));
        EXPECT_TRUE(key->WriteString(L"S", L"  "));
    }
    auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, std::wstring(Path) + L"\\Deeper\\Key");
    ASSERT_TRUE(key);
    EXPECT_EQ(-1, key->ReadInteger(L"N"));
    EXPECT_EQ(L"  ", key->ReadString(L"S"));
    EXPECT_EQ(std::nullopt, key->ReadInteger(L"S"));
}

TEST(CommandLine, FirstArgumentFollowsThePlatformsRules) {
    struct Case {
        const wchar_t* CommandLine;
        std::vector<std::wstring> Arguments;
    } cases[] = {
        {L"quenwick.exe", {}},
        {L"quenwick.exe C:\\data", {L"C:\\data"}},
        {L"\"C:\\Program Files\\q.exe\" \"D:\\My Files\" more", {L"D:\\My Files", L"more"}},
        {L"q.exe   C:\\a\\  x", {L"C:\\a\\", L"x"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.Arguments, CommandLineArguments(c.CommandLine)) << std::wstring(c.CommandLine).size();
    }
}

} // namespace
