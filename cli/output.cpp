#include "cli/output.h"

#include <cmath>
#include <cstdio>

#include "scan/local_time.h"

namespace {

constexpr std::size_t BufferSize = 64 * 1024;

bool IsConsole(HANDLE handle) {
    DWORD mode;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

} // namespace

std::string Utf8(std::wstring_view text) {
    std::string bytes;
    AppendUtf8(text, bytes);
    return bytes;
}

void AppendUtf8(std::wstring_view text, std::string& out) {
    if (text.empty()) {
        return;
    }
    // At most three bytes for each UTF-16 unit; converted in place at the end of out.
    const std::size_t at = out.size();
    out.resize(at + text.size() * 3);
    const int written = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data() + at,
                                            static_cast<int>(text.size() * 3), nullptr, nullptr);
    out.resize(at + static_cast<std::size_t>(written > 0 ? written : 0));
}

void AppendIsoText(TDateTime value, std::string& out) {
    const SYSTEMTIME t = DecodeDateTime(value);
    char text[] = "0000-00-00T00:00:00.000";
    const auto put = [&text](std::size_t at, unsigned number, std::size_t digits) {
        for (std::size_t i = digits; i-- > 0; number /= 10) {
            text[at + i] = static_cast<char>('0' + number % 10);
        }
    };
    put(0, t.wYear, 4);
    put(5, t.wMonth, 2);
    put(8, t.wDay, 2);
    put(11, t.wHour, 2);
    put(14, t.wMinute, 2);
    put(17, t.wSecond, 2);
    put(20, t.wMilliseconds, 3);
    out.append(text, sizeof text - 1);
}

TDateTime UtcValue(std::int64_t utcTicks) {
    const FILETIME time = FileTimeOfTicks(utcTicks);
    SYSTEMTIME fields;
    TDateTime value = 0;
    if (FileTimeToSystemTime(&time, &fields)) {
        TryEncodeDateTime(fields, value);
    }
    return value;
}

void AppendUtcOffset(TDateTime local, std::int64_t utcTicks, std::string& out) {
    const long long minutes = std::llround((local - UtcValue(utcTicks)) * 1440);
    const long long size = minutes < 0 ? -minutes : minutes;
    char text[8];
    std::snprintf(text, sizeof text, "%c%02lld:%02lld", minutes < 0 ? '-' : '+', size / 60 % 100, size % 60);
    out.append(text);
}

void AppendJsonString(std::string_view utf8, std::string& out) {
    out += '"';
    for (const char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out.append(escaped);
        } else {
            out += c;
        }
    }
    out += '"';
}

void AppendCsvField(std::string_view text, std::string& out) {
    const bool quote = text.find_first_of(",;\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        out.append(text);
        return;
    }
    out += '"';
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
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
        std::wstring wide(text.size(), L'\0');
        const int length = text.empty() ? 0
                                        : MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                              wide.data(), static_cast<int>(wide.size()));
        Write(wide.data(), static_cast<std::size_t>(length > 0 ? length : 0));
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
