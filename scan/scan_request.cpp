#include "scan/scan_request.h"

#include <algorithm>

#include "scan/listing.h"
#include "toolkit/text.h"

std::wstring RootPathFromText(const std::wstring& text) {
    std::wstring path(TrimControls(text));
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.size() == 2 && path[1] == L':') {
        path += L'\\'; // "C:" alone would be the current folder of drive C
    }
    return FullFolderPath(path);
}
