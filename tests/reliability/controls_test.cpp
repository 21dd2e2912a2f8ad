// The window's controls under stress: a huge processing log, closing at the worst moments, Stop
// pressed again and again, Pause and Start alternated a thousand times.
#include "reliability_support.h"
#include "scan/sys_error.h"
#include "toolkit/registry.h"
#include <algorithm>

namespace reliability {
namespace {

using ControlsTest = WindowTest;

TEST_F(ControlsTest, AProcessingLogOfAHundredThousandLinesIsShownWhole) {
    const std::wstring root = L"C:\\many\\";
    constexpr int Failures = 100000;
    form->PrepareJob = [&](TWorkThread& job) {
        auto listing = std::make_unique<TFakeListing>(root);
        for (int i = 0; i < Failures; ++i) {
            const std::wstring folder = root + L"locked" + std::to_wstring(i) + L"\\";
            listing->AddFolder(folder);
            listing->Folder(folder).OpenError = ERROR_ACCESS_DENIED;
        }
        job.Listing = std::move(listing);
    };
    // The real log window, shown modally; its OK button closes it once its text has been read.
    std::wstring shown;
    bool okFocused = false;
    form->ShowProcessingLog = [&](TLogsForm& log) {
        static TLogsForm* open;
        static std::wstring* text;
        static bool* focused;
        open = &log;
        text = &shown;
        focused = &okFocused;
        SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            *text = open->LogEdit.Text();
            *focused = open->CloseButton.Focused();
            SendMessageW(open->CloseButton.Handle(), BM_CLICK, 0, 0);
        });
        log.ShowModalOver(form->Handle());
    };
    Start(root, 100);
    ASSERT_TRUE(Ends(300000));
    EXPECT_EQ(0, ReportedCount());
    EXPECT_TRUE(okFocused);
    std::wstring expected;
    expected.reserve(static_cast<size_t>(Failures) * 60);
    for (int i = 0; i < Failures; ++i)
        expected += (i ? L"\r\n" : L"") + LogLine(root + L"locked" + std::to_wstring(i) + L"\\", 5);
    EXPECT_EQ(expected.size(), shown.size());
    EXPECT_TRUE(expected == shown) << "the shown log differs from the lines logged";
}

// The listing of the system, held at the first folder until the test lets it in, then as slow as
// asked per entry; optionally held again at a later folder, so the scan cannot end before the test
// lets it: the scan is sure to be under way while the test works the controls.
class TSlowListing final : public IListing {
  public:
    TSlowListing(HANDLE gate, DWORD msPerEntry, HANDLE hold = nullptr, long holdAtOpen = 0)
        : gate_(gate), ms_(msPerEntry), hold_(hold), holdAtOpen_(holdAtOpen) {}
    TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) override {
        WaitForSingleObject(gate_, INFINITE);
        if (hold_ && InterlockedIncrement(&opens_) == holdAtOpen_)
            WaitForSingleObject(hold_, INFINITE);
        return inner_->Open(pattern, entry, error);
    }
    bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) override {
        if (ms_)
            Sleep(ms_);
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
    DWORD ms_;
    HANDLE hold_;
    long holdAtOpen_;
    long opens_ = 0;
    std::unique_ptr<IListing> inner_ = CreateSystemListing();
};

class ControlsOnATreeTest : public ControlsTest {
  protected:
    void SetUp() override {
        ControlsTest::SetUp();
        gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        hold = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        for (int f = 0; f < 30; ++f) {
            const std::wstring folder = L"f" + std::to_wstring(f);
            tree.Folder(folder);
            for (int i = 0; i < 100; ++i)
                tree.File(folder + L"\\x" + std::to_wstring(i) + L".txt",
                          UtcFileTime(2023, 1 + (i * 7 + f) % 12, 1 + (i * 13 + f) % 28, i % 24, f));
        }
    }
    void TearDown() override {
        SetEvent(gate);
        SetEvent(hold);
        ControlsTest::TearDown();
        CloseHandle(gate);
        CloseHandle(hold);
    }
    void UseSlowListing(DWORD msPerEntry, long holdAtOpen = 0) {
        form->PrepareJob = [this, msPerEntry, holdAtOpen](TWorkThread& job) {
            job.Listing =
                std::make_unique<TSlowListing>(gate, msPerEntry, holdAtOpen ? hold : nullptr, holdAtOpen);
        };
    }
    std::vector<std::wstring> Lines() {
        std::vector<std::wstring> lines;
        for (const TRow& row : Rows())
            lines.push_back(row.Path + L"\t" + row.TimeText);
        return lines;
    }
    TTempTree tree;
    HANDLE gate = nullptr;
    HANDLE hold = nullptr;
};

TEST_F(ControlsOnATreeTest, StopPressedManyTimesEndsTheScanOnceAndTheNextScanIsWhole) {
    UseSlowListing(0);
    Start(tree.Root(), 500);
    ASSERT_TRUE(form->HasJob());
    int asked = 0;
    for (int i = 0; i < 100; ++i) {
        form->StopActionExecute();
        SendMessageW(form->StopButton.Handle(), BM_CLICK, 0, 0);
        asked += 2;
    }
    EXPECT_EQ(static_cast<size_t>(asked), boxes.size()) << "every press asks while the job exists";
    SetEvent(gate);
    ASSERT_TRUE(Ends(20000)) << "the stopped scan did not end";
    EXPECT_LE(ReportedCount(), 1);
    EXPECT_GE(ReportedCount(), 0);
    boxes.clear();
    for (int i = 0; i < 20; ++i)
        SendMessageW(form->StopButton.Handle(), BM_CLICK, 0, 0);
    form->UpdateActions();
    EXPECT_FALSE(form->StopAction.Enabled());
    EXPECT_TRUE(boxes.empty()) << "Stop asked with no scan";

    Start(tree.Root(), 500);
    ASSERT_TRUE(Ends(60000));
    EXPECT_EQ(3000, ReportedCount());
    EXPECT_EQ(500u, Rows().size());
}

TEST_F(ControlsOnATreeTest, PauseAndStartAlternatedAThousandTimesChangeNeitherCountNorResults) {
    form->PrepareJob = {};
    Start(tree.Root(), 500);
    ASSERT_TRUE(Ends(60000));
    const long long count = ReportedCount();
    const auto uninterrupted = Lines();
    ASSERT_EQ(3000, count);
    ASSERT_EQ(500u, uninterrupted.size());

    // Files keep arriving between the rounds, but the 25th of the 31 folders is held open until the
    // rounds are over, so the scan cannot end before them however fast the machine lists.
    UseSlowListing(2, 25);
    Start(tree.Root(), 500);
    SetEvent(gate);
    int rounds = 0;
    for (; rounds < 1000 && form->HasJob(); ++rounds) {
        form->PauseActionExecute();
        ASSERT_TRUE(form->JobPaused());
        PumpFor(1);
        form->StartActionExecute();
        PumpFor(1);
    }
    ASSERT_EQ(1000, rounds) << "the scan ended while held";
    SetEvent(hold);
    ASSERT_TRUE(Ends(120000));
    EXPECT_EQ(count, ReportedCount());
    EXPECT_EQ(uninterrupted, Lines());
}

// The program itself, closed at the worst moments: it ends with exit code 0 and stores its settings.
enum class TCloseWhile { Scanning, Paused, LogShown, StopQuestionOpen };

class ProgramCloseTest : public testing::TestWithParam<TCloseWhile> {
  protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel"); }
};

TEST_P(ProgramCloseTest, EndsCleanlyWithItsSettingsStored) {
    // A tree big enough to be scanning still, or a folder that is not there, which is logged.
    std::wstring root = L"Z:\\no such folder here";
    if (GetParam() != TCloseWhile::LogShown) {
        root = LinuxTree("million");
        root.pop_back();
    }
    TProgram program(L"\"" + root + L"\"");
    ASSERT_TRUE(program.Main());
    HWND start = TProgram::Child(program.Main(), L"&Start"),
         pause = TProgram::Child(program.Main(), L"&Pause");
    ASSERT_TRUE(start && pause);
    PostMessageW(start, BM_CLICK, 0, 0);
    bool questionExpected = true;
    if (GetParam() == TCloseWhile::LogShown) {
        HWND log = program.Window(L"Processing log");
        ASSERT_TRUE(log) << "no processing log";
        EXPECT_NE(std::wstring::npos,
                  TProgram::Text(FindWindowExW(log, nullptr, L"Edit", nullptr)).find(root + L"\\ - "));
        EXPECT_EQ(0u, program.Status().find(L"Successfully processed 0 files for "));
    } else {
        for (int i = 0; i < 200 && !IsWindowEnabled(pause); ++i)
            Sleep(25);
        ASSERT_TRUE(IsWindowEnabled(pause)) << "the scan did not start";
        if (GetParam() == TCloseWhile::StopQuestionOpen) {
            PostMessageW(TProgram::Child(program.Main(), L"S&top"), BM_CLICK, 0, 0);
            ASSERT_TRUE(program.Window(L"Confirm")) << "Stop did not ask";
        }
        if (GetParam() == TCloseWhile::Paused) {
            PostMessageW(pause, BM_CLICK, 0, 0);
            for (int i = 0; i < 200 && !IsWindowEnabled(start); ++i)
                Sleep(25);
            ASSERT_TRUE(IsWindowEnabled(start)) << "the scan did not pause";
        }
    }
    // As the system's close request reaches the window: the close box, or the end of a session.
    PostMessageW(program.Main(), WM_CLOSE, 0, 0);
    // Every question that comes up is answered Yes, the newest first.
    for (int i = 0; i < 4; ++i) {
        HWND question = program.Window(L"Confirm", questionExpected ? 5000 : 500);
        if (!question)
            break;
        if (GetParam() == TCloseWhile::Scanning && i == 0) {
            // The scan goes on behind the question: its hand-offs are served by the question's loop.
            const std::wstring folder = program.Status();
            bool moved = false;
            for (int wait = 0; wait < 1000 && !moved; ++wait) {
                Sleep(20);
                moved = program.Status() != folder;
            }
            EXPECT_TRUE(moved) << "the scan stood still while the question was open";
        }
        PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(question, IDYES)));
        for (int wait = 0; wait < 100 && IsWindow(question); ++wait)
            Sleep(20);
        questionExpected = false;
    }
    if (GetParam() == TCloseWhile::LogShown) {
        // The log is modal: it answers for the program until the user closes it.
        if (HWND log = program.Window(L"Processing log", 1000)) {
            PostMessageW(log, WM_CLOSE, 0, 0);
        }
    }
    ASSERT_EQ(0, program.Ends(15000)) << "the program did not end cleanly";
    auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, SettingsKey);
    ASSERT_TRUE(key) << "no settings stored";
    EXPECT_EQ(root, key->ReadString(L"Path").value_or(L"(none)"));
}

INSTANTIATE_TEST_SUITE_P(While, ProgramCloseTest,
                         testing::Values(TCloseWhile::Scanning, TCloseWhile::Paused, TCloseWhile::LogShown,
                                         TCloseWhile::StopQuestionOpen));

} // namespace
} // namespace reliability
