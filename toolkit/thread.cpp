#include "toolkit/thread.h"

#include "toolkit/handoff.h"

TThread::TThread(bool createSuspended) {
    if (!createSuspended) {
        Resume();
    }
}

TThread::~TThread() {
    EndBeforeDestruction();
}

void TThread::EndBeforeDestruction() {
    {
        std::lock_guard lock(gateMutex_);
        if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) {
            return;
        }
        terminated_.store(true, std::memory_order_release);
        paused_.store(false, std::memory_order_release);
        gateChanged_.notify_all();
    }
    thread_.join();
}

void TThread::Resume() {
    std::lock_guard lock(gateMutex_);
    if (!started_) {
        started_ = true;
        // Run takes the gate lock first, so thread_ is assigned before the body can detach it.
        thread_ = std::thread(&TThread::Run, this);
        return;
    }
    paused_.store(false, std::memory_order_release);
    gateChanged_.notify_all();
}

void TThread::Suspend() {
    std::lock_guard lock(gateMutex_);
    if (started_) {
        paused_.store(true, std::memory_order_release);
    }
}

bool TThread::Suspended() const {
    std::lock_guard lock(gateMutex_);
    return !started_ || paused_.load(std::memory_order_acquire);
}

void TThread::Terminate() {
    std::lock_guard lock(gateMutex_);
    terminated_.store(true, std::memory_order_release);
    gateChanged_.notify_all();
}

void TThread::PassGate() {
    std::unique_lock lock(gateMutex_);
    gateChanged_.wait(lock, [this] { return !paused_.load(std::memory_order_acquire); });
}

void TThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void TThread::Detach() {
    detached_.store(true, std::memory_order_release);
    Terminate();
    Resume();
}

void TThread::DoTerminate() {
    // Detach runs on the user-interface thread, so it is tested again where the notification runs.
    if (OnTerminate && !Detached()) {
        Synchronize([this] {
            if (!Detached()) {
                OnTerminate(*this);
            }
        });
    }
}

void TThread::Run(TThread* self) {
    { std::lock_guard lock(self->gateMutex_); }
    try {
        self->Execute();
    } catch (...) {
        self->FatalException = std::current_exception();
    }
    // A scan paused while stopping reports its end only once resumed.
    self->PassGate();
    try {
        self->DoTerminate();
    } catch (...) {
        if (!self->FatalException) {
            self->FatalException = std::current_exception();
        }
    }
    if (self->FreeOnTerminate) {
        self->thread_.detach();
        delete self;
    }
}
