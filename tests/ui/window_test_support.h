#pragma once
// Shared by the window tests: the application, the settings key, message pumping and a fixed clock.
#include <functional>
#include <string>
#include <windows.h>
#include "scan/date_time.h"
#include "toolkit/application.h"

// Runs messages until pred holds or the time is up; false on time-out.
inline bool PumpUntil(const std::function<bool()>& pred, int milliseconds = 3000) {
    ULONGLONG end = GetTickCount64() + milliseconds;
    Application.ProcessMessages();
    while (!pred()) {
        if (GetTickCount64() > end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Application.ProcessMessages();
    }
    return true;
}

inline void DeleteSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel"); }

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
