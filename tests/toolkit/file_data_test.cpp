#include "clipboard_support.h"
#include "toolkit/file_data.h"
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <shellapi.h>
#include <shlobj.h>
#include <string>
#include <vector>

using namespace clipboard_support;

namespace {
const CLIPFORMAT EffectFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT));
const CLIPFORMAT IdListFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_SHELLIDLIST));
const CLIPFORMAT PrivateFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Quenwick test private"));

// Real files: a plain one, one with a non-ASCII name, one whose path is past 300 characters.
class FileDataTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = std::wstring(temp) + L"quenwick_file_data_" + std::to_wstring(GetCurrentProcessId());
        const std::wstring deep = root + L"\\" + std::wstring(150, L'd') + L"\\" + std::wstring(150, L'e');
        folders = {root, deep.substr(0, deep.rfind(L'\\')), deep};
        for (const std::wstring& folder : folders)
            CreateDirectoryW(folder.c_str(), nullptr);
        files = {root + L"\\plain.txt", root + L"\\donn\u00e9es \u65e5\u672c.txt", deep + L"\\long.txt"};
        for (const std::wstring& file : files)
            CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    static void TearDownTestSuite() {
        // Not SHFileOperationW: Wine's, meeting a path past 260 characters below the folder, deletes
        // in the current folder instead.
        for (const std::wstring& file : files)
            DeleteFileW(file.c_str());
        for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
            RemoveDirectoryW(folder->c_str());
        OleUninitialize();
    }
    static TComPtr<IDataObject> Make(const std::vector<std::wstring>& paths) {
        TPathList list;
        for (const std::wstring& path : paths)
            list.Add(path);
        return NewFileDataObject(std::move(list));
    }
    static std::string Get(IDataObject* data, CLIPFORMAT format, HRESULT* result = nullptr) {
        FORMATETC asked{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        const HRESULT got = data->GetData(&asked, &medium);
        if (result)
            *result = got;
        if (FAILED(got))
            return "";
        std::string bytes(static_cast<const char*>(GlobalLock(medium.hGlobal)), GlobalSize(medium.hGlobal));
        GlobalUnlock(medium.hGlobal);
        ReleaseStgMedium(&medium);
        return bytes;
    }
    static std::set<CLIPFORMAT> Listed(IDataObject* data) {
        std::set<CLIPFORMAT> listed;
        IEnumFORMATETC* formats = nullptr;
        EXPECT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &formats));
        for (FORMATETC format; formats && formats->Next(1, &format, nullptr) == S_OK;) {
            EXPECT_EQ(S_OK, data->QueryGetData(&format));
            EXPECT_NE("", Get(data, format.cfFormat)) << format.cfFormat;
            listed.insert(format.cfFormat);
        }
        if (formats)
            formats->Release();
        return listed;
    }
    static std::string Bytes(const std::wstring& text) {
        return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    }
    static inline std::wstring root;
    static inline std::vector<std::wstring> files, folders;
};
} // namespace

TEST_F(FileDataTest, GivesEachFormatByteForByteAndListsWhatItGives) {
    TComPtr<IDataObject> data = Make(files);
    const std::string header("\x14\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x01\0\0\0", 20);
    EXPECT_EQ(header + Bytes(files[0] + L'\0' + files[1] + L'\0' + files[2] + L'\0' + L'\0'),
              Get(data.Get(), CF_HDROP));
    EXPECT_EQ(std::string("\x01\0\0\0", 4), Get(data.Get(), EffectFormat));
    const std::wstring text = files[0] + L"\r\n" + files[1] + L"\r\n" + files[2];
    EXPECT_EQ(Bytes(text + L'\0'), Get(data.Get(), CF_UNICODETEXT));
    EXPECT_EQ(Ansi(text) + '\0', Get(data.Get(), CF_TEXT));
    // Unknown formats are refused; one set by a helper is given back and listed.
    HRESULT result = S_OK;
    EXPECT_EQ("", Get(data.Get(), PrivateFormat, &result));
    EXPECT_EQ(DV_E_FORMATETC, result);
    FORMATETC format{PrivateFormat, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{TYMED_HGLOBAL};
    medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE, 3);
    std::memcpy(GlobalLock(medium.hGlobal), "a\0b", 3);
    GlobalUnlock(medium.hGlobal);
    ASSERT_EQ(S_OK, data->SetData(&format, &medium, TRUE));
    EXPECT_EQ(std::string("a\0b", 3), Get(data.Get(), PrivateFormat));
    // The shell forms no item list for the long path: listed until that is known, then not.
    Get(data.Get(), IdListFormat);
    EXPECT_EQ((std::set<CLIPFORMAT>{CF_HDROP, EffectFormat, CF_UNICODETEXT, CF_TEXT, PrivateFormat}),
              Listed(data.Get()));
}

TEST_F(FileDataTest, ShellIdListNamesEachFileUpToItsLimit) {
    TComPtr<IDataObject> data = Make({files[0], files[1]});
    EXPECT_EQ((std::set<CLIPFORMAT>{CF_HDROP, IdListFormat, EffectFormat, CF_UNICODETEXT, CF_TEXT}),
              Listed(data.Get()));
    const std::string bytes = Get(data.Get(), IdListFormat);
    const auto* list = reinterpret_cast<const CIDA*>(bytes.data());
    ASSERT_EQ(2u, list->cidl);
    const auto item = [&](UINT i) {
        return reinterpret_cast<PCIDLIST_ABSOLUTE>(bytes.data() + list->aoffset[i]);
    };
    EXPECT_EQ(0, item(0)->mkid.cb);
    for (UINT i = 0; i < 2; ++i) {
        wchar_t path[MAX_PATH] = {};
        EXPECT_TRUE(SHGetPathFromIDListW(item(i + 1), path));
        EXPECT_EQ(files[i], path);
    }
    EXPECT_FALSE(Listed(Make(std::vector<std::wstring>(MaxShellIdListPaths + 1, files[0])).Get())
                     .contains(IdListFormat));
}

TEST_F(FileDataTest, ClipboardKeepsTheFilesAfterTheFlush) {
    TComPtr<IDataObject> data = Make(files);
    {
        THolder holder;
        ASSERT_TRUE(holder.Held());
        EXPECT_FALSE(PlaceFilesOnClipboard(data.Get()));
        EXPECT_EQ(static_cast<DWORD>(CLIPBRD_E_CANT_OPEN), GetLastError());
    }
    ASSERT_TRUE(PlaceFilesOnClipboard(data.Get()));
    EXPECT_TRUE(FlushFilesOnClipboard());
    EXPECT_EQ(S_FALSE, OleIsCurrentClipboard(data.Get()));
    HWND window = MakeWindow();
    ASSERT_TRUE(OpenForReading(window));
    std::vector<std::wstring> read;
    HDROP drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
    for (UINT i = 0; drop && i < DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0); ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0), L'\0');
        DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
        read.push_back(path);
    }
    HANDLE effect = GetClipboardData(EffectFormat);
    DWORD copy = 0;
    if (effect && GlobalSize(effect) >= sizeof copy) {
        std::memcpy(&copy, GlobalLock(effect), sizeof copy);
        GlobalUnlock(effect);
    }
    CloseClipboard();
    DestroyWindow(window);
    EXPECT_EQ(files, read);
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), copy);
}
