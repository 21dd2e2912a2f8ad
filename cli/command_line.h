#pragma once
// A scan without a window: switches in, lines out, an exit code for scripts.
#include <string>
#include <vector>

// Runs the scan the arguments ask for, writes its lines and gives the exit code: 0 every folder was
// listed, 1 some folder could not be, 2 bad arguments or an output file that cannot be written,
// 130 stopped by Ctrl+C. Needs a thread without windows of its own; it serves the scan's hand-off.
int RunCommandLine(const std::vector<std::wstring>& arguments);

// For the window program started with switches: standard output and error that it was not given
// (a shell gives a window program none) go to the console of the program that started it, if any.
void UseParentConsole();

// The part of a command line after the program's own name, exactly as typed.
std::wstring ArgumentsText(const wchar_t* commandLine);
