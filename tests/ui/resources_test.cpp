// The executable's resources: the icon's two images, the version record and the manifest's effect.
#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

#pragma pack(push, 2)
struct TIconEntry {
    BYTE Width, Height, ColorCount, Reserved;
    WORD Planes, BitCount;
    DWORD BytesInRes;
    WORD Id;
};
#pragma pack(pop)

std::pair<const BYTE*, DWORD> Resource(const wchar_t* name, const wchar_t* type) {
    HRSRC found = FindResourceW(nullptr, name, type);
    if (!found) {
        return {nullptr, 0};
    }
    return {static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))),
            SizeofResource(nullptr, found)};
}

TEST(Resources, IconHasSixteenColoursAtSixteenAndTwoHundredFiftySixAtThirtyTwo) {
    auto [group, size] = Resource(L"MAINICON", RT_GROUP_ICON);
    ASSERT_NE(nullptr, group);
    WORD count;
    memcpy(&count, group + 4, 2);
    ASSERT_EQ(2, count);
    ASSERT_GE(size, 6 + 2 * sizeof(TIconEntry));
    TIconEntry entries[2];
    memcpy(entries, group + 6, sizeof entries);
    EXPECT_EQ(16, entries[0].Width);
    EXPECT_EQ(4, entries[0].BitCount);
    EXPECT_EQ(16, entries[0].ColorCount);
    EXPECT_EQ(32, entries[1].Width);
    EXPECT_EQ(8, entries[1].BitCount);
    for (const TIconEntry& entry : entries) {
        EXPECT_NE(nullptr, CreateIconFromResourceEx(
                               const_cast<BYTE*>(Resource(MAKEINTRESOURCEW(entry.Id), RT_ICON).first),
                               entry.BytesInRes, TRUE, 0x00030000, entry.Width, entry.Width, 0));
    }
}

TEST(Resources, VersionRecord) {
    auto [data, size] = Resource(MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_NE(nullptr, data);
    std::string bytes(reinterpret_cast<const char*>(data), size);
    const DWORD signature = 0xFEEF04BD;
    size_t at = bytes.find(std::string(reinterpret_cast<const char*>(&signature), 4));
    ASSERT_NE(std::string::npos, at);
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, data + at, sizeof fixed);
    EXPECT_EQ(MAKELONG(1, 1), fixed.dwFileVersionMS);
    EXPECT_EQ(MAKELONG(8, 0), fixed.dwFileVersionLS);
    EXPECT_EQ(MAKELONG(0, 1), fixed.dwProductVersionMS);

    std::wstring text(reinterpret_cast<const wchar_t*>(data), size / 2);
    auto value = [&](const std::wstring& name) {
        size_t key = text.find(name + L'\0');
        if (key == std::wstring::npos) {
            return std::wstring(L"<missing>");
        }
        size_t start = key + name.size() + 1;
        while (start < text.size() && text[start] == L'\0') {
            ++start; // padding to a four-byte boundary
        }
        // An empty value's padding runs straight into the next entry's header.
        std::wstring found = text.c_str() + start;
        return found;
    };
    EXPECT_EQ(L"1.0.0.0", value(L"ProductVersion"));
    EXPECT_EQ(L"1.1.0.8", value(L"FileVersion"));
}

TEST(Resources, ManifestBringsCommonControlsSix) {
    // Wine's DllGetVersion answers 5 for both builds; the side-by-side path tells them apart.
    HMODULE controls = GetModuleHandleW(L"comctl32.dll");
    ASSERT_NE(nullptr, controls);
    wchar_t file[MAX_PATH];
    GetModuleFileNameW(controls, file, MAX_PATH);
    std::wstring path = file;
    EXPECT_NE(std::wstring::npos, path.find(L"common-controls_6595b64144ccf1df_6."))
        << std::string(path.begin(), path.end());
}

} // namespace
