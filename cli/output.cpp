#include "cli/output.h"

#include <cwchar>

namespace {

constexpr std::size_t BufferSize = 64 * 1024;

} // namespace

std::wstring IsoText(TDateTime value) {
    const SYSTEMTIME t = DecodeDateTime(value);
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

std::wstring CsvField(const std::wstring& text) {
    const bool quote = text.find_first_of(L",;\"\r\n") != std::wstring::npos ||
                       (!text.empty() && (text.front() == L' ' || text.back() == L' '));
    if (!quote) {
        return text;
    }
    std::wstring field = L"\"";
    for (const wchar_t c : text) {
        field += c;
        if (c == L'"') {
            field += L'"';
        }
    }
    return field + L"\"";
}

bool IsConsole(HANDLE handle) {
    DWORD mode;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

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
    // Converted in pieces that end on whole characters: a surrogate pair is never split.
    while (length > 0) {
        std::size_t piece = length < 8192 ? length : 8192;
        if (piece < length && text[piece - 1] >= 0xD800 && text[piece - 1] <= 0xDBFF) {
            --piece;
        }
        const std::size_t at = bytes_.size();
        bytes_.resize(at + piece * 3);
        const int written = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(piece), bytes_.data() + at,
                                                static_cast<int>(piece * 3), nullptr, nullptr);
        bytes_.resize(at + static_cast<std::size_t>(written > 0 ? written : 0));
        text += piece;
        length -= piece;
        if (bytes_.size() >= BufferSize && !Flush()) {
            return;
        }
    }
}

bool TTextOutput::WriteBytes(const char* bytes, std::size_t length) {
    while (length > 0) {
        DWORD done = 0;
        const DWORD chunk = length < (1u << 20) ? static_cast<DWORD>(length) : (1u << 20);
        if (!WriteFile(handle_, bytes, chunk, &done, nullptr) || done == 0) {
            return false;
        }
        bytes += done;
        length -= done;
    }
    return true;
}

bool TTextOutput::Flush() {
    if (!handle_ || failed_) {
        return !failed_;
    }
    bool ok = true;
    if (console_) {
        const wchar_t* text = pending_.data();
        std::size_t left = pending_.size();
        while (ok && left > 0) {
            DWORD done = 0;
            const DWORD chunk = left < 8192 ? static_cast<DWORD>(left) : 8192;
            ok = WriteConsoleW(handle_, text, chunk, &done, nullptr) && done > 0;
            text += done;
            left -= done;
        }
        pending_.clear();
    } else {
        ok = WriteBytes(bytes_.data(), bytes_.size());
        bytes_.clear();
    }
    if (!ok) {
        failed_ = true;
        error_ = GetLastError();
    }
    return ok;
}
