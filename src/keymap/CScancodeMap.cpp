#include "keymap/CScancodeMap.h"

#include "win32/Fatal.h"
#include "core/KeyCatalogue.h"
#include "core/MapText.h"
#include "registry/RegistryApi.h"
#include "registry/cRegistry.h"

namespace {

constexpr std::uint32_t kRoot = 0x80000002u; // HKEY_LOCAL_MACHINE
constexpr char kSection[] = "System\\CurrentControlSet\\Control\\Keyboard Layout\\";
constexpr char kMapName[] = "Scancode Map";
constexpr char kBackupName[] = "TVLN Backup";
constexpr std::int32_t kBinary = 3;

std::string Source() {
    return ExeName() + ".CScancodeMap";
}

cRegistry KeyboardLayoutKey(const std::string& valueName) {
    cRegistry reg;
    reg.SetClassKey(kRoot);
    reg.SetSectionKey(kSection);
    reg.SetValueKey(valueName);
    reg.SetValueType(kBinary);
    return reg;
}

void WriteValue(const std::string& valueName, const std::string& hex,
                const std::vector<std::uint8_t>& bytes) {
    cRegistry reg = KeyboardLayoutKey(valueName);
    if (hex.empty())
        reg.SetValue(RegNull{});
    else
        reg.SetValue(ByteArray{0, bytes});
}

void DeleteValue(const std::string& valueName) {
    KeyboardLayoutKey(valueName).DeleteValue();
}

// Reads through cRegistry cannot tell a missing value from one they failed to read; this asks
// the registry itself, so that only a value that is surely absent counts as absent.
bool ValueIsSurelyMissing(const char* valueName) {
    const RegistryApi& api = Registry();
    HKEY key = nullptr;
    LONG rc = api.OpenKeyEx(HKEY_LOCAL_MACHINE, kSection, 0, KEY_QUERY_VALUE, &key);
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    rc = api.QueryValueEx(key, valueName, nullptr, &type, nullptr, &size);
    api.CloseKey(key);
    return rc == ERROR_FILE_NOT_FOUND;
}

} // namespace

CScancodeMap::CScancodeMap() {
    const StoredValue map = ReadValue(kMapName);
    const StoredValue backup = ReadValue(kBackupName);
    initialMapHex_ = map.hex;
    backupMapHex_ = backup.hex;
    backupFound_ = backup.found;
    backupBinary_ = backup.binary;
    if (!map.found) {
        // A map that exists but could not be read must not be overwritten as if it were absent.
        mapWellFormed_ = mapCopyable_ = ValueIsSurelyMissing(kMapName);
    } else {
        mapCopyable_ = map.binary;
        mapWellFormed_ =
            map.binary && MapText::IsWellFormedMap(MapText::HexToBytes(map.hex).value());
    }
    if (mapWellFormed_)
        currentSettingString_ = MapText::EntryListOf(initialMapHex_);
}

CScancodeMap::StoredValue CScancodeMap::ReadValue(const std::string& valueName) const {
    std::uint32_t classKey = kRoot;
    std::string section = kSection;
    std::string name = valueName;
    std::int32_t type = kBinary;
    RegistryValue fallback = std::string();
    cRegistry reg;
    const RegistryValue value = reg.ValueEx(classKey, section, name, type, fallback);
    type = reg.ValueType(); // the stored type, when the value was found

    StoredValue stored;
    if (const auto* array = std::get_if<ByteArray>(&value)) {
        stored.found = true;
        stored.binary = type == kBinary;
        // The last element is the reader's extra 0, not part of the value.
        if (!array->bytes.empty())
            stored.hex =
                MapText::BytesToHex(std::span(array->bytes.data(), array->bytes.size() - 1));
    } else {
        // The default comes back only for a missing (or unreadable) value, with the type untouched;
        // anything else is a value stored as text or number.
        stored.found = !(std::holds_alternative<std::string>(value) && type == kBinary &&
                         std::get<std::string>(value).empty());
    }
    return stored;
}

std::string CScancodeMap::ReadValueAsHex(const std::string& valueName) const {
    return ReadValue(valueName).hex;
}

std::vector<std::uint8_t> CScancodeMap::HexToBytes(const std::string& hex) {
    auto bytes = MapText::HexToBytes(hex);
    if (!bytes)
        throw AppError(5, Source(), "");
    return *bytes;
}

void CScancodeMap::RestoreMap() {
    if (!backupFound_) {
        // There is nothing to restore from: deleting the map would lose it for good.
        throw AppError(cRegistry::kErrKey, ExeName() + ".cRegistry",
                       "Failed to delete registry Key: '" +
                           std::to_string(static_cast<std::int32_t>(kRoot)) + "',Section: '" +
                           kSection + "',Key: '" + kBackupName);
    }
    if (!backupBinary_)
        throw AppError(kErrBackupNotBinary, Source(),
                       "The stored TVLN Backup is not a binary value; Tavelin does not restore "
                       "it.");
    if (!backupMapHex_.empty()) {
        WriteValue(kMapName, backupMapHex_, HexToBytes(backupMapHex_));
    } else {
        try {
            DeleteValue(kMapName);
        } catch (const AppError&) {
            // No map is the state asked for; only a map still present is a failure.
            if (!ValueIsSurelyMissing(kMapName))
                throw;
        }
    }
    DeleteValue(kBackupName);
}

void CScancodeMap::BuildNewSettingString(std::int32_t idxKeyType, std::int32_t idxKeyNewValue) {
    auto list =
        MapText::WithKeySetting(KeyCatalogue(), newSettingString_, idxKeyType, idxKeyNewValue);
    if (!list)
        throw AppError(5, Source(), "");
    newSettingString_ = std::move(*list);
}

void CScancodeMap::SaveNewSetting() {
    if (!mapWellFormed_)
        throw AppError(kErrMapNotWellFormed, Source(),
                       "The stored Scancode Map is not well formed; Tavelin does not rewrite it.");
    if (!MapText::IsEntryList(newSettingString_))
        throw AppError(5, Source(), "");
    // The backup is never rewritten; if the one found cannot be restored, changing the map
    // would leave no way back to it.
    if (backupFound_ && !backupBinary_)
        throw AppError(kErrBackupNotBinary, Source(),
                       "The stored TVLN Backup is not a binary value; Tavelin does not change the "
                       "map while its backup cannot be restored.");
    BackupMap();
    const std::string hex = MapText::MapHexFor(newSettingString_);
    WriteValue(kMapName, hex, hex.empty() ? std::vector<std::uint8_t>{} : HexToBytes(hex));
}

std::int32_t CScancodeMap::GetCurrentKeySetting(const std::string& sCode) const {
    if (!mapWellFormed_)
        return -1;
    return MapText::KeySetting(KeyCatalogue(), currentSettingString_, sCode);
}

std::optional<std::string> CScancodeMap::CurrentEntryFor(const std::string& sCode) const {
    if (!mapWellFormed_)
        return std::nullopt;
    return MapText::FirstNewCode(currentSettingString_, sCode);
}

bool CScancodeMap::KeyNeedsLock(std::int32_t idxKeyType) const {
    return !mapWellFormed_ ||
           MapText::KeyNeedsLock(KeyCatalogue(), currentSettingString_, idxKeyType);
}

bool CScancodeMap::BackupMapExists() const {
    cRegistry reg;
    reg.SetClassKey(kRoot);
    reg.SetSectionKey(kSection);
    std::vector<std::string> names;
    std::int32_t count = 0;
    reg.EnumerateValues(names, count);
    for (const std::string& name : names)
        if (name == kBackupName)
            return true;
    return false;
}

void CScancodeMap::BackupMap() {
    // The value read at creation counts too: a listing that failed halfway must not let the
    // backup of the original map be overwritten.
    if (backupFound_ || BackupMapExists())
        return;
    if (!mapCopyable_)
        throw AppError(kErrMapNotWellFormed, Source(),
                       "The stored Scancode Map cannot be copied byte for byte; Tavelin does not "
                       "back it up.");
    WriteValue(kBackupName, initialMapHex_,
               initialMapHex_.empty() ? std::vector<std::uint8_t>{} : HexToBytes(initialMapHex_));
}
