#pragma once
// The start of the last completed scan of each root, kept per user for both front ends: the window
// offers it as a moment, the console takes it as --since last.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Where the program keeps what it remembers, under HKEY_CURRENT_USER: the window's settings, and
// below them the last scans, one value a root holding its scan's start.
inline constexpr wchar_t SettingsKey[] = L"Software\\Dovrel\\qnwk";
inline constexpr wchar_t LastScansKey[] = L"Software\\Dovrel\\qnwk\\LastScans";
// The most recent roots kept; the one whose scan started earliest is forgotten first.
inline constexpr std::size_t LastScansKept = 32;

// The root as a scan takes it (RootPathFromText), in the form roots are compared by: case does not
// count, as it does not in a path.
std::wstring LastScanName(const std::wstring& root);
// root as the scan took it; startUtc in UTC ticks. A program writing at the same time never spoils
// it: each root is a value of its own.
void RememberScanStart(const std::wstring& root, std::int64_t startUtc);
std::optional<std::int64_t> LastScanStart(const std::wstring& root);
