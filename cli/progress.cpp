#include "cli/progress.h"

std::wstring ProgressLine(std::int64_t folders, std::int64_t files, const std::wstring& folder, int width) {
    std::wstring line = std::to_wstring(folders) + (folders == 1 ? L" folder, " : L" folders, ") +
                        std::to_wstring(files) + (files == 1 ? L" file" : L" files");
    const std::size_t room = width > 1 ? static_cast<std::size_t>(width - 1) : 0;
    if (line.size() >= room) {
        return line.substr(0, room);
    }
    const std::size_t left = room - line.size();
    if (left < 2 + 8) {
        return line; // no room for anything readable of the folder
    }
    const std::size_t fits = left - 2;
    line += L"  ";
    if (folder.size() <= fits) {
        return line + folder;
    }
    // The start says which drive or share, the end which folder: both matter more than the middle.
    const std::size_t head = (fits - 3) / 3;
    std::size_t tail = fits - 3 - head;
    // A surrogate pair stays whole.
    std::size_t tailStart = folder.size() - tail;
    if (folder[tailStart] >= 0xDC00 && folder[tailStart] <= 0xDFFF) {
        ++tailStart;
    }
    std::size_t headEnd = head;
    if (headEnd > 0 && folder[headEnd - 1] >= 0xD800 && folder[headEnd - 1] <= 0xDBFF) {
        --headEnd;
    }
    return line + folder.substr(0, headEnd) + L"..." + folder.substr(tailStart);
}
