#include "toolkit/application.h"

#include "toolkit/error.h"
#include "toolkit/handoff.h"
#include "toolkit/message_box.h"
#include <algorithm>
#include <commctrl.h>
#include <shellapi.h>

TApplication Application;

void TApplication::Initialize() {
    if (handle_) {
        return;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    handle_ = HandOffWindow() ? HandOffWindow() : CreateHandOffWindow();
    SetWindowTextW(handle_, title_.c_str());
}

void TApplication::SetTitle(std::wstring title) {
    title_ = std::move(title);
    if (handle_) {
        SetWindowTextW(handle_, title_.c_str());
    }
}

void TApplication::Run() {
    HandleMessages([] { return false; });
}

void TApplication::Dispatch(MSG& message) {
    if (message.message == WM_QUIT) {
        terminated_ = true;
        return;
    }
    // A filter that takes the message ends the walk at once, and one that does not has run no code
    // of its window: the list cannot change under this loop.
    for (IMessageLoopFilter* filter : filters_) {
        if (filter->PreTranslateMessage(message)) {
            return;
        }
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void TApplication::HandleMessages(const std::function<bool()>& done) {
    bool idlePending = true;
    while (!terminated_ && !done()) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (IsIdleTrigger(message.message)) {
                idlePending = true;
            }
            Dispatch(message);
        } else if (idlePending) {
            idlePending = false;
            Idle();
        } else {
            WaitMessage();
        }
    }
}

bool TApplication::ProcessMessage() {
    MSG message;
    if (terminated_ || !PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    Dispatch(message);
    return true;
}

void TApplication::ProcessMessages() {
    while (ProcessMessage()) {
    }
    Idle();
}

void TApplication::Idle() {
    // A handler may close a window: walk a copy.
    const std::vector<IIdleHandler*> handlers = idleHandlers_;
    for (IIdleHandler* handler : handlers) {
        if (std::ranges::find(idleHandlers_, handler) != idleHandlers_.end()) {
            Guarded([handler] { handler->OnIdle(); });
        }
    }
}

void TApplication::Terminate() {
    PostQuitMessage(0);
}

void TApplication::ShowException(const std::exception_ptr& failure, const wchar_t* caption) {
    ShowMessageBox(ErrorReportText(ExceptionMessage(failure)), caption ? caption : title_.c_str(),
                   MB_OK | MB_ICONERROR);
}

void TApplication::RemoveMessageFilter(IMessageLoopFilter& filter) {
    std::erase(filters_, &filter);
}

void TApplication::RemoveIdleHandler(IIdleHandler& handler) {
    std::erase(idleHandlers_, &handler);
}

std::vector<std::wstring> CommandLineArguments(const wchar_t* commandLine) {
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine, &count);
    if (argv) {
        for (int i = 1; i < count; ++i) {
            arguments.emplace_back(argv[i]);
        }
        LocalFree(argv);
    }
    return arguments;
}

bool IsIdleTrigger(UINT message) {
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case WM_NCPAINT:
    case WM_TIMER:
    case 0x0118: // the system timer behind the caret's blinking
        return false;
    default:
        return true;
    }
}
