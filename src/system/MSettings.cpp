#include "system/MSettings.h"

#include <windows.h>

#include <vector>

#include "win32/ErrorSource.h"
#include "win32/Handles.h"
#include "win32/Text.h"

namespace {

constexpr ErrorSource kSource = ModuleSource("MSettings");

std::wstring KeyPath(const std::string& appName, const std::string& section) {
    return L"Software\\" + Utf8ToWide(appName) + L"\\" + Utf8ToWide(section);
}

} // namespace

namespace MSettings {

std::string GetSetting(const std::string& appName, const std::string& section,
                       const std::string& key, const std::string& def) {
    UniqueHkey hkey;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(appName, section).c_str(), 0, KEY_QUERY_VALUE,
                        hkey.put()) != ERROR_SUCCESS)
        return def;
    const std::wstring name = Utf8ToWide(key);
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(hkey.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return def;
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(hkey.get(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return def;
    return WideToUtf8(text.data()); // up to the first NUL, as stored texts end
}

void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value) {
    UniqueHkey hkey;
    LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(appName, section).c_str(), 0,
                                       nullptr, 0, KEY_SET_VALUE, nullptr, hkey.put(), nullptr);
    const std::wstring text = Utf8ToWide(value);
    if (status == ERROR_SUCCESS)
        status = ::RegSetValueExW(hkey.get(), Utf8ToWide(key).c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS)
        kSource.Raise(static_cast<std::int32_t>(status),
                      "The setting '" + key + "' cannot be saved.");
}

} // namespace MSettings
