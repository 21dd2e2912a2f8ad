#include <windows.h>
int ToolkitProbe() { return GetCurrentProcessId() != 0; }
