#pragma once
// Registry keys with RAII, and defensive reads: stored data may have any type and size.
#include <windows.h>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TRegistryKey {
  public:
    static std::optional<TRegistryKey> OpenForReading(HKEY root, const std::wstring& path);
    // Creates the key and its parents when missing.
    static std::optional<TRegistryKey> OpenForWriting(HKEY root, const std::wstring& path);
    TRegistryKey(TRegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    TRegistryKey& operator=(TRegistryKey&&) = delete;
    ~TRegistryKey();

    // Only a REG_DWORD of exactly four bytes counts as an integer.
    std::optional<std::int32_t> ReadInteger(const wchar_t* name) const;
    // REG_SZ or REG_EXPAND_SZ (unexpanded) of at most maxChars characters, up to its first null;
    // a missing terminator is tolerated.
    std::optional<std::wstring> ReadString(const wchar_t* name, size_t maxChars = 32767) const;
    bool WriteInteger(const wchar_t* name, std::int32_t value);
    // Only a REG_QWORD of exactly eight bytes counts.
    std::optional<std::int64_t> ReadInteger64(const wchar_t* name) const;
    bool WriteInteger64(const wchar_t* name, std::int64_t value);
    bool DeleteValue(const wchar_t* name);
    // The names of the key's values, in the registry's order.
    std::vector<std::wstring> ValueNames() const;
    // REG_SZ with its terminating null.
    bool WriteString(const wchar_t* name, const std::wstring& value);

  private:
    explicit TRegistryKey(HKEY key) : key_(key) {}
    HKEY key_;
};
