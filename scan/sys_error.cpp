#include "scan/sys_error.h"

#include <windows.h>

namespace {

bool IsBlank(wchar_t c) {
    return c <= L' ';
}

} // namespace

std::wstring SysErrorText(int code) {
    std::wstring text(256, L'\0');
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                            FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                        nullptr, static_cast<DWORD>(code), 0, text.data(), 256, nullptr);
    text.resize(length <= 256 ? length : 0);
    size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) {
        ++first;
    }
    if (first == text.size()) {
        return L"Unspecified error (" + std::to_wstring(code) + L").";
    }
    return text;
}

std::wstring LogLine(const std::wstring& folder, int code) {
    std::wstring text = SysErrorText(code);
    while (!text.empty() && IsBlank(text.back())) {
        text.pop_back();
    }
    return folder + L" - " + text + L" (" + std::to_wstring(code) + L")";
}
