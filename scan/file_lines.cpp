#include "scan/file_lines.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "scan/local_time.h"

namespace {

// A byte count in decimal digits, exact to the last byte however large.
void AppendNumber(std::uint64_t number, std::string& out) {
    char digits[20];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

} // namespace

bool AppendUtf8(std::wstring_view text, std::string& out, bool keepLoneSurrogates) {
    // At most three bytes for each UTF-16 unit (a pair takes four for two); written in place at the
    // end of out.
    const std::size_t at = out.size();
    out.resize(at + text.size() * 3);
    char* put = out.data() + at;
    bool exact = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned c = text[i];
        if (c < 0x80) {
            *put++ = static_cast<char>(c);
            continue;
        }
        if (c < 0x800) {
            *put++ = static_cast<char>(0xC0 | (c >> 6));
            *put++ = static_cast<char>(0x80 | (c & 0x3F));
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            const unsigned code = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
            *put++ = static_cast<char>(0xF0 | (code >> 18));
            *put++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            *put++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *put++ = static_cast<char>(0x80 | (code & 0x3F));
            continue;
        }
        if (c >= 0xD800 && c < 0xE000) {
            exact = false;
            c = keepLoneSurrogates ? c : 0xFFFD;
        }
        *put++ = static_cast<char>(0xE0 | (c >> 12));
        *put++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *put++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    out.resize(static_cast<std::size_t>(put - out.data()));
    return exact;
}

namespace {

// A lone surrogate in a held path: ED followed by A0 to BF, which UTF-8 itself never holds.
bool LoneSurrogateAt(std::string_view held, std::size_t i) {
    return static_cast<unsigned char>(held[i]) == 0xED && i + 2 < held.size() &&
           static_cast<unsigned char>(held[i + 1]) >= 0xA0;
}

unsigned LoneSurrogate(std::string_view held, std::size_t i) {
    return 0xD000 | ((static_cast<unsigned char>(held[i + 1]) & 0x3F) << 6) |
           (static_cast<unsigned char>(held[i + 2]) & 0x3F);
}

} // namespace

bool HoldsLoneSurrogate(std::string_view held) {
    for (std::size_t i = held.find('\xED'); i != std::string_view::npos; i = held.find('\xED', i + 1)) {
        if (LoneSurrogateAt(held, i)) {
            return true;
        }
    }
    return false;
}

void AppendStrictUtf8(std::string_view held, std::string& out) {
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (LoneSurrogateAt(held, i)) {
            out.append("\xEF\xBF\xBD");
            i += 2;
        } else {
            out += held[i];
        }
    }
}

void AppendWide(std::string_view held, std::wstring& text, bool escapeLoneSurrogates) {
    for (std::size_t i = 0; i < held.size();) {
        const unsigned char c = static_cast<unsigned char>(held[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (i + length > held.size()) {
            text += L'\uFFFD';
            break;
        }
        unsigned code = length == 1 ? c : c & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            code = (code << 6) | (static_cast<unsigned char>(held[i + k]) & 0x3F);
        }
        if (code >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else if (escapeLoneSurrogates && code >= 0xD800 && code < 0xE000) {
            wchar_t escape[8];
            std::swprintf(escape, 8, L"\\u%04X", code);
            text += escape;
        } else {
            text += static_cast<wchar_t>(code);
        }
        i += length;
    }
}

std::wstring Wide(std::string_view held, bool escapeLoneSurrogates) {
    std::wstring text;
    text.reserve(held.size());
    AppendWide(held, text, escapeLoneSurrogates);
    return text;
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

void AppendJsonString(std::string_view held, std::string& out) {
    out += '"';
    for (std::size_t i = 0; i < held.size(); ++i) {
        const char c = held[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || LoneSurrogateAt(held, i)) {
            char escaped[8];
            std::snprintf(
                escaped, sizeof escaped, static_cast<unsigned char>(c) < 0x20 ? "\\u%04x" : "\\u%04X",
                static_cast<unsigned char>(c) < 0x20 ? static_cast<unsigned>(c) : LoneSurrogate(held, i));
            out.append(escaped);
            i += static_cast<unsigned char>(c) < 0x20 ? 0 : 2;
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

bool AppendFile(TOutputFormat format, std::string_view held, TDateTime time, std::int64_t utc,
                std::uint64_t size, bool console, std::string& line, const TChangeColumns* change) {
    std::string strict, oldStrict;
    const bool plain = console || format == TOutputFormat::Json;
    std::string_view oldHeld = change ? change->OldHeld : std::string_view();
    const bool exact = plain || (!HoldsLoneSurrogate(held) &&
                                 (format != TOutputFormat::Csv || !HoldsLoneSurrogate(oldHeld)));
    if (!exact) {
        AppendStrictUtf8(held, strict);
        held = strict;
        AppendStrictUtf8(oldHeld, oldStrict);
        oldHeld = oldStrict;
    }
    switch (format) {
    case TOutputFormat::Lines:
        line.append(held).append(1, '\t');
        AppendIsoText(time, line);
        line.append("\r\n");
        break;
    case TOutputFormat::Csv:
        AppendCsvField(held, line);
        line += ',';
        AppendIsoText(time, line);
        line += ',';
        AppendNumber(size, line);
        if (change) {
            line.append(1, ',').append(change->Kind).append(1, ',');
            if (change->HasOld) {
                AppendCsvField(oldHeld, line);
                line += ',';
                AppendNumber(change->OldSize, line);
                line += ',';
                AppendIsoText(UtcValue(change->OldUtc), line);
                line += 'Z';
            } else {
                line.append(",,");
            }
        }
        line.append("\r\n");
        break;
    case TOutputFormat::Null:
        line.append(held).append(1, '\0');
        break;
    case TOutputFormat::Json:
        line.append("{\"path\":");
        AppendJsonString(held, line);
        line.append(",\"local\":\"");
        AppendIsoText(time, line);
        AppendUtcOffset(time, utc, line);
        line.append("\",\"utc\":\"");
        AppendIsoText(UtcValue(utc), line);
        // A plain number, exact past 2^53 for readers that keep 64-bit integers.
        line.append("Z\",\"size\":");
        AppendNumber(size, line);
        if (change) {
            line.append(",\"change\":\"").append(change->Kind).append("\",\"old_path\":");
            if (change->HasOld) {
                AppendJsonString(oldHeld, line);
                line.append(",\"old_size\":");
                AppendNumber(change->OldSize, line);
                line.append(",\"old_utc\":\"");
                AppendIsoText(UtcValue(change->OldUtc), line);
                line.append("Z\"");
            } else {
                line.append("null,\"old_size\":null,\"old_utc\":null");
            }
        }
        line.append("}\r\n");
        break;
    }
    return exact;
}

void AppendFileStart(TOutputFormat format, std::string& out, bool changes) {
    if (format == TOutputFormat::Csv) {
        out.append("\xEF\xBB\xBF");
        AppendUtf8(changes ? ChangesCsvHeader : CsvHeader, out);
    }
}
