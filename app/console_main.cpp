// quenwick.com: the console program beside quenwick.exe. A shell prefers it to the .exe for the bare
// name "quenwick", waits for it, and gives it the console; so switches scan right here, while
// anything else opens the window of quenwick.exe as before.
#include <windows.h>

#include "cli/arguments.h"
#include "cli/command_line.h"
#include "cli/output.h"
#include "scan/sys_error.h"
#include "toolkit/application.h"

int wmain() {
    const std::vector<std::wstring> arguments = CommandLineArguments();
    int exitCode = 0;
    if (IsCommandLineScan(arguments)) {
        exitCode = RunCommandLine(arguments);
    } else {
        std::wstring path(MAX_PATH, L'\0');
        DWORD length;
        while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
               path.size()) {
            path.resize(path.size() * 2);
        }
        path.resize(length);
        // The window program beside this one, of the same name.
        const std::size_t dot = path.rfind(L'.');
        if (dot != std::wstring::npos && dot > path.rfind(L'\\')) {
            path.resize(dot);
        }
        path += L".exe";
        std::wstring commandLine = L"\"" + path + L"\" " + ArgumentsText(GetCommandLineW());
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION process{};
        if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        } else {
            TTextOutput(GetStdHandle(STD_ERROR_HANDLE))
                .Write(
                    LogLine(L"quenwick: cannot start \"" + path + L"\"", static_cast<int>(GetLastError())) +
                    L"\r\n");
            exitCode = 1;
        }
    }
    // As the window program ends: no static object is torn down under a thread that may still run.
    ExitProcess(static_cast<UINT>(exitCode));
}
