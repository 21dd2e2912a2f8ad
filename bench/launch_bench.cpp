// Times a command inside Wine (the built-in "dir" of cmd), drains its output and counts the lines.
#include <string>

#include "bench_support.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_launch \"COMMAND LINE\"\n");
        return 2;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 20)) {
        return 1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring commandLine = argv[1];
    const double start = Seconds();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "CreateProcess failed: %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(writeEnd);
    long long lines = 0;
    static char buffer[1 << 16];
    DWORD got;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            lines += buffer[i] == '\n';
        }
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    const double seconds = Seconds() - start;
    // Wine gives no memory figures of another process: then none is reported.
    const double peak = PeakMegabytes(process.hProcess);
    PrintResult("seconds=" + std::to_string(seconds) + " lines=" + std::to_string(lines) +
                (peak > 0 ? " peak_mb=" + std::to_string(peak) : std::string()));
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return 0;
}
