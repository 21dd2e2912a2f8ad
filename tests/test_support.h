#pragma once
// What the test programs share: waiting for a condition while this thread serves its messages.
#include "toolkit/application.h"
#include <windows.h>
#include <algorithm>
#include <functional>

// Serves messages (the hand-off, the windows, the idle updates) until done() holds; false when the
// deadline passes first. The deadline is generous on purpose: it is only reached when something is
// wrong, and a busy machine must not be mistaken for that. A condition that another thread makes
// true without a message is seen within milliseconds.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (Application.ProcessMessage()) {
            continue;
        }
        Application.Idle();
        if (done()) {
            break;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)), QS_ALLINPUT);
    }
    return true;
}

// Serves messages for a while: for pacing, never as the proof that something happened.
inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}
