// The program's model of the registry values "Scancode Map" and "TVLN Backup": read once at
// creation, builds and writes a new map with a backup of the map found, and restores that
// backup. What each key shows, whether it is locked and what a save writes is decided by CKeyRows
// (core/CKeyRows.h) on CurrentSettingString; the window and the command line go through it, and
// save and restore through CKeyEdit, which holds the writers' lock around them. The two members
// that work key by key (GetCurrentKeySetting, BuildNewSettingString) are thin callers of
// MMapText's one entry walk and decide no lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/MRestartState.h"
#include "registry/StoredValue.h"

class CScancodeMap {
  public:
    // SaveNewSetting refuses to rewrite a stored map that is not well formed.
    static constexpr std::int32_t kErrMapNotWellFormed = static_cast<std::int32_t>(0x80046A01u);
    // RestoreMap refuses a backup that is not a binary value: it cannot be put back byte for byte.
    static constexpr std::int32_t kErrBackupNotBinary = static_cast<std::int32_t>(0x80046A02u);
    // A refusal, not a failure: the map or the backup is no longer what this object read at
    // creation (another program, another administrator, a second Tavelin); nothing was written.
    static constexpr std::int32_t kErrChangedSinceStart = static_cast<std::int32_t>(0x80046A03u);
    // The map or the backup could not be read (again), so a write could overwrite what it did
    // not see; nothing was written.
    static constexpr std::int32_t kErrNotReadable = static_cast<std::int32_t>(0x80046A04u);

    CScancodeMap();

    // Entry list of the map as found (8 hex digits per entry, new code then old code).
    const std::string& CurrentSettingString() const { return currentSettingString_; }
    void SetCurrentSettingString(const std::string& s) { currentSettingString_ = s; }
    // Entry list that SaveNewSetting writes.
    const std::string& NewSettingString() const { return newSettingString_; }
    void SetNewSettingString(const std::string& s) { newSettingString_ = s; }

    // Writes the backup read at creation back as the map (or deletes the map when the backup
    // was empty; a map already missing is fine), then deletes the backup. Without a backup at
    // creation it raises the registry class's deletion error and leaves the map alone.
    void RestoreMap();
    // Sets the entry of key type idxKeyType in NewSettingString to catalogue option
    // idxKeyNewValue (MMapText::WithKeySetting); raises 5 for anything but a key type 0 to 2 and
    // a catalogue ID.
    void BuildNewSettingString(std::int32_t idxKeyType, std::int32_t idxKeyNewValue);
    // Backs up the map found (once), then writes NewSettingString as the map. Refuses, before
    // writing anything, when the stored map could not be read or is not well formed, when it or
    // the backup changed since creation (CheckUnchangedSinceStart), and when it cannot tell
    // whether a backup exists.
    void SaveNewSetting();
    // Reads the map and the backup again: raises kErrChangedSinceStart when either differs from
    // what was read at creation (presence, type or bytes), kErrNotReadable when one cannot be
    // read. A backup whose read failed at creation is left to BackupMap's listing.
    void CheckUnchangedSinceStart() const;
    // The catalogue ID that the first entry for sCode gives the key; 1 when the map has no
    // entry for it; -1 when its code is unknown to the catalogue (or the map is not well
    // formed). Says nothing about a lock: a code the key's list does not offer reads as its ID.
    std::int32_t GetCurrentKeySetting(const std::string& sCode) const;
    // Whether "TVLN Backup" exists now: the one answer for the window, the command line and a
    // restore. False when the listing fails.
    bool BackupMapExists() const;
    // Writes "TVLN Backup" unless a backup was found at creation or exists now.
    void BackupMap();

    // False when the stored map has the wrong type, length or count (or could not be read) and
    // must not be rewritten.
    bool MapIsWellFormed() const { return mapWellFormed_; }
    // False when the map's read failed at creation: what is stored is not known.
    bool MapIsReadable() const { return map_.presence != ValuePresence::Unreadable; }
    // The map and the backup as read at creation (any type with its bytes as stored).
    MRestartState::MapValue StoredMap() const { return AsMapValue(map_); }
    MRestartState::MapValue StoredBackup() const { return AsMapValue(backup_); }

  private:
    // A binary value, or none: what can be written back byte for byte.
    static bool Copyable(const StoredValue& value);
    // Whether the value listing holds "TVLN Backup"; nothing when the listing fails.
    static std::optional<bool> ListedBackup();
    static MRestartState::MapValue AsMapValue(const StoredValue& value);
    static std::vector<std::uint8_t> HexToBytes(const std::string& hex);

    std::string currentSettingString_;
    std::string newSettingString_;
    StoredValue map_;    // as read at creation
    StoredValue backup_; // as read at creation
    bool mapWellFormed_ = true;
};
