// The command-line scan in process, as a script starts it: the switches in, the lines written to
// the --out file, from the call to its return (the engine's rows are timed the same way, in process).
//   bench_cli --newest 100 --out FILE ROOT      bench_cli --within 36500d --out FILE ROOT
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "cli/command_line.h"

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> arguments(argv + 1, argv + argc);
    std::wstring out;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == L"--out") {
            out = arguments[i + 1];
        }
    }
    if (out.empty()) {
        std::fprintf(stderr, "usage: bench_cli SWITCHES --out FILE ROOT\\\n");
        return 2;
    }
    const double start = Seconds();
    const int exitCode = RunCommandLine(arguments);
    const double seconds = Seconds() - start;
    long long lines = 0;
    std::ifstream written(out.c_str(), std::ios::binary);
    for (std::string line; std::getline(written, line);) {
        ++lines;
    }
    PrintResult("seconds=" + std::to_string(seconds) + " rows=" + std::to_string(lines) +
                " exit=" + std::to_string(exitCode) + " peak_mb=" + std::to_string(PeakMegabytes()));
    return 0;
}
