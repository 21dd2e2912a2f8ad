#include "scan/last_scans.h"

#include <algorithm>
#include <vector>

#include "toolkit/registry.h"

std::wstring LastScanName(const std::wstring& root) {
    std::wstring name = root;
    // As the file system compares names: each character by itself, whatever the user's language.
    if (!name.empty()) {
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, root.data(), static_cast<int>(root.size()),
                      name.data(), static_cast<int>(name.size()), nullptr, nullptr, 0);
    }
    return name;
}

void RememberScanStart(const std::wstring& root, std::int64_t startUtc) {
    auto key = TRegistryKey::OpenForWriting(HKEY_CURRENT_USER, LastScansKey);
    const std::wstring written = LastScanName(root);
    if (!key || !key->WriteInteger64(written.c_str(), startUtc)) {
        return;
    }
    // The others, oldest first; the root just written stays even if a clock set back made it older.
    std::vector<std::pair<std::int64_t, std::wstring>> others;
    for (std::wstring& name : key->ValueNames()) {
        // A value of another type is no scan and is not counted.
        const auto start = key->ReadInteger64(name.c_str());
        if (start && LastScanName(name) != written) {
            others.emplace_back(*start, std::move(name));
        }
    }
    std::sort(others.begin(), others.end());
    for (std::size_t i = 0; i + LastScansKept < others.size() + 1; ++i) {
        key->DeleteValue(others[i].second.c_str());
    }
}

std::optional<std::int64_t> LastScanStart(const std::wstring& root) {
    const auto key = TRegistryKey::OpenForReading(HKEY_CURRENT_USER, LastScansKey);
    return key ? key->ReadInteger64(LastScanName(root).c_str()) : std::nullopt;
}
