#pragma once
// The one line that shows a scan's progress on a console.
#include <cstdint>
#include <string>

// "<folders> folders, <files> files  <folder>", the folder shortened in its middle ("...") so that
// the line has fewer than width characters and never wraps.
std::wstring ProgressLine(std::int64_t folders, std::int64_t files, const std::wstring& folder, int width);
