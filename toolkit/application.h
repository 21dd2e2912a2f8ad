#pragma once
// The application object: its title, the hidden window that owns the top-level windows, the
// message loop with idle-time updates, and the general error report.
#include <exception>
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

class TForm;

class TApplication {
public:
    // Creates the hidden owner window (it also serves the hand-off) and loads the common controls.
    // Calling it again does nothing.
    void Initialize();
    HWND Handle() const { return handle_; }
    const std::wstring& Title() const { return title_; }
    void SetTitle(std::wstring title);

    // The first form registered; closing it ends the program.
    TForm* MainForm = nullptr;
    // Shows the main form and runs messages until the program is asked to end.
    void Run();
    // Runs messages, with the update handlers whenever the queue becomes idle, until done()
    // holds or the program is asked to end.
    void HandleMessages(const std::function<bool()>& done);
    // Runs every message waiting, then the update handlers once.
    void ProcessMessages();
    void Idle();
    void Terminate();
    bool Terminated() const { return terminated_; }

    // The general error report: error icon, the application's title, the message.
    void ShowException(const std::exception_ptr& failure);

    void AddForm(TForm& form);
    void RemoveForm(TForm& form);

private:
    bool Dispatch(MSG& message);

    HWND handle_ = nullptr;
    std::wstring title_;
    std::vector<TForm*> forms_;
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

// The program's arguments, without the program's own name, split by the platform's usual rules.
std::vector<std::wstring> CommandLineArguments(const wchar_t* commandLine = GetCommandLineW());
