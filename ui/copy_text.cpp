#include "ui/copy_text.h"

#include <algorithm>

namespace {
wchar_t* Put(wchar_t* out, std::wstring_view text) {
    return std::copy(text.begin(), text.end(), out);
}
} // namespace

std::size_t LineLength(const TRowParts& row, TCopyLayout layout) {
    const std::size_t path = row.Folder.size() + row.Name.size();
    return layout == TCopyLayout::OnlyNames     ? path
           : layout == TCopyLayout::NameAndTime ? path + 1 + row.TimeText.size()
                                                : row.TimeText.size() + 1 + path + 1;
}

wchar_t* WriteLine(wchar_t* out, const TRowParts& row, TCopyLayout layout) {
    if (layout == TCopyLayout::TimeAndName) {
        out = Put(out, row.TimeText);
        *out++ = L'\t';
    }
    out = Put(Put(out, row.Folder), row.Name);
    if (layout != TCopyLayout::OnlyNames)
        *out++ = L'\t';
    return layout == TCopyLayout::NameAndTime ? Put(out, row.TimeText) : out;
}

std::wstring CopyText(const std::vector<TRowText>& rows, TCopyLayout layout) {
    // A line break comes before a line once the text holds anything.
    std::size_t size = 0;
    for (const TRowText& row : rows)
        size += (size ? 2 : 0) + LineLength({{}, row.Path, row.TimeText}, layout);
    std::wstring text(size, L'\0');
    wchar_t* at = text.data();
    for (const TRowText& row : rows) {
        if (at != text.data())
            at = Put(at, L"\r\n");
        at = WriteLine(at, {{}, row.Path, row.TimeText}, layout);
    }
    return text;
}

TExploreTarget SplitForExplore(std::wstring_view caption) {
    const std::size_t at = caption.find_last_of(L"\\:");
    if (at == std::wstring_view::npos)
        return {std::wstring(), std::wstring(caption)};
    return {std::wstring(caption.substr(0, at + 1)), std::wstring(caption.substr(at + 1))};
}
