// The window's per-user settings: what is stored at exit, with which types, and what a start
// makes of good, bad and odd stored values.
#include "toolkit/form.h"
#include "ui/main_form.h"
#include "ui/window_test_support.h"
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

struct TStored {
    DWORD Type = REG_NONE;
    std::vector<BYTE> Data;
};

std::optional<TStored> Stored(const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    TStored value;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &value.Type, nullptr, &size);
    value.Data.resize(size);
    if (status == ERROR_SUCCESS) {
        status = RegQueryValueExW(key, name, nullptr, &value.Type, value.Data.data(), &size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

void Store(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void StoreInteger(const wchar_t* name, std::int32_t value) {
    Store(name, REG_DWORD, &value, sizeof value);
}
void StoreText(const wchar_t* name, const std::wstring& text) {
    Store(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::int32_t StoredInteger(const wchar_t* name) {
    auto value = Stored(name);
    EXPECT_TRUE(value && value->Type == REG_DWORD && value->Data.size() == 4) << "not a DWORD: " << name;
    std::int32_t result = 0;
    if (value && value->Data.size() == 4) {
        memcpy(&result, value->Data.data(), 4);
    }
    return result;
}

std::wstring StoredText(const wchar_t* name) {
    auto value = Stored(name);
    EXPECT_TRUE(value && value->Type == REG_SZ) << "not a string: " << name;
    if (!value || value->Data.size() < 2) {
        return L"<missing>";
    }
    // Exactly the text and one terminating null.
    const auto* text = reinterpret_cast<const wchar_t*>(value->Data.data());
    size_t length = value->Data.size() / 2 - 1;
    EXPECT_EQ(L'\0', text[length]);
    return std::wstring(text, length);
}

class MainFormSettingsTest : public testing::Test {
  protected:
    void SetUp() override { DeleteSettings(); }
    void TearDown() override { DeleteSettings(); }
    // Opens and closes the window as a run of the program would.
    std::unique_ptr<TMainForm> Open(std::vector<std::wstring> arguments = {}) {
        return std::make_unique<TMainForm>(arguments);
    }
    TBounds DesignBounds() { return Open()->BoundsRect(); }
};

TEST_F(MainFormSettingsTest, RoundTripWithRegistryTypes) {
    {
        auto form = Open();
        form->SetBounds({100, 120, 600, 400});
        form->PathEdit.SetText(L"C:\\data\\logs");
        form->NumberSpin.SetPosition(250);
        form->SkipEdit.SetText(L".git; *\\Temp");
        form->NamesEdit.SetText(L"*.docx");
        form->TimeBox.SetSelectedIndex(2);
        SendMessageW(form->LatestRadioButton.Handle(), BM_CLICK, 0, 0);
        form->RecurseBox.SetChecked(false);
    }
    EXPECT_EQ(L".git; *\\Temp", StoredText(L"SkipFolders"));
    EXPECT_EQ(L"*.docx", StoredText(L"NameMasks"));
    EXPECT_EQ(2, StoredInteger(L"TimeKind"));
    EXPECT_EQ(120, StoredInteger(L"Top"));
    EXPECT_EQ(100, StoredInteger(L"Left"));
    EXPECT_EQ(600, StoredInteger(L"Width"));
    EXPECT_EQ(400, StoredInteger(L"Height"));
    EXPECT_EQ(250, StoredInteger(L"Number"));
    EXPECT_EQ(L"C:\\data\\logs", StoredText(L"Path"));

    auto form = Open();
    EXPECT_EQ((TBounds{100, 120, 600, 400}), form->BoundsRect());
    EXPECT_EQ(250, form->NumberSpin.Position());
    EXPECT_EQ(L"250", form->NumberEdit.Text());
    EXPECT_EQ(L"C:\\data\\logs", form->PathEdit.Text());
    EXPECT_EQ(L".git; *\\Temp", form->SkipEdit.Text());
    EXPECT_EQ(L"*.docx", form->NamesEdit.Text());
    EXPECT_EQ(2, form->TimeBox.SelectedIndex());
    EXPECT_TRUE(form->LatestRadioButton.Checked() && form->LatestDate.Enabled() &&
                !form->NumberEdit.Enabled());
    EXPECT_FALSE(form->NumberRadioButton.Checked() || form->RecurseBox.Checked());
}

TEST_F(MainFormSettingsTest, FirstArgumentOverridesTheStoredPathAndIsStored) {
    StoreText(L"Path", L"C:\\stored");
    {
        auto form = Open({L"D:\\an argument ", L"ignored"});
        EXPECT_EQ(L"D:\\an argument ", form->PathEdit.Text());
    }
    EXPECT_EQ(L"D:\\an argument ", StoredText(L"Path"));
}

TEST_F(MainFormSettingsTest, StoredSizeIsRaisedToTheMinimum) {
    StoreInteger(L"Width", 100);
    StoreInteger(L"Height", 500);
    auto form = Open();
    EXPECT_EQ(374, form->BoundsRect().Width);
    EXPECT_EQ(500, form->BoundsRect().Height);
    StoreInteger(L"Height", 10);
    form = Open();
    EXPECT_EQ(334, form->BoundsRect().Height);
}

TEST_F(MainFormSettingsTest, NumberStoredIsTheSpinsLastValidPosition) {
    {
        auto form = Open();
        form->NumberEdit.SetText(L"250");
        EXPECT_EQ(250, form->NumberSpin.Position());
        form->NumberEdit.SetText(L"abc");
    }
    EXPECT_EQ(250, StoredInteger(L"Number"));
    {
        // A number past the range is brought into it, as the box shows it once left.
        auto form = Open();
        form->NumberEdit.SetText(L"99999");
    }
    EXPECT_EQ(32767, StoredInteger(L"Number"));
}

TEST_F(MainFormSettingsTest, StoredNumberIsClamped) {
    struct Case {
        std::int32_t Stored, Position;
    } cases[] = {{40000, 32767}, {-5, 0}, {0, 0}, {32767, 32767}, {7, 7}, {INT32_MIN, 0}};
    for (const Case& c : cases) {
        StoreInteger(L"Number", c.Stored);
        EXPECT_EQ(c.Position, Open()->NumberSpin.Position()) << c.Stored;
    }
}

TEST_F(MainFormSettingsTest, PathIsStoredAsTyped) {
    for (const std::wstring& text : {std::wstring(L"   "), std::wstring(), std::wstring(L" C:\\x\\ ")}) {
        {
            auto form = Open();
            form->PathEdit.SetText(text);
        }
        EXPECT_EQ(text, StoredText(L"Path"));
    }
}

TEST_F(MainFormSettingsTest, WrongTypedValuesAreIgnoredAndRewritten) {
    const TBounds design = DesignBounds();
    const std::int32_t four = 400;
    const std::int64_t eight = 400;
    const std::wstring text = L"400";
    const WORD two = 400;
    struct Case {
        const wchar_t* Name;
        DWORD Type;
        const void* Data;
        DWORD Size;
    } cases[] = {
        {L"Width", REG_SZ, text.c_str(), 8},
        {L"Width", REG_QWORD, &eight, 8},
        {L"Height", REG_DWORD, &two, 2},
        {L"Height", REG_BINARY, &four, 4},
        {L"Width", REG_DWORD_BIG_ENDIAN, &four, 4},
        {L"Number", REG_SZ, text.c_str(), 8},
        {L"Number", REG_DWORD, &eight, 8},
        {L"Top", REG_SZ, text.c_str(), 8},
        {L"Left", REG_BINARY, &four, 2},
        {L"Path", REG_DWORD, &four, 4},
        {L"Path", REG_BINARY, text.c_str(), 6},
        {L"Path", REG_MULTI_SZ, L"a\0b\0", 10},
        {L"SkipFolders", REG_DWORD, &four, 4},
        {L"NameMasks", REG_BINARY, text.c_str(), 6},
        {L"TimeKind", REG_SZ, text.c_str(), 8},
        {L"TimeKind", REG_DWORD, &four, 4},
        {L"ByDate", REG_SZ, text.c_str(), 8},
        {L"Recursive", REG_BINARY, &four, 4},
    };
    for (const Case& c : cases) {
        DeleteSettings();
        Store(c.Name, c.Type, c.Data, c.Size);
        {
            auto form = Open();
            EXPECT_EQ(design.Width, form->BoundsRect().Width) << c.Name << " type " << c.Type;
            EXPECT_EQ(design.Height, form->BoundsRect().Height) << c.Name << " type " << c.Type;
            EXPECT_EQ(100, form->NumberSpin.Position()) << c.Name << " type " << c.Type;
            EXPECT_EQ(L"", form->PathEdit.Text()) << c.Name << " type " << c.Type;
            EXPECT_EQ(L"", form->SkipEdit.Text() + form->NamesEdit.Text()) << c.Name << " type " << c.Type;
            EXPECT_EQ(0, form->TimeBox.SelectedIndex()) << c.Name << " type " << c.Type;
            EXPECT_TRUE(form->NumberRadioButton.Checked() && form->RecurseBox.Checked())
                << c.Name << " type " << c.Type;
            EXPECT_TRUE(CaptionOnScreen(form->BoundsRect())) << c.Name << " type " << c.Type;
        }
        // The exit rewrites every value with its proper type.
        for (const wchar_t* name :
             {L"Top", L"Left", L"Width", L"Height", L"Number", L"TimeKind", L"ByDate", L"Recursive"}) {
            StoredInteger(name);
        }
        EXPECT_EQ(L"", StoredText(L"Path"));
    }
}

TEST_F(MainFormSettingsTest, PathReadsAreBoundedAndTerminatedByTheProgram) {
    struct Case {
        DWORD Type;
        std::wstring Data; // stored without a terminator unless it holds one
        std::wstring Expected;
    } cases[] = {
        {REG_SZ, L"C:\\no null", L"C:\\no null"},
        {REG_SZ, std::wstring(L"C:\\a\0C:\\b", 9), L"C:\\a"},
        {REG_EXPAND_SZ, L"%TEMP%\\x", L"%TEMP%\\x"},
    };
    for (const Case& c : cases) {
        Store(L"Path", c.Type, c.Data.data(), static_cast<DWORD>(c.Data.size() * sizeof(wchar_t)));
        EXPECT_EQ(c.Expected, Open()->PathEdit.Text());
    }
}

TEST_F(MainFormSettingsTest, OffScreenPositionIsReplacedButTheSizeApplies) {
    struct Case {
        std::int32_t Left, Top;
        bool Kept;
    } cases[] = {{-20000, -20000, false}, {30000, 100, false}, {100, 30000, false}, {50, 60, true}};
    for (const Case& c : cases) {
        StoreInteger(L"Left", c.Left);
        StoreInteger(L"Top", c.Top);
        StoreInteger(L"Width", 500);
        StoreInteger(L"Height", 350);
        auto form = Open();
        TBounds bounds = form->BoundsRect();
        EXPECT_TRUE(CaptionOnScreen(bounds)) << c.Left << "," << c.Top;
        EXPECT_EQ(c.Kept, bounds.Left == c.Left && bounds.Top == c.Top) << c.Left << "," << c.Top;
        EXPECT_EQ(500, bounds.Width);
        EXPECT_EQ(350, bounds.Height);
    }
}

} // namespace
