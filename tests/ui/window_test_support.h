#pragma once
// Shared by the window tests: the application, the settings key, message pumping and a fixed clock.
#include "scan/date_time.h"
#include "test_support.h"
#include "toolkit/application.h"
#include <windows.h>
#include <functional>
#include <string>

inline void DeleteSettings() {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel");
}

inline TDateTime MakeDateTime(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    TDateTime value = 0;
    TryEncodeDateTime(time, value);
    return value;
}
