#pragma once
// Shared by the benchmark programs: the clock, peak memory, the reply watcher and the result line.
#include <windows.h>
#include <atomic>
#include <cstdio>
#include <string>

// After windows.h, which it needs.
#include <psapi.h>

#include "scan/date_time.h"
#include "scan/local_time.h"

inline double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

// The process's memory counters; cb 0 when they could not be read.
inline PROCESS_MEMORY_COUNTERS MemoryCounters(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters : PROCESS_MEMORY_COUNTERS{};
}

inline double PeakMegabytes(HANDLE process = GetCurrentProcess()) {
    const PROCESS_MEMORY_COUNTERS counters = MemoryCounters(process);
    return counters.cb ? static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0) : -1;
}

// PeakPagefileUsage: the most memory the process had committed at once, in use or not.
inline double PeakCommitMegabytes(HANDLE process = GetCurrentProcess()) {
    const PROCESS_MEMORY_COUNTERS counters = MemoryCounters(process);
    return counters.cb ? static_cast<double>(counters.PeakPagefileUsage) / (1024.0 * 1024.0) : -1;
}

// A Unix time in whole seconds as the local date-time value the walk would give a file of that time.
inline TDateTime LocalValueOfUnixTime(long long unixSeconds, SYSTEMTIME* fields = nullptr) {
    const unsigned long long ticks =
        (static_cast<unsigned long long>(unixSeconds) + 11644473600ULL) * 10000000ULL;
    const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME local{};
    TDateTime value = 0;
    TLocalTimeConverter converter;
    if (!converter.ToLocal(utc, local) || !TryEncodeDateTime(local, value)) {
        return 0;
    }
    if (fields) {
        *fields = local;
    }
    return value;
}

// Sends a message to a window about every 10 ms from its own thread and keeps the longest wait for
// the answer: how long the window's thread left its messages unserved.
class TReplyWatcher {
  public:
    explicit TReplyWatcher(HWND window) : window_(window) {
        thread_ = CreateThread(nullptr, 0, &TReplyWatcher::Run, this, 0, nullptr);
    }
    TReplyWatcher(const TReplyWatcher&) = delete;
    TReplyWatcher& operator=(const TReplyWatcher&) = delete;
    ~TReplyWatcher() { Stop(); }
    // Ends the watch and gives the longest wait in milliseconds. Serves messages meanwhile: the
    // watcher may be waiting for an answer from this very thread.
    double Stop() {
        stop_ = true;
        while (thread_) {
            if (MsgWaitForMultipleObjects(1, &thread_, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) {
                CloseHandle(thread_);
                thread_ = nullptr;
                break;
            }
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        return longest_ * 1000;
    }

  private:
    static DWORD WINAPI Run(void* self) {
        static_cast<TReplyWatcher*>(self)->Watch();
        return 0;
    }
    void Watch() {
        while (!stop_) {
            const double sent = Seconds();
            DWORD_PTR answer = 0;
            SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
            const double waited = Seconds() - sent;
            if (waited > longest_) {
                longest_ = waited;
            }
            Sleep(10);
        }
    }

    HWND window_;
    std::atomic<bool> stop_{false};
    std::atomic<double> longest_{0};
    HANDLE thread_ = nullptr;
};

// One line the runner reads: "result key=value key=value ...".
inline void PrintResult(const std::string& fields) {
    std::printf("result %s\n", fields.c_str());
    std::fflush(stdout);
}
