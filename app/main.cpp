#include <windows.h>
#include "toolkit/application.h"
#include "ui/main_form.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    bool jobLeft = false;
    try {
        Application.Initialize();
        Application.SetTitle(L"Quenwick");
        TMainForm mainForm(CommandLineArguments());
        Application.Run();
        jobLeft = mainForm.HasJob();
    } catch (...) {
        Application.ShowException(std::current_exception());
        return 1;
    }
    // A scan told to stop may still run, or wait for a hand-off nobody serves any more: end the
    // process here, before static objects it may be using are torn down. The settings are stored.
    if (jobLeft) {
        ExitProcess(0);
    }
    return 0;
}
