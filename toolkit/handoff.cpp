#include "toolkit/handoff.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>

namespace {

// A queued call lives with its caller, who waits for it before letting it go.
using TPendingCall = THandOffCall;

std::mutex queueMutex;
std::condition_variable callDone;
std::deque<TPendingCall*> queue;

HWND handOffWindow = nullptr;
DWORD userInterfaceThreadId = 0;
THiddenWindowHandler otherMessages;

UINT HandOffMessage() {
    static const UINT message = RegisterWindowMessageW(L"Quenwick.HandOff");
    return message;
}

// Runs every queued call, oldest first. A call may enter a modal loop that comes back here; each
// call is taken off the queue before it runs, so nothing runs twice and the order holds.
void RunQueuedCalls() {
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

LRESULT CALLBACK HandOffWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == HandOffMessage()) {
        RunQueuedCalls();
        return 0;
    }
    if (otherMessages) {
        LRESULT result = 0;
        try {
            if (otherMessages(message, wParam, lParam, result)) {
                return result;
            }
        } catch (...) {
            // No exception crosses into Windows; the handler reports its own failures.
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

HWND CreateHandOffWindow(THiddenWindowHandler handler) {
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
    otherMessages = std::move(handler);
    // A top-level popup that is never shown: it can own the program's top-level windows.
    handOffWindow = CreateWindowExW(0, className, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    if (!handOffWindow) {
        otherMessages = {};
        throw std::runtime_error("Cannot create the hand-off window.");
    }
    userInterfaceThreadId = GetCurrentThreadId();
    return handOffWindow;
}

HWND HandOffWindow() {
    return handOffWindow;
}

void DestroyHandOffWindow() {
    if (handOffWindow) {
        RunQueuedCalls();
        DestroyWindow(handOffWindow);
        handOffWindow = nullptr;
        userInterfaceThreadId = 0;
        otherMessages = {};
    }
}

bool IsUserInterfaceThread() {
    return userInterfaceThreadId != 0 && GetCurrentThreadId() == userInterfaceThreadId;
}

void Synchronize(const std::function<void()>& call) {
    THandOffCall queued;
    Queue(queued, call);
    Wait(queued);
}

void Queue(THandOffCall& queued, const std::function<void()>& call) {
    queued = THandOffCall{&call};
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
