#include "toolkit/registry.h"

std::optional<TRegistryKey> TRegistryKey::OpenForReading(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return TRegistryKey(key);
}

std::optional<TRegistryKey> TRegistryKey::OpenForWriting(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return TRegistryKey(key);
}

TRegistryKey::~TRegistryKey() {
    if (key_) {
        RegCloseKey(key_);
    }
}

std::optional<std::int32_t> TRegistryKey::ReadInteger(const wchar_t* name) const {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::optional<std::wstring> TRegistryKey::ReadString(const wchar_t* name, size_t maxChars) const {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > (maxChars + 1) * sizeof(wchar_t)) {
        return std::nullopt;
    }
    // Room for a terminator of our own, whatever the stored data holds.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    DWORD read = size;
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || read > size) {
        return std::nullopt;
    }
    size_t length = read / sizeof(wchar_t);
    buffer[length] = L'\0';
    std::wstring text(buffer.data());
    if (text.size() > maxChars) {
        return std::nullopt;
    }
    return text;
}

bool TRegistryKey::WriteInteger(const wchar_t* name, std::int32_t value) {
    DWORD data = static_cast<DWORD>(value);
    return RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) ==
           ERROR_SUCCESS;
}

bool TRegistryKey::WriteString(const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::optional<std::int64_t> TRegistryKey::ReadInteger64(const wchar_t* name) const {
    DWORD type = 0;
    std::int64_t value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_QWORD || size != sizeof value) {
        return std::nullopt;
    }
    return value;
}

bool TRegistryKey::WriteInteger64(const wchar_t* name, std::int64_t value) {
    return RegSetValueExW(key_, name, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

bool TRegistryKey::DeleteValue(const wchar_t* name) {
    return RegDeleteValueW(key_, name) == ERROR_SUCCESS;
}

std::vector<std::wstring> TRegistryKey::ValueNames() const {
    std::vector<std::wstring> names;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return names;
    }
    std::vector<wchar_t> name(longest + 2);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LSTATUS status =
            RegEnumValueW(key_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) {
            // Another program added a longer name meanwhile.
            name.resize(name.size() * 2 + 256);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name.data(), length);
    }
    return names;
}
