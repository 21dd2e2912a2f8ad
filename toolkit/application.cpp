#include "toolkit/application.h"

#include <algorithm>
#include <commctrl.h>
#include <shellapi.h>
#include "toolkit/actions.h"
#include "toolkit/error.h"
#include "toolkit/form.h"
#include "toolkit/handoff.h"
#include "toolkit/message_box.h"

TApplication Application;

void TApplication::Initialize() {
    if (handle_) {
        return;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_STANDARD_CLASSES};
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
    if (MainForm) {
        MainForm->Show();
    }
    HandleMessages([] { return false; });
}

bool TApplication::Dispatch(MSG& message) {
    if (message.message == WM_QUIT) {
        terminated_ = true;
        return false;
    }
    HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    auto form = std::ranges::find_if(forms_, [root](TForm* f) { return f->Handle() == root; });
    if (form == forms_.end() || !(*form)->PreTranslate(message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
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

void TApplication::ProcessMessages() {
    MSG message;
    while (!terminated_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        Dispatch(message);
    }
    Idle();
}

void TApplication::Idle() {
    // A handler may close a form; walk a copy.
    std::vector<TForm*> forms = forms_;
    for (TForm* form : forms) {
        if (std::ranges::find(forms_, form) != forms_.end()) {
            Guarded([form] { form->UpdateActions(); });
        }
    }
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::ShowException(const std::exception_ptr& failure) {
    ShowMessageBox(ErrorReportText(ExceptionMessage(failure)), title_, MB_OK | MB_ICONERROR);
}

void TApplication::AddForm(TForm& form) {
    forms_.push_back(&form);
    if (!MainForm) {
        MainForm = &form;
    }
}

void TApplication::RemoveForm(TForm& form) {
    std::erase(forms_, &form);
    if (MainForm == &form) {
        MainForm = nullptr;
    }
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
