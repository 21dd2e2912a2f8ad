#include <windows.h>
#include "toolkit/application.h"
#include "ui/main_form.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        Application.Initialize();
        Application.SetTitle(L"Quenwick");
        TMainForm mainForm(CommandLineArguments());
        Application.Run();
    } catch (...) {
        Application.ShowException(std::current_exception());
        return 1;
    }
    return 0;
}
