#include "ui/copy_text.h"

std::wstring CopyText(const std::vector<TRowText>& rows, TCopyLayout layout) {
    // Reserve once: a copy of a million rows should not regrow the text again and again.
    std::size_t size = 0;
    for (const TRowText& row : rows) size += row.Path.size() + row.TimeText.size() + 4;
    std::wstring text;
    text.reserve(size);
    for (const TRowText& row : rows) {
        if (!text.empty()) text += L"\r\n";
        switch (layout) {
        case TCopyLayout::OnlyNames:
            text += row.Path;
            break;
        case TCopyLayout::NameAndTime:
            text += row.Path;
            text += L'\t';
            text += row.TimeText;
            break;
        case TCopyLayout::TimeAndName:
            text += row.TimeText;
            text += L'\t';
            text += row.Path;
            text += L'\t';
            break;
        }
    }
    return text;
}

TExploreTarget SplitForExplore(std::wstring_view caption) {
    const std::size_t at = caption.find_last_of(L"\\:");
    if (at == std::wstring_view::npos) return {std::wstring(), std::wstring(caption)};
    return {std::wstring(caption.substr(0, at + 1)), std::wstring(caption.substr(at + 1))};
}
