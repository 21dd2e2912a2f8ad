#pragma once
// Shared by the reliability tests: the main window run on real or scripted trees, the trees that
// the Linux side makes, and the program started as a process of its own.
#include "reliability/program.h"
#include "scan/scan_harness.h"
#include "scan/work_thread.h"
#include "toolkit/message_box.h"
#include "ui/logs_form.h"
#include "ui/main_form.h"
#include <windows.h>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace reliability {

// The file-time origin of make_trees.py, as a FILETIME count.
inline FILETIME UnixTime(long long seconds) {
    const unsigned long long ticks =
        (static_cast<unsigned long long>(seconds) + 11644473600ull) * 10000000ull;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
constexpr long long TreeBase = 1577836800;

inline std::wstring Widen(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

// A Unix path as Wine names it.
inline std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + Widen(unixPath);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

// Makes a tree of make_trees.py (kept between runs) and gives its folder, ending with "\".
// A Unix process started from Wine cannot be waited for: wait until the finished tree shows.
inline std::wstring LinuxTree(const std::string& kind, DWORD timeoutMs = 600000) {
    const std::wstring folder = WindowsPath(std::string(TREES_DIR) + "/" + kind) + L"\\";
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::string command = "/usr/bin/env python3 \"" MAKE_TREES "\" \"" TREES_DIR "\" " + kind;
        STARTUPINFOA startup{sizeof startup};
        PROCESS_INFORMATION process{};
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        const ULONGLONG end = GetTickCount64() + timeoutMs;
        while (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount64() < end)
            Sleep(200);
    }
    return folder;
}

// The main window with its message boxes and processing log seen by the test.
class WindowTest : public testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel");
        form = std::make_unique<TMainForm>(std::vector<std::wstring>{});
        form->Show();
        SetMessageBoxForTesting([this](const std::wstring& text, const std::wstring& caption, UINT) {
            boxes.push_back(caption + L"|" + text);
            return answer;
        });
        form->ShowProcessingLog = [this](TLogsForm& log) { logs.push_back(log.Text()); };
    }
    void TearDown() override {
        if (form->HasJob()) {
            answer = IDYES;
            form->StopActionExecute();
            PumpUntil([this] { return !form->HasJob(); }, 20000);
        }
        form.reset();
        SetMessageBoxForTesting({});
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel");
    }

    void Start(const std::wstring& root, int number = 100) {
        form->PathEdit.SetText(root);
        form->NumberSpin.SetPosition(number);
        form->StartActionExecute();
    }
    void StartByDate(const std::wstring& root, TDateTime after) {
        form->PathEdit.SetText(root);
        form->LatestRadioButton.SetChecked(true);
        form->NumberRadioButton.SetChecked(false);
        form->RadioButtonClick();
        const SYSTEMTIME fields = DecodeDateTime(after);
        form->LatestDate.SetDateTime(fields);
        form->LatestTime.SetDateTime(fields);
        form->StartActionExecute();
    }
    bool Ends(DWORD ms = 120000) {
        return PumpUntil([this] { return !form->HasJob(); }, ms);
    }
    // The count of the completion report; -1 when the status bar does not show one.
    long long ReportedCount() const {
        std::wsmatch match;
        const std::wstring text = form->StatusBar.Text();
        static const std::wregex pattern(LR"(Successfully processed (\d+) files for [0-9:.]+\.)");
        return std::regex_match(text, match, pattern) ? std::stoll(match[1].str()) : -1;
    }
    std::vector<TRow> Rows() const {
        form->Results->Flush();
        std::vector<TRow> rows;
        for (int i = 0; i < form->Results->RowCount(); ++i)
            rows.push_back(form->Results->Row(i));
        return rows;
    }
    std::vector<std::wstring> Paths() const {
        std::vector<std::wstring> paths;
        for (const TRow& row : Rows())
            paths.push_back(row.Path);
        return paths;
    }
    // The processing log's lines that end with the error code.
    std::vector<std::wstring> LogLinesWithCode(int code) const {
        std::vector<std::wstring> found;
        const std::wstring suffix = L"(" + std::to_wstring(code) + L")";
        for (const std::wstring& log : logs) {
            size_t start = 0;
            while (start <= log.size()) {
                size_t end = log.find(L"\r\n", start);
                const std::wstring line =
                    log.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
                if (line.size() >= suffix.size() &&
                    line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
                    found.push_back(line);
                if (end == std::wstring::npos)
                    break;
                start = end + 2;
            }
        }
        return found;
    }

    std::unique_ptr<TMainForm> form;
    int answer = IDYES;
    std::vector<std::wstring> boxes;
    std::vector<std::wstring> logs;
};

} // namespace reliability
