#pragma once
// Text helpers that every layer needs.
#include <string_view>

enum class TTrim { BothEnds, Start, End };

// The text without its leading and trailing characters at or below U+0020 (blanks, tabs, line
// breaks and the other control characters), or without the leading or the trailing ones only.
std::wstring_view TrimControls(std::wstring_view text, TTrim ends = TTrim::BothEnds);
