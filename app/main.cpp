#include <windows.h>

#include "cli/arguments.h"
#include "cli/command_line.h"
#include "toolkit/application.h"
#include "ui/main_form.h"
#include "ui/program.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::vector<std::wstring> arguments = CommandLineArguments();
    if (IsCommandLineScan(arguments)) {
        // Switches: the scan without a window, for scripts that start this program directly.
        UseParentConsole();
        ExitProcess(static_cast<UINT>(RunCommandLine(arguments)));
    }
    const int exitCode = RunProgram([&arguments] { return std::make_unique<TMainForm>(arguments); });
    // The one way to end. A scan told to stop may still be on its way out of a hand-off that no one
    // serves any more; ending the process here keeps static objects it may use from being torn down
    // under it. The main window has stored its settings and cut the scan loose.
    ExitProcess(static_cast<UINT>(exitCode));
}
