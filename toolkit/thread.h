#pragma once
// Thread base: created suspended, resumed, paused at a gate, asked to terminate, and ended with a
// notification that runs on the user-interface thread through the hand-off.
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

class TThread {
public:
    explicit TThread(bool createSuspended);
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    virtual ~TThread();

    // Starts a thread created suspended, or opens the pause gate of a paused one.
    void Resume();
    // Closes the pause gate: the body halts at its next gate check (see CheckGate).
    void Suspend();
    bool Suspended() const;
    // Asks the body to end; never cleared.
    void Terminate();
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }

    bool FreeOnTerminate = false;
    std::function<void(TThread& sender)> OnTerminate;
    // The failure that ended the body, if one did. Held, never shown.
    std::exception_ptr FatalException;
    // Blocks the caller until the thread body and its end step have finished (not for free-on-terminate threads).
    void WaitFor();

protected:
    // Runs the end notification through the hand-off when one is set.
    virtual void DoTerminate();
    virtual void Execute() = 0;
    // True while a pause has been asked for and the gate is closed.
    bool PauseRequested() const { return paused_.load(std::memory_order_acquire); }
    // Waits while the gate is closed. Call it only where the body holds nothing the
    // user-interface thread may need.
    void PassGate();

private:
    static void Run(TThread* self);
    void Start();

    std::atomic<bool> terminated_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> finished_{false};
    bool started_ = false;
    mutable std::mutex gateMutex_;
    std::condition_variable gateChanged_;
};
