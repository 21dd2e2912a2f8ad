#include "toolkit/text.h"

std::wstring_view TrimControls(std::wstring_view text, TTrim ends) {
    while (ends != TTrim::End && !text.empty() && text.front() <= L' ') {
        text.remove_prefix(1);
    }
    while (ends != TTrim::Start && !text.empty() && text.back() <= L' ') {
        text.remove_suffix(1);
    }
    return text;
}
