#include "toolkit/handoff.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

// A queued call lives with its caller, who waits for it before letting it go.
using TPendingCall = THandOffCall;

std::mutex queueMutex;
std::condition_variable callDone;
std::deque<TPendingCall*> queue;

// Read by every thread that hands off, written by the user-interface thread.
std::atomic<HWND> handOffWindow{nullptr};
std::atomic<DWORD> userInterfaceThreadId{0};
// Set on the helper thread of RunBesideMessages, whose hand-offs could never run.
thread_local bool besideMessages = false;
// Set while the user-interface thread waits for work beside its messages: queued calls stay queued.
int callsHeld = 0;
bool callsWaiting = false;

UINT HandOffMessage() {
    static const UINT message = RegisterWindowMessageW(L"Quenwick.HandOff");
    return message;
}

// Runs every queued call, oldest first. A call may enter a modal loop that comes back here; each
// call is taken off the queue before it runs, so nothing runs twice and the order holds.
void RunQueuedCalls() {
    if (callsHeld > 0) {
        callsWaiting = true;
        return;
    }
    for (;;) {
        TPendingCall* pending;
        {
            std::lock_guard lock(queueMutex);
            if (queue.empty()) {
                return;
            }
            pending = queue.front();
            queue.pop_front();
        }
        std::exception_ptr failure;
        try {
            (*pending->Call)();
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard lock(queueMutex);
            pending->Failure = failure;
            pending->Done = true;
        }
        callDone.notify_all();
    }
}

// The window that takes the activation from the owner: the one last active, or else the topmost of
// the windows it owns that can take it.
HWND WindowToActivate(HWND owner) {
    auto usable = [owner](HWND window) {
        return window && window != owner && IsWindowVisible(window) && IsWindowEnabled(window);
    };
    HWND found = GetLastActivePopup(owner);
    if (usable(found)) {
        return found;
    }
    struct TFind {
        HWND Owner;
        HWND Found = nullptr;
    } find{owner};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto& find = *reinterpret_cast<TFind*>(data);
            if (window != find.Owner && GetWindow(window, GW_OWNER) == find.Owner &&
                IsWindowVisible(window) && IsWindowEnabled(window)) {
                find.Found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

// Calls put off by Later, oldest first; only the user-interface thread touches them.
std::deque<std::function<void()>> laterCalls;

UINT LaterMessage() {
    static const UINT message = RegisterWindowMessageW(L"Quenwick.Later");
    return message;
}

UINT PassActivationMessage() {
    static const UINT message = RegisterWindowMessageW(L"Quenwick.PassActivation");
    return message;
}

LRESULT CALLBACK HandOffWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == HandOffMessage()) {
        RunQueuedCalls();
        return 0;
    }
    if (message == LaterMessage()) {
        // One call per message: what was posted meanwhile keeps its turn.
        if (!laterCalls.empty()) {
            const std::function<void()> call = std::move(laterCalls.front());
            laterCalls.pop_front();
            call();
        }
        return 0;
    }
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
        // The owner of the program's windows is never shown, so it must not keep the activation
        // (the system gives it to the owner when a box or dialog it owns closes): it is handed to
        // the window the user last worked in, once the activation is over.
        PostMessageW(window, PassActivationMessage(), 0, 0);
    } else if (message == PassActivationMessage()) {
        if (GetActiveWindow() == window) {
            if (const HWND next = WindowToActivate(window)) {
                SetActiveWindow(next);
            }
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

HWND CreateHandOffWindow(bool messageOnly) {
    if (handOffWindow) {
        throw std::logic_error("The hand-off window exists already.");
    }
    HandOffMessage();
    static const wchar_t className[] = L"QuenwickHandOff";
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = HandOffWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::runtime_error("Cannot register the hand-off window class.");
    }
    // A top-level popup that is never shown: it can own the program's top-level windows. A
    // message-only window owns none, and needs no desktop.
    const HWND window =
        CreateWindowExW(0, className, L"", messageOnly ? 0 : WS_POPUP, 0, 0, 0, 0,
                        messageOnly ? HWND_MESSAGE : nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        throw std::runtime_error("Cannot create the hand-off window.");
    }
    userInterfaceThreadId = GetCurrentThreadId();
    handOffWindow = window;
    return window;
}

HWND HandOffWindow() {
    return handOffWindow;
}

void DestroyHandOffWindow() {
    if (const HWND window = handOffWindow) {
        RunQueuedCalls();
        laterCalls.clear();
        handOffWindow = nullptr;
        userInterfaceThreadId = 0;
        DestroyWindow(window);
    }
}

bool IsUserInterfaceThread() {
    return userInterfaceThreadId != 0 && GetCurrentThreadId() == userInterfaceThreadId;
}

static bool queueFullForTesting = false;

void SetQueueFullForTesting(bool full) {
    queueFullForTesting = full;
}

void Later(std::function<void()> call) {
    if (!IsUserInterfaceThread() || queueFullForTesting ||
        !PostMessageW(handOffWindow, LaterMessage(), 0, 0)) {
        call();
        return;
    }
    laterCalls.push_back(std::move(call));
}

void Synchronize(const std::function<void()>& call) {
    THandOffCall queued;
    Queue(queued, call);
    Wait(queued);
}

void Queue(THandOffCall& queued, const std::function<void()>& call) {
    queued = THandOffCall{&call};
    if (besideMessages) {
        throw std::logic_error("A hand-off from work beside the messages would wait for ever.");
    }
    if (IsUserInterfaceThread()) {
        try {
            call();
        } catch (...) {
            queued.Failure = std::current_exception();
        }
        queued.Done = true;
        return;
    }
    HWND window = handOffWindow;
    if (!window) {
        throw std::logic_error("Synchronize needs the hand-off window.");
    }
    std::unique_lock lock(queueMutex);
    queue.push_back(&queued);
    lock.unlock();
    queued.Posted = PostMessageW(window, HandOffMessage(), 0, 0) != FALSE;
}

void Wait(THandOffCall& queued) {
    std::unique_lock lock(queueMutex);
    while (!queued.Done) {
        if (queued.Posted) {
            callDone.wait(lock);
        } else {
            // The call stays queued: any later wake-up runs it. Until then keep trying to post,
            // since a full message queue drains.
            callDone.wait_for(lock, std::chrono::milliseconds(50));
            if (!queued.Done) {
                lock.unlock();
                const bool posted = PostMessageW(handOffWindow, HandOffMessage(), 0, 0) != FALSE;
                lock.lock();
                queued.Posted = posted;
            }
        }
    }
    if (queued.Failure) {
        std::rethrow_exception(queued.Failure);
    }
}

void AnswerSentAndPaint() {
    // Sent messages are answered inside PeekMessage; paint messages are taken and dispatched.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_SENDMESSAGE | PM_QS_PAINT)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        DispatchMessageW(&message);
    }
}

void RunBesideMessages(const std::function<void()>& work) {
    if (!IsUserInterfaceThread()) {
        work();
        return;
    }
    const std::unique_ptr<void, decltype(&CloseHandle)> doneEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr),
                                                                  &CloseHandle);
    HANDLE done = doneEvent.get();
    if (!done) {
        work();
        return;
    }
    std::exception_ptr failure;
    const LCID locale = GetThreadLocale(); // what locale-aware comparisons in work should use
    std::thread helper([&] {
        besideMessages = true;
        SetThreadLocale(locale);
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        SetEvent(done);
    });
    ++callsHeld;
    for (;;) {
        // MWMO_INPUTAVAILABLE: a message that arrived before the wait began still wakes it.
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &done, INFINITE, QS_SENDMESSAGE | QS_PAINT, MWMO_INPUTAVAILABLE);
        if (woken != WAIT_OBJECT_0 + 1)
            break;
        AnswerSentAndPaint();
    }
    helper.join();
    if (--callsHeld == 0 && callsWaiting) {
        callsWaiting = false;
        PostMessageW(handOffWindow, HandOffMessage(), 0, 0);
    }
    if (failure)
        std::rethrow_exception(failure);
}
