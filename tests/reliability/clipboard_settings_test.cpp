// The clipboard held by another process during Copy, and settings that are garbage, gone or locked.
#include "clipboard_support.h"
#include "reliability_support.h"
#include "toolkit/clipboard.h"
#include "toolkit/registry.h"

namespace reliability {
namespace {

// Another process holds the clipboard until released; returns once it holds it.
class TClipboardHolder {
  public:
    TClipboardHolder() {
        const std::wstring name = L"QuenwickClipboard" + std::to_wstring(GetCurrentProcessId());
        held_ = CreateEventW(nullptr, TRUE, FALSE, (name + L"Held").c_str());
        release_ = CreateEventW(nullptr, TRUE, FALSE, (name + L"Release").c_str());
        std::wstring commandLine =
            std::wstring(L"\"") + PROBE_EXE + L"\" hold-clipboard " + name + L"Held " + name + L"Release";
        STARTUPINFOW startup{sizeof startup};
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process_))
            holding_ = WaitForSingleObject(held_, 60000) == WAIT_OBJECT_0;
    }
    ~TClipboardHolder() {
        Release();
        if (process_.hProcess) {
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        CloseHandle(held_);
        CloseHandle(release_);
    }
    bool Holding() const { return holding_; }
    // Returns once the other process has let go of the clipboard.
    void Release() {
        SetEvent(release_);
        if (process_.hProcess)
            WaitForSingleObject(process_.hProcess, 60000);
    }

  private:
    HANDLE held_, release_;
    PROCESS_INFORMATION process_{};
    bool holding_ = false;
};

class ClipboardTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (int i = 0; i < 3; ++i)
            form->Results->AddRow(L"C:\\r\\f" + std::to_wstring(i) + L".txt", UtcTicks(46082 + i / 1440.0));
        form->Results->Flush();
        form->Results->SelectAll();
        form->PopupMenu.Handle();
        reader = clipboard_support::MakeWindow();
        TClipboardText(L"before").Place(reader);
    }
    void TearDown() override {
        DestroyWindow(reader);
        WindowTest::TearDown();
    }
    void CopyNameAndTime() {
        SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(form->NandTItem.Id(), 0), 0);
    }
    std::wstring Clipboard() { return clipboard_support::ReadClipboard(reader).Unicode; }
    static std::wstring Line(int i) {
        return L"C:\\r\\f" + std::to_wstring(i) + L".txt\t" +
               DateTimeText(46082 + i / 1440.0, UserFormatSettings());
    }
    const std::wstring copied = Line(0) + L"\r\n" + Line(1) + L"\r\n" + Line(2);
    HWND reader = nullptr;
};

// Held until the copy has been seen to wait for it: the copy goes on as soon as it is let go.
TEST_F(ClipboardTest, HeldBrieflyByAnotherProcessTheCopyWaitsAndSucceeds) {
    TClipboardHolder holder;
    ASSERT_TRUE(holder.Holding());
    int waits = 0;
    SetClipboardWaitObserverForTesting([&] {
        if (waits++ == 0)
            holder.Release();
    });
    CopyNameAndTime();
    SetClipboardWaitObserverForTesting({});
    EXPECT_GE(waits, 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(copied, Clipboard());
}

// Garbage under one value; the others are absent.
struct TGarbage {
    const char* What;
    const wchar_t* Name;
    DWORD Type;
    std::vector<BYTE> Data;
    std::wstring ShownPath; // what the path box shows: text up to the data's end is still text
};

std::vector<BYTE> Bytes(const std::wstring& text, bool withNull) {
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + (withNull ? 1 : 0)) * sizeof(wchar_t));
}

std::vector<TGarbage> Garbage() {
    std::vector<TGarbage> table;
    for (const wchar_t* name : {L"Top", L"Left", L"Width", L"Height", L"Number"}) {
        table.push_back({"a string", name, REG_SZ, Bytes(L"600", true)});
        table.push_back({"a string without its null", name, REG_SZ, Bytes(L"600", false)});
        table.push_back({"eight bytes", name, REG_QWORD, std::vector<BYTE>(8, 0x11)});
        table.push_back({"a megabyte", name, REG_BINARY, std::vector<BYTE>(1 << 20, 0x7f)});
        table.push_back({"two bytes", name, REG_DWORD, std::vector<BYTE>(2, 0x22)});
        table.push_back({"no data", name, REG_DWORD, {}});
    }
    table.push_back({"a number", L"Path", REG_DWORD, std::vector<BYTE>(4, 0x41)});
    table.push_back({"a megabyte of text", L"Path", REG_SZ, Bytes(std::wstring(1 << 19, L'x'), true)});
    table.push_back({"binary", L"Path", REG_BINARY, std::vector<BYTE>(64, 0x41)});
    table.push_back({"an odd byte count", L"Path", REG_SZ, {'C', 0, ':', 0, '\\'}, L"C:"});
    table.push_back({"a string without its null", L"Path", REG_SZ, Bytes(L"C:\\data", false), L"C:\\data"});
    table.push_back({"a string with a null inside", L"Path", REG_SZ,
                     Bytes(std::wstring(L"C:\\a\0junk", 9), true), L"C:\\a"});
    return table;
}

class GarbageSettingsTest : public testing::TestWithParam<TGarbage> {
  protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel"); }
};

TEST_P(GarbageSettingsTest, TheWindowOpensWithItsDesignValueAndRewritesTheValueProperly) {
    const TGarbage& garbage = GetParam();
    {
        auto key = TRegistryKey::OpenForWriting(HKEY_CURRENT_USER, SettingsKey);
        ASSERT_TRUE(key);
    }
    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_WRITE, &raw));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(raw, garbage.Name, 0, garbage.Type, garbage.Data.data(),
                                            static_cast<DWORD>(garbage.Data.size())));
    RegCloseKey(raw);
    {
        TMainForm form({});
        form.Show();
        const RECT design{0, 0, 542, 351};
        RECT client{};
        GetClientRect(form.Handle(), &client);
        EXPECT_EQ(design.right, client.right);
        EXPECT_EQ(design.bottom, client.bottom);
        EXPECT_EQ(100, form.NumberSpin.Position());
        EXPECT_EQ(garbage.ShownPath, form.PathEdit.Text());
    }
    auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, SettingsKey);
    ASSERT_TRUE(key);
    for (const wchar_t* name : {L"Top", L"Left", L"Width", L"Height", L"Number"})
        EXPECT_TRUE(key->ReadInteger(name))
            << "not rewritten as a number: " << testing::PrintToString(std::wstring(name));
    EXPECT_EQ(100, key->ReadInteger(L"Number").value_or(-1));
    EXPECT_TRUE(key->ReadString(L"Path")) << "Path not rewritten as a string";
}

INSTANTIATE_TEST_SUITE_P(EveryValue, GarbageSettingsTest, testing::ValuesIn(Garbage()),
                         [](const testing::TestParamInfo<TGarbage>& info) {
                             std::string name;
                             for (const wchar_t* c = info.param.Name; *c; ++c)
                                 name += static_cast<char>(*c);
                             name += "_";
                             for (const char* c = info.param.What; *c; ++c)
                                 name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name + "_" + std::to_string(info.index);
                         });

// Numbers of the right type at the ends of their range: the window stays usable.
class ExtremeSettingsTest : public GarbageSettingsTest {};

TEST_F(ExtremeSettingsTest, NumbersAtTheEndsOfTheirRangeGiveAUsableWindow) {
    for (const std::int32_t extreme : {INT32_MAX, INT32_MIN, -1, 0}) {
        for (const wchar_t* name : {L"Top", L"Left", L"Width", L"Height", L"Number"}) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(name)) + " = " + std::to_string(extreme));
            RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel");
            ASSERT_TRUE(
                TRegistryKey::OpenForWriting(HKEY_CURRENT_USER, SettingsKey)->WriteInteger(name, extreme));
            {
                TMainForm form({});
                form.Show();
                RECT outer{};
                GetWindowRect(form.Handle(), &outer);
                EXPECT_GE(outer.right - outer.left, 374);
                EXPECT_GE(outer.bottom - outer.top, 334);
                EXPECT_LE(outer.right - outer.left, GetSystemMetrics(SM_CXMAXTRACK));
                EXPECT_LE(outer.bottom - outer.top, GetSystemMetrics(SM_CYMAXTRACK));
                // Its caption can be reached to drag it.
                const POINT caption{outer.left + (outer.right - outer.left) / 2, outer.top + 5};
                EXPECT_TRUE(MonitorFromPoint(caption, MONITOR_DEFAULTTONULL));
                EXPECT_GE(form.NumberSpin.Position(), 0);
                EXPECT_LE(form.NumberSpin.Position(), 32767);
            }
            auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, SettingsKey);
            ASSERT_TRUE(key);
            EXPECT_TRUE(key->ReadInteger(name));
        }
    }
}

class SettingsKeyTest : public GarbageSettingsTest {};

TEST_F(SettingsKeyTest, AKeyDeletedWhileTheWindowIsOpenIsWrittenAgainAtTheEnd) {
    {
        TMainForm form({L"C:\\kept"});
        form.Show();
        { auto key = TRegistryKey::OpenForWriting(HKEY_CURRENT_USER, SettingsKey); }
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel"));
    }
    auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, SettingsKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(L"C:\\kept", key->ReadString(L"Path").value_or(L"(none)"));
    EXPECT_EQ(100, key->ReadInteger(L"Number").value_or(-1));
}

TEST_F(SettingsKeyTest, AKeyThatCannotBeWrittenLeavesTheWindowToCloseCleanly) {
    // A lasting key cannot be made below a volatile one: the settings key cannot be created.
    HKEY dovrel = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Dovrel", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &dovrel, nullptr));
    RegCloseKey(dovrel);
    ASSERT_FALSE(TRegistryKey::OpenForWriting(HKEY_CURRENT_USER, SettingsKey))
        << "the key can be written after all";
    {
        TMainForm form({L"C:\\lost"});
        form.Show();
        EXPECT_EQ(L"C:\\lost", form.PathEdit.Text());
    }
    EXPECT_FALSE(TRegistryKey::OpenForReading(HKEY_CURRENT_USER, SettingsKey));
}

} // namespace
} // namespace reliability
