#include "system/MEventLog.h"

#include <windows.h>

#include "win32/Handles.h"
#include "core/Product.h"
#include "win32/Text.h"
#include "messages.h" // generated from resources/messages.mc: the IDs the Event Viewer looks up

namespace {


std::wstring SourceKeyPath() {
    return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" +
           Utf8ToWide(Product::kName);
}

// Without a registered message file the Event Viewer shows "The description for Event ID ...
// cannot be found" in front of the text.
void RegisterSource() {
    wchar_t exe[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (n == 0 || n == MAX_PATH)
        return;
    UniqueHkey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, SourceKeyPath().c_str(), 0, nullptr, 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS)
        return; // The entry is still written, only less readable.
    wchar_t current[MAX_PATH] = {};
    DWORD size = sizeof(current) - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(key.get(), L"EventMessageFile", nullptr, &type,
                           reinterpret_cast<BYTE*>(current), &size) == ERROR_SUCCESS &&
        ::lstrcmpiW(current, exe) == 0)
        return;
    ::RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                     reinterpret_cast<const BYTE*>(exe), (n + 1) * sizeof(wchar_t));
    DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    ::RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&types), sizeof(types));
}

} // namespace

namespace MEventLog {

void WriteInformation(const std::string& text) {
    RegisterSource();
    UniqueEventSource source(::RegisterEventSourceW(nullptr, Utf8ToWide(Product::kName).c_str()));
    if (!source)
        return;
    const std::wstring wide = Utf8ToWide(text);
    const wchar_t* strings[] = {wide.c_str()};
    ::ReportEventW(source.get(), EVENTLOG_INFORMATION_TYPE, 0, MSG_KEY_MAPPING_CHANGED, nullptr, 1,
                   0, strings, nullptr);
}

} // namespace MEventLog
