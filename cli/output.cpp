#include "cli/output.h"

namespace {

constexpr std::size_t BufferSize = 64 * 1024;

bool IsConsole(HANDLE handle) {
    DWORD mode;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

} // namespace

TTextOutput::TTextOutput(HANDLE handle)
    : handle_(handle && handle != INVALID_HANDLE_VALUE ? handle : nullptr), console_(IsConsole(handle)) {}

void TTextOutput::Write(const wchar_t* text, std::size_t length) {
    if (!handle_ || failed_) {
        return;
    }
    if (console_) {
        pending_.append(text, length);
        if (pending_.size() >= BufferSize / sizeof(wchar_t)) {
            Flush();
        }
        return;
    }
    AppendUtf8({text, length}, bytes_);
    if (bytes_.size() >= BufferSize) {
        Flush();
    }
}

void TTextOutput::WriteUtf8(std::string_view text) {
    if (!handle_ || failed_) {
        return;
    }
    if (console_) {
        // A console takes UTF-16, which holds every name exactly.
        const std::wstring wide = Wide(text);
        Write(wide.data(), wide.size());
        return;
    }
    bytes_.append(text);
    if (bytes_.size() >= BufferSize) {
        Flush();
    }
}

bool TTextOutput::WriteBytes(const char* bytes, std::size_t length) {
    while (length > 0) {
        DWORD done = 0;
        const DWORD chunk = length < (1u << 20) ? static_cast<DWORD>(length) : (1u << 20);
        if (!WriteFile(handle_, bytes, chunk, &done, nullptr)) {
            Fail(GetLastError());
            return false;
        }
        if (done == 0) {
            Fail(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += done;
        length -= done;
    }
    return true;
}

void TTextOutput::Fail(DWORD error) {
    failed_ = true;
    // A call that failed without a code still failed.
    error_ = error ? error : ERROR_WRITE_FAULT;
}

bool TTextOutput::Flush() {
    if (!handle_ || failed_) {
        return !failed_;
    }
    if (console_) {
        const wchar_t* text = pending_.data();
        std::size_t left = pending_.size();
        while (left > 0) {
            DWORD done = 0;
            const DWORD chunk = left < 8192 ? static_cast<DWORD>(left) : 8192;
            if (!WriteConsoleW(handle_, text, chunk, &done, nullptr)) {
                Fail(GetLastError());
                break;
            }
            if (done == 0) {
                Fail(ERROR_WRITE_FAULT);
                break;
            }
            text += done;
            left -= done;
        }
        pending_.clear();
    } else {
        WriteBytes(bytes_.data(), bytes_.size());
        bytes_.clear();
    }
    return !failed_;
}
