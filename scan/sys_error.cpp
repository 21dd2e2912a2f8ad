#include "scan/sys_error.h"

#include "toolkit/error.h"
#include "toolkit/text.h"

std::wstring SysErrorText(int code) {
    std::wstring text = SystemMessage(static_cast<DWORD>(code));
    if (TrimControls(text).empty()) {
        return L"Unspecified error (" + std::to_wstring(code) + L").";
    }
    return text;
}

std::wstring LogLine(const std::wstring& folder, int code) {
    return folder + L" - " + std::wstring(TrimControls(SysErrorText(code), TTrim::End)) + L" (" +
           std::to_wstring(code) + L")";
}
