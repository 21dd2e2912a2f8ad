#pragma once
// The system's text for an error code, and the processing log's line for a folder that failed.
#include <string>

// The system's message text for code as the system gives it (normally ending with a line break), or
// "Unspecified error (%d)." when the system has none that fits into 256 characters.
std::wstring SysErrorText(int code);

// "%s - %s (%d)": the folder, the system's text without its trailing blanks and line break, the code.
std::wstring LogLine(const std::wstring& folder, int code);
