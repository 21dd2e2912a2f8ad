// The blocking hand-off and the thread base, with this test's thread as the user-interface thread.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "test_support.h"
#include "toolkit/handoff.h"
#include "toolkit/thread.h"

namespace {

class HandOff : public ::testing::Test {
  protected:
    // Other tests of this program may have made the application's window already; it serves as well.
    void SetUp() override { ownWindow = !HandOffWindow() && CreateHandOffWindow(); }
    void TearDown() override {
        if (ownWindow) {
            DestroyHandOffWindow();
        }
    }
    bool ownWindow = false;
};

TEST_F(HandOff, CallsFromSeveralThreadsRunOnTheUserInterfaceThreadInTheirOrder) {
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<int> seen[3];
    std::atomic<int> wrongThread{0}, finished{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < 200; ++i) {
                Synchronize([&, w, i] {
                    wrongThread += GetCurrentThreadId() != uiThread;
                    seen[w].push_back(i);
                });
                // The call has run by the time Synchronize returns.
                if (static_cast<int>(seen[w].size()) != i + 1) {
                    ++wrongThread;
                }
            }
            ++finished;
            PostThreadMessageW(uiThread, WM_NULL, 0, 0);
        });
    }
    EXPECT_TRUE(PumpUntil([&] { return finished == 3; }));
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(0, wrongThread);
    for (const auto& calls : seen) {
        ASSERT_EQ(200u, calls.size());
        for (int i = 0; i < 200; ++i) {
            EXPECT_EQ(i, calls[static_cast<size_t>(i)]);
        }
    }
}

TEST_F(HandOff, AFailureIsThrownAgainInTheCaller) {
    const DWORD uiThread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::string message;
    std::thread worker([&] {
        try {
            Synchronize([] { throw std::runtime_error("from the user-interface thread"); });
        } catch (const std::runtime_error& failure) {
            message = failure.what();
        }
        done = true;
        PostThreadMessageW(uiThread, WM_NULL, 0, 0);
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ("from the user-interface thread", message);
}

TEST_F(HandOff, OnTheUserInterfaceThreadACallRunsAtOnce) {
    bool ran = false;
    Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_THROW(Synchronize([] { throw std::logic_error("direct"); }), std::logic_error);
}

// A message box's own loop serves the hand-off: the worker's calls run while it is up, and the last
// one closes it.
TEST_F(HandOff, CallsRunWhileAMessageBoxIsShown) {
    std::atomic<int> calls{0};
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) {
            Synchronize([&] { ++calls; });
        }
        Synchronize([] {
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND window, LPARAM) -> BOOL {
                    wchar_t name[32];
                    GetClassNameW(window, name, 32);
                    if (std::wstring(name) == L"#32770") {
                        PostMessageW(window, WM_COMMAND, IDOK, 0);
                    }
                    return TRUE;
                },
                0);
        });
    });
    const int answer = MessageBoxW(HandOffWindow(), L"Waiting for the worker", L"Hand-off test", MB_OK);
    const int callsWhenClosed = calls;
    worker.join();
    EXPECT_EQ(IDOK, answer);
    EXPECT_EQ(5, callsWhenClosed);
}

class TCountingThread : public TThread {
  public:
    explicit TCountingThread(std::function<void(TCountingThread&)> body)
        : TThread(true), body_(std::move(body)) {}
    ~TCountingThread() override {
        EndBeforeDestruction();
        if (destroyed) {
            *destroyed = true;
            PostThreadMessageW(uiThread, WM_NULL, 0, 0); // wakes the waiting test
        }
    }
    std::atomic<int> Steps{0};
    std::atomic<bool> AtGate{false};
    bool* destroyed = nullptr;
    DWORD uiThread = GetCurrentThreadId();
    using TThread::PassGate;
    using TThread::PauseRequested;

  protected:
    void Execute() override { body_(*this); }

  private:
    std::function<void(TCountingThread&)> body_;
};

// The body starts only when resumed; its end runs once on the user-interface thread, also after a failure.
TEST_F(HandOff, ThreadRunsWhenResumedAndEndsThroughTheHandOff) {
    for (bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        std::atomic<bool> bodyRan{false};
        TCountingThread thread([&](TCountingThread&) {
            bodyRan = true;
            if (fails) {
                throw std::runtime_error("body failed");
            }
        });
        int ends = 0;
        DWORD endThread = 0;
        thread.OnTerminate = [&](TThread&) {
            ++ends;
            endThread = GetCurrentThreadId();
        };
        PumpUntil([] { return false; }, 50);
        EXPECT_FALSE(bodyRan);
        EXPECT_TRUE(thread.Suspended());
        thread.Resume();
        EXPECT_TRUE(PumpUntil([&] { return ends > 0; }));
        thread.WaitFor();
        EXPECT_EQ(1, ends);
        EXPECT_EQ(GetCurrentThreadId(), endThread);
        EXPECT_EQ(fails, static_cast<bool>(thread.FatalException));
        if (fails) {
            EXPECT_THROW(std::rethrow_exception(thread.FatalException), std::runtime_error);
        }
    }
}

TEST_F(HandOff, FreeOnTerminateDeletesTheThreadAfterItsEnd) {
    bool destroyed = false;
    bool destroyedAtEnd = true;
    auto* thread = new TCountingThread([](TCountingThread&) {});
    thread->destroyed = &destroyed;
    thread->FreeOnTerminate = true;
    thread->OnTerminate = [&](TThread&) { destroyedAtEnd = destroyed; };
    thread->Resume();
    EXPECT_TRUE(PumpUntil([&] { return destroyed; }));
    EXPECT_FALSE(destroyedAtEnd);
}

TEST_F(HandOff, PauseGateHoldsTheBodyUntilResumedAlsoWhenTerminated) {
    for (bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "terminate" : "resume");
        TCountingThread thread([](TCountingThread& self) {
            while (!self.Terminated() && self.Steps < 1000000) {
                ++self.Steps;
                if (self.PauseRequested()) {
                    self.AtGate = true;
                    self.PassGate();
                    self.AtGate = false;
                }
            }
        });
        int ends = 0;
        thread.OnTerminate = [&](TThread&) { ++ends; };
        thread.Resume();
        thread.Suspend();
        EXPECT_TRUE(thread.Suspended());
        ASSERT_TRUE(PumpUntil([&] { return thread.AtGate.load(); }));
        const int held = thread.Steps;
        PumpFor(100);
        EXPECT_EQ(held, thread.Steps);
        EXPECT_EQ(0, ends);
        if (stop) {
            // Stopping and paused: it stays at its gate until resumed.
            thread.Terminate();
            PumpFor(100);
            EXPECT_EQ(0, ends);
            EXPECT_TRUE(thread.AtGate);
        }
        thread.Resume();
        EXPECT_TRUE(PumpUntil([&] { return ends > 0; }));
        thread.WaitFor();
        EXPECT_EQ(stop ? held : 1000000, thread.Steps);
    }
}

// A window of this thread that counts what reaches it.
struct TCountingWindow {
    static inline std::atomic<int> Sent{0}, Posted{0};
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_APP) {
            // As a modal loop opened by a sent message would: serve the hand-off window.
            MSG pending;
            while (PeekMessageW(&pending, HandOffWindow(), 0, 0, PM_REMOVE))
                DispatchMessageW(&pending);
            ++Sent;
        }
        if (message == WM_APP + 1)
            ++Posted;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    TCountingWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QuenwickCountingWindow";
        RegisterClassW(&windowClass);
        Handle = CreateWindowW(windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               windowClass.hInstance, nullptr);
        Sent = Posted = 0;
    }
    ~TCountingWindow() { DestroyWindow(Handle); }
    HWND Handle;
};

// Waits for done on a thread that serves no messages; false after the time-out.
bool WaitFor(const std::atomic<bool>& done, int timeoutMs = 5000) {
    for (int waited = 0; !done; waited += 5) {
        if (waited >= timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}

TEST_F(HandOff, WorkBesideMessagesAnswersSentMessagesAndHoldsPostedOnesAndHandOffCalls) {
    TCountingWindow window;
    std::atomic<bool> answered{false}, queued{false}, callRan{false};
    bool answeredDuringWork = false, heldDuringWork = false;
    const std::function<void()> call = [&] { callRan = true; };
    THandOffCall handOff;
    std::thread other([&] {
        Queue(handOff, call);
        queued = true;
        PostMessageW(window.Handle, WM_APP + 1, 0, 0);
        // Sent messages are answered before posted ones are taken; by the time the second one has
        // been answered, a loop that took posted messages would have taken both posted ones.
        SendMessageW(window.Handle, WM_APP, 0, 0);
        SendMessageW(window.Handle, WM_APP, 0, 0);
        answered = true;
        Wait(handOff);
    });
    RunBesideMessages([&] {
        answeredDuringWork = WaitFor(answered);
        heldDuringWork = !callRan && TCountingWindow::Posted == 0;
    });
    EXPECT_TRUE(answeredDuringWork);
    EXPECT_TRUE(heldDuringWork);
    EXPECT_TRUE(PumpUntil([&] { return callRan && TCountingWindow::Posted == 1; }));
    other.join();
}

TEST_F(HandOff, WorkBesideMessagesThrowsItsFailureAgainKeepsTheLocaleAndCannotHandOff) {
    const LCID locale = GetThreadLocale();
    LCID seen = 0;
    EXPECT_THROW(RunBesideMessages([&] {
                     seen = GetThreadLocale();
                     throw std::runtime_error("failed");
                 }),
                 std::runtime_error);
    EXPECT_EQ(locale, seen);
    // The calls are held until the work is done, so a hand-off from the work fails at once.
    EXPECT_THROW(RunBesideMessages([] { Synchronize([] {}); }), std::logic_error);
    // Hand-off calls run again afterwards.
    std::atomic<bool> ran{false};
    std::thread other([&] { Synchronize([&] { ran = true; }); });
    EXPECT_TRUE(PumpUntil([&] { return ran.load(); }));
    other.join();
}

} // namespace
