#pragma once
// Thread base: created suspended, resumed, paused at a gate, asked to terminate, and ended with a
// notification that runs on the user-interface thread through the hand-off.
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class TThread {
  public:
    explicit TThread(bool createSuspended);
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    // A thread that is still running is asked to terminate, resumed and waited for. Never destroy a
    // running thread on the user-interface thread while its end step may still need the hand-off.
    virtual ~TThread();

    // Starts a thread created suspended, or opens the pause gate of a paused one.
    void Resume();
    // Closes the pause gate: the body halts at its next gate check (see PassGate).
    void Suspend();
    // True while the thread has not been started or its pause gate is closed.
    bool Suspended() const;
    // Asks the body to end; never cleared. A paused body stays paused, stopping, until resumed.
    void Terminate();
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }

    // Set before the first Resume: the object deletes itself after its end step.
    bool FreeOnTerminate = false;
    // The end notification, run on the user-interface thread after the body returned, whatever ended it.
    std::function<void(TThread& sender)> OnTerminate;
    // The failure that ended the body (or the end step), if one did. Held, never shown.
    std::exception_ptr FatalException;
    // Cuts the thread loose from the user-interface thread, for an owner that goes away while the
    // body may still run: asks it to end, opens its gate and drops the end notification, which will
    // not run unless it already has. Call on the user-interface thread.
    void Detach();
    // Blocks the caller until the body and its end step have finished. Not for free-on-terminate threads,
    // and not on the user-interface thread while the end step needs the hand-off.
    void WaitFor();

  protected:
    // Runs the end notification through the hand-off when one is set.
    virtual void DoTerminate();
    virtual void Execute() = 0;
    // True once Detach has run.
    bool Detached() const { return detached_.load(std::memory_order_acquire); }
    // True while a pause has been asked for and the gate is closed.
    bool PauseRequested() const { return paused_.load(std::memory_order_acquire); }
    // Waits while the gate is closed, also when termination has been asked for: a stopping thread
    // that is paused ends only once resumed. Call it only where the body holds nothing the
    // user-interface thread may need.
    void PassGate();
    // Asks a started body to end and waits for it. Derived destructors call it, so that the body
    // never runs on a half-destroyed object.
    void EndBeforeDestruction();

  private:
    static void Run(TThread* self);

    std::atomic<bool> terminated_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> detached_{false};
    bool started_ = false;
    std::thread thread_;
    mutable std::mutex gateMutex_;
    std::condition_variable gateChanged_;
};
