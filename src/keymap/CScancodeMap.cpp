#include "keymap/CScancodeMap.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "core/MKeys.h"
#include "core/MMapText.h"
#include "registry/CRegKey.h"
#include "registry/cRegistry.h"
#include "win32/ModuleSource.h"

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

StoredValue ReadValue(const char* valueName) {
    return CRegKey::Read(HKEY_LOCAL_MACHINE, kSection, valueName);
}

} // namespace

CScancodeMap::CScancodeMap() : map_(ReadValue(kMapName)), backup_(ReadValue(kBackupName)) {
    // A map that exists but could not be read must not be overwritten as if it were absent.
    mapWellFormed_ = map_.presence == ValuePresence::Missing ||
                     (map_.presence == ValuePresence::Present && map_.type == kBinary &&
                      MMapText::IsWellFormedMap(map_.bytes));
    if (mapWellFormed_)
        currentSettingString_ = MMapText::EntryListOf(MMapText::BytesToHex(map_.bytes));
}

bool CScancodeMap::Copyable(const StoredValue& value) {
    return value.presence == ValuePresence::Missing ||
           (value.presence == ValuePresence::Present && value.type == kBinary);
}

MRestartState::MapValue CScancodeMap::AsMapValue(const StoredValue& value) {
    using Kind = MRestartState::MapValue::Kind;
    switch (value.presence) {
    case ValuePresence::Missing:
        return {Kind::Missing, {}};
    case ValuePresence::Unreadable:
        return {Kind::Unreadable, {}};
    default:
        return {value.type == kBinary ? Kind::Binary : Kind::Other, value.bytes};
    }
}

std::vector<std::uint8_t> CScancodeMap::HexToBytes(const std::string& hex) {
    auto bytes = MMapText::HexToBytes(hex);
    if (!bytes)
        kSource.Raise(5);
    return *bytes;
}

void CScancodeMap::RestoreMap() {
    if (backup_.presence != ValuePresence::Present) {
        // There is nothing to restore from: deleting the map would lose it for good.
        throw cRegistry::DeleteValueError(kRoot, kSection, kBackupName);
    }
    if (!Copyable(backup_))
        kSource.Raise(kErrBackupNotBinary, kBackupNotBinaryText);
    CheckUnchangedSinceStart();
    if (!backup_.bytes.empty()) {
        WriteValue(kMapName, backup_.bytes);
    } else {
        try {
            DeleteValue(kMapName);
        } catch (const AppError&) {
            // No map is the state asked for; only a map still present is a failure.
            if (ReadValue(kMapName).presence != ValuePresence::Missing)
                throw;
        }
    }
    DeleteValue(kBackupName);
}

void CScancodeMap::BuildNewSettingString(std::int32_t idxKeyType, std::int32_t idxKeyNewValue) {
    auto list =
        MMapText::WithKeySetting(MKeys::Catalogue(), newSettingString_, idxKeyType, idxKeyNewValue);
    if (!list)
        kSource.Raise(5);
    newSettingString_ = std::move(*list);
}

void CScancodeMap::SaveNewSetting() {
    if (!MapIsReadable())
        kSource.Raise(kErrNotReadable, kNotReadableText);
    if (!mapWellFormed_)
        kSource.Raise(kErrMapNotWellFormed, "The stored Scancode Map is not well formed.");
    if (!MMapText::IsEntryList(newSettingString_))
        kSource.Raise(5);
    // The backup is never rewritten; if the one found cannot be restored, changing the map
    // would leave no way back to it.
    if (backup_.presence == ValuePresence::Present && !Copyable(backup_))
        kSource.Raise(kErrBackupNotBinary, kBackupNotBinaryText);
    CheckUnchangedSinceStart();
    BackupMap();
    WriteValue(kMapName, HexToBytes(MMapText::MapHexFor(newSettingString_)));
}

std::int32_t CScancodeMap::GetCurrentKeySetting(const std::string& sCode) const {
    if (!mapWellFormed_)
        return -1;
    const auto entries = MMapText::EntriesFor(currentSettingString_, sCode);
    if (entries.empty())
        return 1;
    const KeyOption* option = MKeys::Catalogue().ByCode(
        std::string_view(currentSettingString_).substr(entries.front(), 4));
    return option ? option->ID : -1;
}

std::optional<bool> CScancodeMap::ListedBackup() {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kSection, KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return std::nullopt;
    const auto names = key.ValueNames();
    if (!names)
        return std::nullopt;
    return std::ranges::find(*names, kBackupName) != names->end();
}

bool CScancodeMap::BackupMapExists() const {
    return ListedBackup().value_or(false);
}

void CScancodeMap::CheckUnchangedSinceStart() const {
    const StoredValue map = ReadValue(kMapName);
    const bool backupKnown = backup_.presence != ValuePresence::Unreadable;
    const StoredValue backup = backupKnown ? ReadValue(kBackupName) : StoredValue{};
    if (map_.presence == ValuePresence::Unreadable || map.presence == ValuePresence::Unreadable ||
        backup.presence == ValuePresence::Unreadable)
        kSource.Raise(kErrNotReadable, kNotReadableText);
    if (map != map_ || (backupKnown && backup != backup_))
        kSource.Raise(kErrChangedSinceStart,
                      "The stored Scancode Map or TVLN Backup changed since Tavelin read it.");
}

void CScancodeMap::BackupMap() {
    // The value read at creation counts too: a listing that failed halfway must not let the
    // backup of the original map be overwritten.
    if (backup_.presence == ValuePresence::Present)
        return;
    const std::optional<bool> listed = ListedBackup();
    // A read that failed at creation leaves only a listing that works to tell there is none.
    if (!listed && backup_.presence == ValuePresence::Unreadable)
        kSource.Raise(kErrNotReadable, "Tavelin could not find out whether TVLN Backup "
                                       "exists; it does not write a backup that could "
                                       "replace it.");
    if (listed.value_or(false))
        return;
    // A map that could not be read, or is not binary, cannot be copied byte for byte.
    if (!Copyable(map_))
        kSource.Raise(kErrMapNotWellFormed, "The stored Scancode Map cannot be copied byte for "
                                            "byte; Tavelin does not back it up.");
    WriteValue(kBackupName, map_.bytes);
}
