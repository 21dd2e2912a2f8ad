#pragma once
// The application object: its title, the hidden window that owns the top-level windows, the
// message loop with idle-time updates, and the general error report.
#include <windows.h>
#include <exception>
#include <functional>
#include <string>
#include <vector>

// A window that looks at messages before they are translated and dispatched (keyboard navigation).
struct IMessageLoopFilter {
    // True when the message was handled and must go no further.
    virtual bool PreTranslateMessage(MSG& message) = 0;

  protected:
    ~IMessageLoopFilter() = default;
};

// A window that brings its state up to date whenever the queue becomes idle (action updates).
struct IIdleHandler {
    virtual void OnIdle() = 0;

  protected:
    ~IIdleHandler() = default;
};

class TApplication {
  public:
    // Creates the hidden owner window (it also serves the hand-off) and loads the common controls.
    // Calling it again does nothing.
    void Initialize();
    HWND Handle() const { return handle_; }
    const std::wstring& Title() const { return title_; }
    void SetTitle(std::wstring title);

    // Runs messages until the program is asked to end.
    void Run();
    // Runs messages, with the idle handlers whenever the queue becomes idle, until done() holds or
    // the program is asked to end.
    void HandleMessages(const std::function<bool()>& done);
    // Runs one waiting message; false when none was waiting.
    bool ProcessMessage();
    // Runs every message waiting, then the idle handlers once.
    void ProcessMessages();
    void Idle();
    void Terminate();
    bool Terminated() const { return terminated_; }

    // The general error report: error icon, the application's title, the message.
    // Under the application's title unless another caption is given.
    void ShowException(const std::exception_ptr& failure, const wchar_t* caption = nullptr);

    void AddMessageFilter(IMessageLoopFilter& filter) { filters_.push_back(&filter); }
    void RemoveMessageFilter(IMessageLoopFilter& filter);
    void AddIdleHandler(IIdleHandler& handler) { idleHandlers_.push_back(&handler); }
    void RemoveIdleHandler(IIdleHandler& handler);

  private:
    void Dispatch(MSG& message);

    HWND handle_ = nullptr;
    std::wstring title_;
    std::vector<IMessageLoopFilter*> filters_;
    std::vector<IIdleHandler*> idleHandlers_;
    bool terminated_ = false;
};

extern TApplication Application;

// Runs a handler where no exception may cross into Windows; a failure goes to the error report.
template <typename F> void Guarded(F&& handler) {
    try {
        handler();
    } catch (...) {
        Application.ShowException(std::current_exception());
    }
}

// True for the messages after which the update handlers should run once the queue is empty:
// mouse movement, painting and timers alone change nothing a handler looks at.
bool IsIdleTrigger(UINT message);

// The program's arguments, without the program's own name, split by the platform's usual rules.
std::vector<std::wstring> CommandLineArguments(const wchar_t* commandLine = GetCommandLineW());
