// Start, Pause and Stop in the main window, on real trees and scripted listings, to the completion report.
#include "scan/last_scans.h"
#include "scan/scan_harness.h"
#include "scan/scan_request.h"
#include "scan/snapshot_file.h"
#include "scan/sys_error.h"
#include "scan/work_thread.h"
#include "toolkit/application.h"
#include "toolkit/format_settings.h"
#include "toolkit/handoff.h"
#include "toolkit/message_box.h"
#include "ui/logs_form.h"
#include "ui/main_form.h"
#include <windows.h>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <new>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr double Second = 1.0 / 86400;

// The listing of the system, held at the door of the first folder until the test lets it in.
class TGatedListing final : public IListing {
  public:
    explicit TGatedListing(HANDLE gate) : gate_(gate), inner_(CreateSystemListing()) {}
    TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) override {
        WaitForSingleObject(gate_, INFINITE);
        return inner_->Open(pattern, entry, error);
    }
    bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) override {
        return inner_->Next(listing, entry, error);
    }
    void Close(TListingHandle listing) override { inner_->Close(listing); }
    bool Identity(const std::wstring& folder, TFolderIdentity& identity) override {
        return inner_->Identity(folder, identity);
    }
    bool Volume(const std::wstring& folder, TVolumeIdentity& volume) override {
        return inner_->Volume(folder, volume);
    }

  private:
    HANDLE gate_;
    std::unique_ptr<IListing> inner_;
};

// The running time's clock, and the date and time of the wall, which the test moves apart.
std::uint64_t clockMs = 0;
std::uint64_t TestClock() {
    return clockMs;
}
TDateTime wallNow = 0;
TDateTime WallClock() {
    return wallNow;
}
std::int64_t utcNow = 0;
std::int64_t UtcClock() {
    return utcNow;
}

class MainFormSearchTest : public testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel");
        form = std::make_unique<TMainForm>(std::vector<std::wstring>{});
        form->Show();
        SetMessageBoxForTesting([this](const std::wstring& text, const std::wstring& caption, UINT flags) {
            questions.push_back(caption + L"|" + text);
            const UINT question = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1;
            EXPECT_EQ(caption == L"Confirm" ? question : static_cast<UINT>(MB_OK | MB_ICONERROR), flags);
            return answer;
        });
        form->ShowProcessingLog = [this](TLogsForm& log) {
            shownLogs.push_back(log.Text());
            statusWhenLogShown = form->StatusBar.Text();
            countsWhenLogShown = form->StatusBar.PartText(1);
            rowsWhenLogShown = Rows();
        };
        gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override {
        SetEvent(gate);
        if (form->HasJob()) {
            answer = IDYES;
            form->StopActionExecute();
            PumpUntil([this] { return !form->HasJob(); }, 10000);
        }
        form.reset();
        SetMessageBoxForTesting({});
        SetQueueFullForTesting(false);
        SetClockForTesting(nullptr);
        SetSteadyClockForTesting(nullptr);
        SetUtcClockForTesting(nullptr);
        CloseHandle(gate);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel");
    }

    void UseGate() {
        form->PrepareJob = [this](TWorkThread& job) { job.Listing = std::make_unique<TGatedListing>(gate); };
    }
    bool ScanEnds() {
        return PumpUntil([this] { return !form->HasJob(); }, 20000);
    }
    std::vector<std::wstring> Rows() const {
        std::vector<std::wstring> rows;
        form->Results->Flush();
        for (int i = 0; i < form->Results->RowCount(); ++i)
            rows.push_back(form->Results->Row(i).Path);
        return rows;
    }
    // Start, Pause, Stop as the update handlers leave them, and the buttons that follow them.
    std::vector<bool> Enabled() {
        form->UpdateActions();
        std::vector<bool> states{form->StartAction.Enabled(), form->PauseAction.Enabled(),
                                 form->StopAction.Enabled()};
        EXPECT_EQ(states[0], IsWindowEnabled(form->StartButton.Handle()) != FALSE);
        EXPECT_EQ(states[1], IsWindowEnabled(form->PauseButton.Handle()) != FALSE);
        EXPECT_EQ(states[2], IsWindowEnabled(form->StopButton.Handle()) != FALSE);
        return states;
    }

    std::unique_ptr<TMainForm> form;
    HANDLE gate = nullptr;
    int answer = IDYES;
    std::vector<std::wstring> questions;
    std::vector<std::wstring> shownLogs;
    std::wstring statusWhenLogShown;
    std::wstring countsWhenLogShown;
    std::vector<std::wstring> rowsWhenLogShown;
};

const std::wregex CompletionPattern(LR"(Successfully processed (\d+) files for [0-9:.]+\.)");

TEST_F(MainFormSearchTest, NumberModeEndsWithTheNewestFilesNewestFirst) {
    TTempTree tree;
    std::vector<std::pair<TDateTime, std::wstring>> files;
    const int minutes[] = {50, 10, 40, 5, 30, 20, 45};
    int i = 0;
    for (int minute : minutes) {
        const std::wstring relative = (i % 2 ? L"sub\\f" : L"f") + std::to_wstring(i) + L".txt";
        if (i == 1)
            tree.Folder(L"sub");
        const FILETIME time = UtcFileTime(2024, 5, 1, 12, minute);
        files.push_back({LocalValue(time), tree.File(relative, time)});
        ++i;
    }
    std::sort(files.begin(), files.end(), [](auto& a, auto& b) { return a.first > b.first; });

    form->PathEdit.SetText(tree.Root());
    form->NumberSpin.SetPosition(4);
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());

    std::wsmatch match;
    const std::wstring status = form->StatusBar.Text();
    ASSERT_TRUE(std::regex_match(status, match, CompletionPattern)) << status;
    EXPECT_EQ(L"7", match[1].str());
    std::vector<std::wstring> expected;
    for (int k = 0; k < 4; ++k)
        expected.push_back(files[k].second);
    EXPECT_EQ(expected, Rows());
    EXPECT_TRUE(shownLogs.empty());
    EXPECT_EQ(L"7 files seen, 4 rows", form->StatusBar.PartText(1));

    form->NumberSpin.SetPosition(0);
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    EXPECT_TRUE(Rows().empty()) << "N = 0 holds nothing";
    EXPECT_TRUE(std::regex_match(form->StatusBar.Text(), CompletionPattern));
    // Filters that leave the list empty say so.
    form->SkipEdit.SetText(L"sub");
    form->NamesEdit.SetText(L"*.none");
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    EXPECT_EQ(L"0 of 4 files match the names, 1 folder skipped, 0 rows", form->StatusBar.PartText(1));
    // A mask without a wildcard that took nothing is told what it may have meant, the whole text seen.
    form->NamesEdit.SetText(L"f0; *.none");
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    const std::wstring hinted = L"0 of 4 files match the names (did you mean *f0*?), 1 folder skipped";
    EXPECT_EQ(hinted, form->StatusBar.PartText(1));
    RECT part{};
    SendMessageW(form->StatusBar.Handle(), SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    const HDC dc = GetDC(form->StatusBar.Handle());
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(form->StatusBar.Handle(), WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, hinted.c_str(), static_cast<int>(hinted.size()), &size);
    ReleaseDC(form->StatusBar.Handle(), dc);
    EXPECT_GT(part.right - part.left, size.cx);
}

// The bar takes the last folder of a batch once the batch's message is over; a folder put off
// before the completion report never covers it.
TEST_F(MainFormSearchTest, TheStatusBarTakesTheLastFolderOfABatchAndNeverCoversTheReport) {
    TStatusBarLine line(form->StatusBar);
    form->StatusBar.SetText(L"before");
    line.SetText(L"R:\\a\\");
    line.SetText(L"R:\\b\\");
    EXPECT_EQ(L"before", form->StatusBar.Text());
    Application.ProcessMessages();
    EXPECT_EQ(L"R:\\b\\", form->StatusBar.Text());
    line.SetText(L"R:\\c\\");
    line.Discard();
    form->StatusBar.SetText(L"report");
    Application.ProcessMessages();
    EXPECT_EQ(L"report", form->StatusBar.Text());
    // With the queue full, Later runs at once: each folder reaches the bar at once, the last stays,
    // and once the queue drains the bar takes folders as before.
    SetQueueFullForTesting(true);
    for (const std::wstring folder : {L"R:\\d\\", L"R:\\e\\", L"R:\\f\\"}) {
        line.SetText(folder);
        EXPECT_EQ(folder, form->StatusBar.Text());
    }
    SetQueueFullForTesting(false);
    Application.ProcessMessages();
    EXPECT_EQ(L"R:\\f\\", form->StatusBar.Text());
    line.SetText(L"R:\\g\\");
    Application.ProcessMessages();
    EXPECT_EQ(L"R:\\g\\", form->StatusBar.Text());
}

TEST_F(MainFormSearchTest, DateModeTakesTheDateOfOnePickerAndTheTimeOfTheOther) {
    TTempTree tree;
    const FILETIME threshold = UtcFileTime(2024, 3, 1, 14, 30);
    const FILETIME justAfter = UtcFileTime(2024, 3, 1, 14, 30, 0, 1);
    const FILETIME before = UtcFileTime(2024, 3, 1, 14, 29, 59, 999);
    const FILETIME nextDay = UtcFileTime(2024, 3, 2, 9, 0);
    tree.File(L"at.txt", threshold);
    const std::wstring afterFile = tree.File(L"after.txt", justAfter);
    tree.File(L"before.txt", before);
    const std::wstring later = tree.File(L"later.txt", nextDay);

    SYSTEMTIME moment = DecodeDateTime(LocalValue(threshold));
    SYSTEMTIME datePicker = moment, timePicker = moment;
    datePicker.wHour = (moment.wHour + 5) % 24; // the date picker's time of day does not count
    timePicker.wYear = 2030;                    // nor the time picker's date
    SendMessageW(form->LatestRadioButton.Handle(), BM_CLICK, 0, 0);
    ASSERT_FALSE(form->NumberRadioButton.Checked());
    form->LatestDate.SetDateTime(datePicker);
    form->LatestTime.SetDateTime(timePicker);
    form->PathEdit.SetText(tree.Root());
    TDateTime after = -1;
    form->PrepareJob = [&](TWorkThread& job) { after = job.Request().After; };
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    EXPECT_DOUBLE_EQ(LocalValue(threshold), after);
    EXPECT_EQ((std::vector<std::wstring>{later, afterFile}), Rows());
}

// Pauses are left out, and the date and time of the wall (a clock set back, daylight saving ending)
// change nothing.
TEST_F(MainFormSearchTest, RunningTimeLeavesPausesOut) {
    TTempTree tree;
    tree.File(L"a.txt", UtcFileTime(2024, 1, 1));
    SetSteadyClockForTesting(TestClock);
    SetClockForTesting(WallClock);
    UseGate();
    std::optional<std::int64_t> completed;
    for (bool stopWhilePaused : {false, true}) {
        ResetEvent(gate);
        clockMs = 1'000'000;
        wallNow = 46000;
        form->PathEdit.SetText(tree.Root());
        form->StartActionExecute();
        clockMs += 5000;
        wallNow -= 1.0 / 24;
        form->PauseActionExecute();
        EXPECT_TRUE(form->JobPaused());
        EXPECT_EQ(L"Paused: 0 files seen, 0 rows", form->StatusBar.PartText(1));
        clockMs += 600'000;
        if (stopWhilePaused)
            form->StopActionExecute();
        else
            form->StartActionExecute();
        EXPECT_FALSE(form->JobPaused());
        clockMs += 2000;
        wallNow += 2.0 / 24;
        SetEvent(gate);
        ASSERT_TRUE(ScanEnds());
        EXPECT_EQ(stopWhilePaused ? L"Successfully processed 0 files for 7.000."
                                  : L"Successfully processed 1 files for 7.000.",
                  form->StatusBar.Text());
        EXPECT_EQ(stopWhilePaused ? L"Stopped: 0 files seen, 0 rows" : L"1 file seen, 1 row",
                  form->StatusBar.PartText(1));
        // Only the scan that ran to its end is the folder's last scan.
        const std::optional<std::int64_t> stored = LastScanStart(tree.Root());
        EXPECT_TRUE(stored);
        EXPECT_EQ(completed.value_or(*stored), stored);
        completed = stored;
    }
}

// Each entry of the moments' menu fills the pickers with its local date and time and selects the
// date mode; the last scan's entry names its moment, greyed while the folder has none; while the
// pickers show the chosen moment a scan compares with its instant, past their whole seconds.
TEST_F(MainFormSearchTest, TheMomentsMenuFillsThePickersAndSelectsTheDateMode) {
    TTempTree tree;
    const FILETIME last = UtcFileTime(2026, 8, 12, 14, 2, 37, 456);
    const std::wstring before = tree.File(L"before.txt", UtcFileTime(2026, 8, 12, 14, 2, 37, 200));
    const std::wstring after = tree.File(L"after.txt", UtcFileTime(2026, 8, 12, 14, 2, 37, 457));
    utcNow = FileTimeTicks(UtcFileTime(2026, 8, 12, 18, 30, 15, 500));
    SetUtcClockForTesting(UtcClock);
    form->PathEdit.SetText(tree.Root());
    std::vector<std::wstring> captions; // a greyed entry's with a "-" before it
    int pick = -1;                      // the entry's place in the menu
    form->TrackMenu = [&](HMENU menu, POINT) {
        captions.clear();
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[200] = L"";
            GetMenuStringW(menu, i, text, 200, MF_BYPOSITION);
            const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
            captions.push_back((state & MF_GRAYED) && !(state & MF_SEPARATOR) ? L"-" + std::wstring(text)
                                                                              : text);
        }
        return pick < 0 ? 0u : GetMenuItemID(menu, pick);
    };
    // What the pickers show, to the second, and the moments expected there, by the system's rules.
    const auto text = [](TDateTime value) { return DateTimeText(value, UserFormatSettings()); };
    const auto shown = [&] {
        TDateTime day = 0, time = 0;
        TryEncodeDateTime(form->LatestDate.DateTime(), day);
        TryEncodeDateTime(form->LatestTime.DateTime(), time);
        return text(ThresholdFromPickers(day, time));
    };
    const TDateTime now = LocalValue(FileTimeOfTicks(utcNow));
    const std::wstring lastEntry = L"Since the &last scan of this folder";
    pick = 5;
    SendMessageW(form->MomentButton.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ((std::vector<std::wstring>{L"&Today", L"&Yesterday", L"Last &7 days", L"Last &hour", L"",
                                         L"-" + lastEntry}),
              captions);
    EXPECT_TRUE(form->NumberRadioButton.Checked()) << "a greyed entry chooses nothing";

    RememberScanStart(RootPathFromText(tree.Root()), FileTimeTicks(last));
    // The menu opened by a click, or by Alt+Down for the odd places.
    const std::pair<int, TDateTime> entries[] = {
        {0, std::floor(now)},     {1, std::floor(now) - 1},
        {2, std::floor(now) - 7}, {3, LocalValue(FileTimeOfTicks(utcNow - 36'000'000'000))},
        {5, LocalValue(last)},
    };
    for (const auto& [place, expected] : entries) {
        SCOPED_TRACE(place);
        form->NumberRadioButton.SetChecked(true);
        form->LatestRadioButton.SetChecked(false);
        form->RadioButtonClick();
        pick = place;
        if (place % 2)
            SendMessageW(form->MomentButton.Handle(), WM_SYSKEYDOWN, VK_DOWN, 1 << 29);
        else
            SendMessageW(form->MomentButton.Handle(), BM_CLICK, 0, 0);
        EXPECT_EQ(text(expected), shown());
        EXPECT_TRUE(form->LatestRadioButton.Checked() && !form->NumberRadioButton.Checked());
        EXPECT_TRUE(form->LatestDate.Enabled() && form->LatestTime.Enabled());
    }
    EXPECT_EQ(lastEntry + L" (" + text(LocalValue(last)) + L")", captions.at(5));

    // The pickers show 14:02:37, which before.txt is past; the instant chosen is not.
    SetUtcClockForTesting(nullptr);
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    EXPECT_EQ(std::vector<std::wstring>{after}, Rows());
    // A picker changed: its moment counts again.
    SYSTEMTIME earlier = form->LatestTime.DateTime();
    earlier.wSecond -= 1;
    form->LatestTime.SetDateTime(earlier);
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    EXPECT_EQ((std::vector<std::wstring>{after, before}), Rows());
}

// F5 wherever the focus is runs Start as if clicked: a scan when it is enabled, nothing while one runs.
TEST_F(MainFormSearchTest, CommandsFollowTheJobThroughItsStates) {
    int jobs = 0;
    form->PrepareJob = [&](TWorkThread& job) {
        ++jobs;
        job.Listing = std::make_unique<TGatedListing>(gate);
    };
    const auto pressF5 = [&](const TControl& focused) {
        PostMessageW(focused.Handle(), WM_KEYDOWN, VK_F5, 0);
        Application.ProcessMessages();
    };
    TTempTree tree;
    //                                      Start  Pause  Stop
    EXPECT_EQ((std::vector<bool>{false, false, false}), Enabled()) << "idle, empty path";
    form->PathEdit.SetText(L" \t ");
    pressF5(form->PathEdit);
    EXPECT_EQ((std::vector<bool>{false, false, false}), Enabled()) << "idle, blanks only";
    form->PathEdit.SetText(tree.Root());
    EXPECT_EQ((std::vector<bool>{true, false, false}), Enabled()) << "idle";
    pressF5(form->NumberEdit);
    EXPECT_EQ((std::vector<bool>{false, true, true}), Enabled()) << "running";
    pressF5(form->ListView);
    EXPECT_EQ(1, jobs) << "the running scan is left alone";
    form->PauseActionExecute();
    EXPECT_EQ((std::vector<bool>{true, false, true}), Enabled()) << "paused";
    form->PathEdit.SetText(L"  ");
    EXPECT_EQ((std::vector<bool>{false, false, true}), Enabled()) << "paused, path blanked";
    form->PathEdit.SetText(tree.Root());
    form->StartActionExecute();
    answer = IDYES;
    form->StopActionExecute();
    EXPECT_EQ((std::vector<bool>{false, true, true}), Enabled()) << "stopping";
    SetEvent(gate);
    ASSERT_TRUE(ScanEnds());
    EXPECT_EQ((std::vector<bool>{true, false, false}), Enabled()) << "idle again";
}

TEST_F(MainFormSearchTest, StopAnsweredNoChangesNothing) {
    UseGate();
    TTempTree tree;
    form->PathEdit.SetText(tree.Root());
    form->StartActionExecute();
    answer = IDNO;
    form->StopActionExecute();
    EXPECT_TRUE(form->HasJob());
    EXPECT_FALSE(form->JobPaused());
    form->PauseActionExecute();
    form->StopActionExecute();
    EXPECT_TRUE(form->JobPaused()) << "a paused job stays paused";
    EXPECT_FALSE(form->FormCloseQuery()) << "the close question answered No keeps the window";
    EXPECT_TRUE(form->JobPaused());
    EXPECT_EQ(std::vector<std::wstring>(3, L"Confirm|Stop processing?"), questions);

    answer = IDYES;
    form->StopActionExecute();
    EXPECT_FALSE(form->JobPaused());
    SetEvent(gate);
    ASSERT_TRUE(ScanEnds());
    EXPECT_TRUE(std::regex_match(form->StatusBar.Text(), CompletionPattern));
}

HANDLE gateForTimer = nullptr;

// The end of a scan answers a stop question still open: Stop's with No, the window staying; Close's
// with Yes, the window closing as asked. The buttons follow at once.
TEST_F(MainFormSearchTest, TheEndOfTheScanAnswersAnOpenStopQuestionAsItsCommandWants) {
    TTempTree tree;
    for (const bool byClose : {false, true}) {
        SCOPED_TRACE(byClose ? "Close" : "Stop");
        UseGate();
        ResetEvent(gate);
        form->Show();
        form->PathEdit.SetText(tree.Root());
        form->StartActionExecute();
        SetMessageBoxForTesting({}); // the real box, which the scan's end must close
        gateForTimer = gate;
        SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
            if (FindWindowW(L"#32770", L"Confirm") && KillTimer(nullptr, id))
                SetEvent(gateForTimer); // the walk ends
        });
        if (byClose)
            form->Close();
        else
            form->StopActionExecute();
        EXPECT_FALSE(form->HasJob() || FindWindowW(L"#32770", L"Confirm"));
        EXPECT_EQ(!byClose, form->Visible());
        MSG quit{};
        EXPECT_EQ(byClose, PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE)
            << "the program ends";
        EXPECT_TRUE(std::regex_match(form->StatusBar.Text(), CompletionPattern));
        for (const auto& [button, enabled] :
             {std::pair{&form->StartButton, true}, {&form->PauseButton, false}, {&form->StopButton, false}})
            EXPECT_EQ(enabled, IsWindowEnabled(button->Handle()) != FALSE);
    }
}

// The root as one full path, and N as the number box shows it: what the scan takes is written back.
TEST_F(MainFormSearchTest, RootPathGetsOneBackslashAndTheOptionsAsStarted) {
    const std::wstring thousands = UserFormatSettings().ThousandSeparator;
    struct Case {
        const wchar_t *Typed, *Root;
        std::wstring Number;
        int Limit;
        std::wstring Shown;
    } cases[] = {
        {L"C:", L"C:\\", L"250", 250, L"250"},
        {L"C:\\", L"C:\\", L"50000", 32767, L"32" + thousands + L"767"},
        {L" D:\\data ", L"D:\\data\\", L"", 100, L"100"},
        {L"D:/data", L"D:\\data\\", L"1" + thousands + L"000", 1000, L"1" + thousands + L"000"},
        {L"D:\\data\\", L"D:\\data\\", L"1000", 1000, L"1" + thousands + L"000"},
    };
    for (const Case& c : cases) {
        const wchar_t* typed = c.Typed;
        const wchar_t* root = c.Root;
        std::wstring seen;
        bool recursive = true;
        int limit = -1;
        form->PrepareJob = [&](TWorkThread& job) {
            seen = job.Request().RootPath;
            recursive = job.Request().Recursive;
            limit = job.Request().Newest;
            job.Listing = std::make_unique<TFakeListing>(job.Request().RootPath);
        };
        form->PathEdit.SetText(typed);
        form->RecurseBox.SetChecked(false);
        form->NumberSpin.SetPosition(100);
        form->NumberEdit.SetText(c.Number);
        form->StartActionExecute();
        ASSERT_TRUE(ScanEnds());
        EXPECT_EQ(root, seen);
        EXPECT_FALSE(recursive);
        EXPECT_EQ(c.Limit, limit) << c.Limit;
        EXPECT_EQ(c.Shown, form->NumberEdit.Text()) << c.Limit;
    }
}

TEST_F(MainFormSearchTest, FailedFoldersGiveOneLogShownAfterTheReportAndBeforeTheSort) {
    auto listing = std::make_unique<TFakeListing>(L"R:\\r\\");
    // Appended oldest first, so only the sort at the end puts them newest first.
    listing->AddFile(L"R:\\r\\old.txt", UtcFileTime(2020, 1, 1));
    listing->AddFolder(L"R:\\r\\denied\\");
    listing->AddFile(L"R:\\r\\new.txt", UtcFileTime(2023, 1, 1));
    listing->AddFolder(L"R:\\r\\busy\\");
    listing->AddFolder(L"R:\\r\\gone\\");
    listing->Folder(L"R:\\r\\denied\\").OpenError = ERROR_ACCESS_DENIED;
    listing->Folder(L"R:\\r\\busy\\").OpenError = ERROR_SHARING_VIOLATION;
    listing->Folder(L"R:\\r\\gone\\").OpenError = ERROR_PATH_NOT_FOUND;
    TFakeListing* fake = listing.get();
    form->PrepareJob = [&](TWorkThread& job) { job.Listing = std::move(listing); };
    SendMessageW(form->LatestRadioButton.Handle(), BM_CLICK, 0, 0);
    ASSERT_FALSE(form->NumberRadioButton.Checked());
    form->LatestDate.SetDateTime(DecodeDateTime(1));
    form->LatestTime.SetDateTime(DecodeDateTime(1));
    form->PathEdit.SetText(L"R:\\r");
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    (void)fake;

    ASSERT_EQ(1u, shownLogs.size());
    EXPECT_EQ(LogLine(L"R:\\r\\denied\\", 5) + L"\r\n" + LogLine(L"R:\\r\\busy\\", 32) + L"\r\n" +
                  LogLine(L"R:\\r\\gone\\", 3),
              shownLogs[0]);
    EXPECT_TRUE(std::regex_match(statusWhenLogShown, CompletionPattern)) << "the report comes first";
    EXPECT_EQ(L"2 files seen, 2 rows", countsWhenLogShown) << "the final counts beside it";
    EXPECT_EQ((std::vector<std::wstring>{L"R:\\r\\old.txt", L"R:\\r\\new.txt"}), rowsWhenLogShown);
    EXPECT_EQ((std::vector<std::wstring>{L"R:\\r\\new.txt", L"R:\\r\\old.txt"}), Rows());
}

// The window's own sink, failing where the status line would show one folder.
class TFailingStatus final : public IScanSink {
  public:
    IScanSink* Window = nullptr;
    void FolderEntered(const std::wstring& folder) override {
        if (folder == L"R:\\r\\later\\")
            throw std::runtime_error("the status line failed");
        Window->FolderEntered(folder);
    }
    void RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId> removed) override {
        Window->RowsChanged(added, removed);
    }
    void ListingFailed(const std::wstring& line) override { Window->ListingFailed(line); }
    void Ended(const TScanEnd& end) override { Window->Ended(end); }
};

// A failure that ends the walk, in the listing or in a sink, is said as any other failure, and
// the scan is not called a success; what was found stays, sorted, and the log is shown as usual.
TEST_F(MainFormSearchTest, AFailedScanIsReportedAsAFailure) {
    TFailingStatus failingStatus;
    for (const bool inListing : {true, false}) {
        SCOPED_TRACE(inListing ? "listing" : "sink");
        auto listing = std::make_unique<TFakeListing>(L"R:\\r\\");
        listing->AddFile(L"R:\\r\\old.txt", UtcFileTime(2020, 1, 1));
        listing->AddFile(L"R:\\r\\new.txt", UtcFileTime(2023, 1, 1));
        listing->AddFolder(L"R:\\r\\denied\\");
        listing->Folder(L"R:\\r\\denied\\").OpenError = ERROR_ACCESS_DENIED;
        listing->AddFile(L"R:\\r\\later\\x.txt", UtcFileTime(2024, 1, 1));
        listing->Folder(L"R:\\r\\later\\").ThrowOnOpen = inListing;
        form->PrepareJob = [&](TWorkThread& job) {
            job.Listing = std::move(listing);
            if (!inListing) {
                failingStatus.Window = job.Sink();
                job.ReportTo(failingStatus);
            }
        };
        questions.clear();
        shownLogs.clear();
        form->PathEdit.SetText(L"R:\\r");
        form->StartActionExecute();
        ASSERT_TRUE(ScanEnds());

        ASSERT_EQ(1u, questions.size());
        EXPECT_EQ(Application.Title() + L"|" + (inListing ? L"Out of memory." : L"the status line failed."),
                  questions[0]);
        EXPECT_EQ(L"Stopped on an error after ", form->StatusBar.Text().substr(0, 26));
        EXPECT_EQ((std::vector<std::wstring>{LogLine(L"R:\\r\\denied\\", 5)}), shownLogs);
        EXPECT_EQ((std::vector<std::wstring>{L"R:\\r\\new.txt", L"R:\\r\\old.txt"}), Rows());
    }
}

// A pattern that can never match is said before anything starts; the rows stay as they were.
TEST_F(MainFormSearchTest, APatternThatCanNeverMatchIsRefusedBeforeTheScan) {
    form->Results->AddRow(L"C:\\kept.txt", UtcTicks(1));
    form->PathEdit.SetText(L"C:\\");
    form->NamesEdit.SetText(L"*.txt; a\\b");
    form->StartActionExecute();
    EXPECT_FALSE(form->HasJob());
    EXPECT_EQ((std::vector<std::wstring>{
                  Application.Title() + L"|The name mask \"a\\b\" has \"\\\", which no file name can hold: a "
                                        L"mask is a name alone, as in \"b\"."}),
              questions);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\kept.txt"}), Rows());
}

TEST_F(MainFormSearchTest, ARootThatDoesNotExistIsLoggedOnce) {
    TTempTree tree;
    form->PathEdit.SetText(tree.Root() + L"missing");
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    ASSERT_EQ(1u, shownLogs.size());
    EXPECT_EQ(LogLine(tree.Root() + L"missing\\", 3), shownLogs[0]);
    EXPECT_EQ(L"Successfully processed 0 files for", statusWhenLogShown.substr(0, 34));
    EXPECT_EQ(L"The folder was not found", countsWhenLogShown);
    EXPECT_EQ(L"The folder was not found", form->StatusBar.PartText(1));
}

// The real log window: modal, OK focused, every line there, closed by its default button.
TEST_F(MainFormSearchTest, TheLogWindowShowsEveryLineWithItsOkButtonFocused) {
    TLogsForm log;
    std::wstring expected;
    for (int i = 0; i < 3000; ++i) {
        const std::wstring line = L"C:\\folder " + std::to_wstring(i) + L"\\ - Access denied. (5)";
        log.AppendLine(line);
        expected += (i ? L"\r\n" : L"") + line;
    }
    ASSERT_GT(expected.size(), 30000u) << "past the edit box's default limit";
    static TLogsForm* shown = nullptr;
    static bool okFocused = false, okDefault = false;
    static int ticks = 0;
    shown = &log;
    ticks = 0;
    // Closes it once the OK button has the focus, or when that has taken far too long.
    SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        okFocused = shown->CloseButton.Focused();
        if (!okFocused && ++ticks < 400) {
            return;
        }
        KillTimer(nullptr, id);
        okDefault = SendMessageW(shown->CloseButton.Handle(), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON;
        SendMessageW(shown->CloseButton.Handle(), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(IDOK, log.ShowModalOver(form->Handle()));
    EXPECT_TRUE(okFocused);
    EXPECT_TRUE(okDefault) << "OK is drawn as the default button";
    EXPECT_EQ(L"Processing log", [&] {
        wchar_t caption[64] = {};
        GetWindowTextW(log.Handle(), caption, 64);
        return std::wstring(caption);
    }());
    EXPECT_EQ(expected, log.LogEdit.Text());
}

} // namespace

// The changed mode against the snapshot the scan before kept: the changes as rows with their kind,
// the counts, Open left out for a file that is gone, and the column gone again in another mode.
TEST_F(MainFormSearchTest, TheChangedModeListsWhatDiffersFromTheLastCompletedScan) {
    TTempTree store, tree;
    SetSnapshotFolder(store.Root());
    tree.Folder(L"d");
    tree.Folder(L"e");
    const FILETIME time = UtcFileTime(2024, 5, 1, 12, 0);
    for (const wchar_t* name : {L"a.txt", L"d\\c.txt", L"e\\m.txt"})
        tree.File(name, time, 0, 3);
    form->PathEdit.SetText(tree.Root());
    form->ChangedRadioButton.SetChecked(true);
    form->NumberRadioButton.SetChecked(false);
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    EXPECT_EQ(L"3 files seen; no earlier scan to compare with: this one is kept",
              form->StatusBar.PartText(1));
    EXPECT_TRUE(form->Results->ChangeColumnShown());

    // The new file first: under Wine a file ID is an inode, which a deleted file frees for the next.
    tree.File(L"n.txt", time, 0, 1);
    tree.File(L"a.txt", time, 0, 9);
    DeleteFileW((tree.Root() + L"d\\c.txt").c_str());
    MoveFileW((tree.Root() + L"e\\m.txt").c_str(), (tree.Root() + L"d\\m.txt").c_str());
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    form->Results->SortByChange();
    std::vector<std::wstring> rows;
    for (int i = 0; i < form->Results->RowCount(); ++i) {
        const TChange* change = form->Results->ChangeOf(i);
        rows.push_back(std::to_wstring(change ? static_cast<int>(change->Kind) : -1) + L" " +
                       form->Results->Path(i).substr(tree.Root().size()));
    }
    EXPECT_EQ((std::vector<std::wstring>{L"0 n.txt", L"1 a.txt", L"3 d\\m.txt", L"2 d\\c.txt"}), rows);
    EXPECT_TRUE(form->StatusBar.PartText(1).starts_with(L"1 new, 1 changed, 1 deleted, 1 moved since "))
        << form->StatusBar.PartText(1);
    const auto openFor = [&](int row) {
        ListView_SetItemState(form->ListView.Handle(), -1, 0, LVIS_SELECTED);
        ListView_SetItemState(form->ListView.Handle(), row, LVIS_SELECTED, LVIS_SELECTED);
        form->UpdateActions();
        return form->OpenAction.Enabled() && form->ExploreAction.Enabled();
    };
    EXPECT_TRUE(openFor(0));
    EXPECT_FALSE(openFor(3)) << "a deleted file's row opens nothing";

    form->NumberRadioButton.SetChecked(true);
    form->ChangedRadioButton.SetChecked(false);
    form->StartActionExecute();
    ASSERT_TRUE(ScanEnds());
    EXPECT_FALSE(form->Results->ChangeColumnShown());
    EXPECT_EQ(3, form->Results->RowCount());
    SetSnapshotFolder({});
}
