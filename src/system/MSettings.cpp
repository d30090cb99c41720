#include "system/MSettings.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "registry/CRegKey.h"
#include "win32/ModuleSource.h"
#include "win32/MText.h"

namespace {

constexpr ErrorSource kSource = ModuleSource("MSettings");

std::wstring KeyPath(const std::string& appName, const std::string& section) {
    return L"Software\\" + MText::Utf8ToWide(appName) + L"\\" + MText::Utf8ToWide(section);
}

} // namespace

namespace MSettings {

std::string GetSetting(const std::string& appName, const std::string& section,
                       const std::string& key, const std::string& def) {
    CRegKey hkey;
    if (hkey.Open(HKEY_CURRENT_USER, KeyPath(appName, section).c_str(), KEY_QUERY_VALUE) !=
        ERROR_SUCCESS)
        return def;
    const StoredValue stored = hkey.Read(MText::Utf8ToWide(key).c_str());
    if (stored.presence != ValuePresence::Present ||
        (stored.type != REG_SZ && stored.type != REG_EXPAND_SZ))
        return def;
    std::vector<wchar_t> text(stored.bytes.size() / sizeof(wchar_t) + 1, L'\0');
    std::memcpy(text.data(), stored.bytes.data(),
                stored.bytes.size() / sizeof(wchar_t) * sizeof(wchar_t));
    return MText::WideToUtf8(text.data()); // up to the first NUL, as stored texts end
}

void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value) {
    CRegKey hkey;
    LSTATUS status =
        hkey.Create(HKEY_CURRENT_USER, KeyPath(appName, section).c_str(), KEY_SET_VALUE);
    const std::wstring text = MText::Utf8ToWide(value);
    if (status == ERROR_SUCCESS)
        status = hkey.Write(MText::Utf8ToWide(key).c_str(), REG_SZ, text.c_str(),
                            (text.size() + 1) * sizeof(wchar_t));
    if (status != ERROR_SUCCESS)
        kSource.Raise(static_cast<std::int32_t>(status),
                      "The setting '" + key + "' cannot be saved.");
}

} // namespace MSettings
