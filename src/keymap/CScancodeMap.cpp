#include "keymap/CScancodeMap.h"

#include <optional>
#include <string_view>

#include "core/KeyCatalogue.h"
#include "core/MapText.h"
#include "registry/RegistryApi.h"
#include "registry/cRegistry.h"
#include "win32/ErrorSource.h"

namespace {

constexpr std::uint32_t kRoot = 0x80000002u; // HKEY_LOCAL_MACHINE
constexpr char kSection[] = "System\\CurrentControlSet\\Control\\Keyboard Layout\\";
constexpr char kMapName[] = "Scancode Map";
constexpr char kBackupName[] = "TVLN Backup";
constexpr std::int32_t kBinary = 3;

constexpr ErrorSource kSource = ModuleSource("CScancodeMap");

// What the user is told comes from the outcome (core/EditOutcome.h); these describe the error.
constexpr char kBackupNotBinaryText[] = "The stored TVLN Backup is not a binary value.";
constexpr char kNotReadableText[] =
    "Tavelin could not read the keyboard map again before writing it; nothing was saved.";

cRegistry KeyboardLayoutKey(const std::string& valueName) {
    cRegistry reg;
    reg.SetClassKey(kRoot);
    reg.SetSectionKey(kSection);
    reg.SetValueKey(valueName);
    reg.SetValueType(kBinary);
    return reg;
}

// No bytes are written as a value of zero bytes.
void WriteValue(const std::string& valueName, const std::vector<std::uint8_t>& bytes) {
    cRegistry reg = KeyboardLayoutKey(valueName);
    if (bytes.empty())
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
    RegistryKey key;
    LONG rc = Registry().OpenKeyEx(HKEY_LOCAL_MACHINE, kSection, 0, KEY_QUERY_VALUE, key.put());
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    rc = Registry().QueryValueEx(key.get(), valueName, nullptr, &type, nullptr, &size);
    return rc == ERROR_FILE_NOT_FOUND;
}

// Whether the value listing holds "TVLN Backup"; nothing when the listing fails (cRegistry's
// listing cannot tell a failure from an empty key).
std::optional<bool> ListedBackup() {
    RegistryKey key;
    if (Registry().OpenKeyEx(HKEY_LOCAL_MACHINE, kSection, 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return std::nullopt;
    for (DWORD index = 0;; ++index) {
        char name[64];
        DWORD length = sizeof name;
        const LONG rc = Registry().EnumValue(key.get(), index, name, &length, nullptr, nullptr,
                                             nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return false;
        if (rc == ERROR_MORE_DATA) // a longer name is not the backup's
            continue;
        if (rc != ERROR_SUCCESS)
            return std::nullopt;
        if (std::string_view(name, length) == kBackupName)
            return true;
    }
}

} // namespace

CScancodeMap::CScancodeMap() : map_(ReadValue(kMapName)), backup_(ReadValue(kBackupName)) {
    // A map that exists but could not be read must not be overwritten as if it were absent.
    mapWellFormed_ = map_.presence == Presence::Missing ||
                     (map_.presence == Presence::Present && map_.type == kBinary &&
                      MapText::IsWellFormedMap(map_.bytes));
    if (mapWellFormed_)
        currentSettingString_ = MapText::EntryListOf(MapText::BytesToHex(map_.bytes));
}

bool CScancodeMap::StoredValue::Copyable() const {
    return presence == Presence::Missing || (presence == Presence::Present && type == kBinary);
}

CScancodeMap::StoredValue CScancodeMap::ReadValue(const std::string& valueName) {
    std::uint32_t classKey = kRoot;
    std::string section = kSection;
    std::string name = valueName;
    std::int32_t type = kBinary;
    RegistryValue fallback = std::string();
    cRegistry reg;
    const RegistryValue value = reg.ValueEx(classKey, section, name, type, fallback);
    type = reg.ValueType(); // the stored type, when the value was found

    StoredValue stored{Presence::Present, type, {}};
    if (const auto* array = std::get_if<ByteArray>(&value)) {
        // The last element is the reader's extra 0, not part of the value.
        if (!array->bytes.empty())
            stored.bytes.assign(array->bytes.begin(), array->bytes.end() - 1);
    } else if (std::holds_alternative<std::string>(value) && type == kBinary &&
               std::get<std::string>(value).empty()) {
        // The default comes back for a missing or an unreadable value, with the type untouched;
        // anything else is a value stored as text or number.
        stored = {
            ValueIsSurelyMissing(valueName.c_str()) ? Presence::Missing : Presence::Unknown, 0, {}};
    } else {
        // Text or number: told apart from others of its kind by its type and text form.
        const std::string text = RegistryValueToText(value);
        stored.bytes.assign(text.begin(), text.end());
    }
    return stored;
}

Restart::MapValue CScancodeMap::AsMapValue(const StoredValue& value) {
    using Kind = Restart::MapValue::Kind;
    switch (value.presence) {
    case Presence::Missing:
        return {Kind::Missing, {}};
    case Presence::Unknown:
        return {Kind::Unreadable, {}};
    default:
        return {value.type == kBinary ? Kind::Binary : Kind::Other, value.bytes};
    }
}

std::vector<std::uint8_t> CScancodeMap::HexToBytes(const std::string& hex) {
    auto bytes = MapText::HexToBytes(hex);
    if (!bytes)
        kSource.Raise(5);
    return *bytes;
}

void CScancodeMap::RestoreMap() {
    if (backup_.presence != Presence::Present) {
        // There is nothing to restore from: deleting the map would lose it for good.
        throw cRegistry::DeleteValueError(kRoot, kSection, kBackupName);
    }
    if (!backup_.Copyable())
        kSource.Raise(kErrBackupNotBinary, kBackupNotBinaryText);
    CheckUnchangedSinceStart();
    if (!backup_.bytes.empty()) {
        WriteValue(kMapName, backup_.bytes);
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
        kSource.Raise(5);
    newSettingString_ = std::move(*list);
}

void CScancodeMap::SaveNewSetting() {
    if (!MapIsReadable())
        kSource.Raise(kErrNotReadable, kNotReadableText);
    if (!mapWellFormed_)
        kSource.Raise(kErrMapNotWellFormed, "The stored Scancode Map is not well formed.");
    if (!MapText::IsEntryList(newSettingString_))
        kSource.Raise(5);
    // The backup is never rewritten; if the one found cannot be restored, changing the map
    // would leave no way back to it.
    if (backup_.presence == Presence::Present && !backup_.Copyable())
        kSource.Raise(kErrBackupNotBinary, kBackupNotBinaryText);
    CheckUnchangedSinceStart();
    BackupMap();
    WriteValue(kMapName, HexToBytes(MapText::MapHexFor(newSettingString_)));
}

std::int32_t CScancodeMap::GetCurrentKeySetting(const std::string& sCode) const {
    if (!mapWellFormed_)
        return -1;
    const auto entries = MapText::EntriesFor(currentSettingString_, sCode);
    if (entries.empty())
        return 1;
    const KeyOption* option =
        KeyCatalogue().ByCode(std::string_view(currentSettingString_).substr(entries.front(), 4));
    return option ? option->ID : -1;
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

void CScancodeMap::CheckUnchangedSinceStart() const {
    const StoredValue map = ReadValue(kMapName);
    const bool backupKnown = backup_.presence != Presence::Unknown;
    const StoredValue backup = backupKnown ? ReadValue(kBackupName) : StoredValue{};
    if (map_.presence == Presence::Unknown || map.presence == Presence::Unknown ||
        backup.presence == Presence::Unknown)
        kSource.Raise(kErrNotReadable, kNotReadableText);
    if (map != map_ || (backupKnown && backup != backup_))
        kSource.Raise(kErrChangedSinceStart,
                      "The stored Scancode Map or TVLN Backup changed since Tavelin read it.");
}

void CScancodeMap::BackupMap() {
    // The value read at creation counts too: a listing that failed halfway must not let the
    // backup of the original map be overwritten.
    if (backup_.presence == Presence::Present)
        return;
    if (backup_.presence == Presence::Unknown) {
        // Its read failed at creation: only a listing that works can tell that there is none.
        const std::optional<bool> listed = ListedBackup();
        if (!listed)
            kSource.Raise(kErrNotReadable, "Tavelin could not find out whether TVLN Backup "
                                           "exists; it does not write a backup that could "
                                           "replace it.");
        if (*listed)
            return;
    } else if (BackupMapExists()) {
        return;
    }
    // A map that could not be read, or is not binary, cannot be copied byte for byte.
    if (!map_.Copyable())
        kSource.Raise(kErrMapNotWellFormed, "The stored Scancode Map cannot be copied byte for "
                                            "byte; Tavelin does not back it up.");
    WriteValue(kBackupName, map_.bytes);
}
