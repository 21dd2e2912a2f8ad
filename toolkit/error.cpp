#include "toolkit/error.h"

#include <new>

namespace {

std::string ToNarrow(const std::wstring& text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string result(size > 0 ? size : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                            nullptr, nullptr);
    }
    return result;
}

std::wstring ToWide(const std::string& text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(size > 0 ? size : 0, L'\0');
    if (size > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    }
    return result;
}

} // namespace

std::wstring SystemMessage(DWORD code) {
    std::wstring text(256, L'\0');
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                            FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                        nullptr, code, 0, text.data(), 256, nullptr);
    text.resize(length <= 256 ? length : 0);
    return text;
}

TError::TError(std::wstring message) : message_(std::move(message)), narrow_(ToNarrow(message_, CP_UTF8)) {}

void RaiseLastOSError(DWORD code) {
    if (code == 0) {
        throw TError(L"A call to an OS function failed");
    }
    throw TError(L"System Error.  Code: " + std::to_wstring(code) + L".\r\n" + SystemMessage(code));
}

std::wstring ExceptionMessage(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const TError& error) {
        return error.Message();
    } catch (const std::bad_alloc&) {
        return L"Out of memory";
    } catch (const std::exception& error) {
        return ToWide(error.what(), CP_ACP);
    } catch (...) {
        return L"Unknown failure";
    }
}

std::wstring ErrorReportText(std::wstring message) {
    if (!message.empty() && message.back() > L'.') {
        message += L'.';
    }
    return message;
}
