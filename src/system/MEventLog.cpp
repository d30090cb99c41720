#include "system/MEventLog.h"

#include <windows.h>

#include <cstring>

#include "core/Product.h"
#include "registry/CRegKey.h"
#include "win32/Handles.h"
#include "win32/Seam.h"
#include "win32/MText.h"
#include "messages.h" // generated from resources/messages.mc: the IDs the Event Viewer looks up

namespace {

std::wstring SourceKeyPath() {
    return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" +
           MText::Utf8ToWide(Product::kName);
}

// Whether every file the registration names (";" between them, environment references allowed)
// still exists.
bool MessageFilesExist(const std::wstring& files) {
    bool any = false;
    for (std::size_t first = 0; first < files.size();) {
        std::size_t end = files.find(L';', first);
        if (end == std::wstring::npos)
            end = files.size();
        if (end > first) {
            const std::wstring file = files.substr(first, end - first);
            wchar_t path[MAX_PATH] = {};
            const DWORD n = ::ExpandEnvironmentStringsW(file.c_str(), path, MAX_PATH);
            if (n == 0 || n > MAX_PATH || ::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
                return false;
            any = true;
        }
        first = end + 1;
    }
    return any;
}

} // namespace

namespace MEventLog {

// Without a registered message file the Event Viewer shows "The description for Event ID ...
// cannot be found" in front of the text. A registration that still names an existing file is
// someone's (an installed copy, another program of this name) and is left alone.
bool RegisterSource() {
    wchar_t exe[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (n == 0 || n == MAX_PATH)
        return false;
    CRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, SourceKeyPath().c_str(), KEY_QUERY_VALUE | KEY_SET_VALUE) !=
        ERROR_SUCCESS)
        return false; // The entry is still written, only less readable.
    const StoredValue stored = key.Read(L"EventMessageFile");
    if (stored.presence == ValuePresence::Present &&
        (stored.type == REG_SZ || stored.type == REG_EXPAND_SZ)) {
        std::wstring current(stored.bytes.size() / sizeof(wchar_t), L'\0');
        std::memcpy(current.data(), stored.bytes.data(), current.size() * sizeof(wchar_t));
        current.resize(current.find(L'\0') == std::wstring::npos ? current.size()
                                                                 : current.find(L'\0'));
        if (MessageFilesExist(current))
            return false;
    }
    key.Write(L"EventMessageFile", REG_EXPAND_SZ, exe, (n + 1) * sizeof(wchar_t));
    DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    key.Write(L"TypesSupported", REG_DWORD, &types, sizeof(types));
    return true;
}

void WriteInformation(const std::string& text) {
    RegisterSource();
    UniqueEventSource source(
        ::RegisterEventSourceW(nullptr, MText::Utf8ToWide(Product::kName).c_str()));
    if (!source)
        return;
    const std::wstring wide = MText::Utf8ToWide(text);
    const wchar_t* strings[] = {wide.c_str()};
    Seam<Calls>::Current().reportEvent(source.get(), EVENTLOG_INFORMATION_TYPE, 0,
                                       MSG_KEY_MAPPING_CHANGED, nullptr, 1, 0, strings, nullptr);
}

} // namespace MEventLog
