#include "keymap/MRestartRecord.h"

#include <cstring>
#include <vector>

#include "registry/CRegKey.h"
#include "win32/CAdminsOnly.h"

namespace MRestartRecord {

namespace {

using Kind = MRestartState::Record::Kind;
using Stamp = FILETIME;

// Windows makes this key anew at every start (the hardware description, a volatile hive), and
// Wine when a wineserver starts: its last write is the start, whatever the clock said before.
constexpr char kStartKey[] = "HARDWARE\\DESCRIPTION\\System";
constexpr char kLayoutKey[] = "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";

// The record's values. Started goes last: a record without it was not finished.
constexpr char kStarted[] = "Started";  // binary: kStartKey's last write at the record's start
constexpr char kKnown[] = "Known";      // number: 1 when what was in effect is known
constexpr char kMap[] = "Scancode Map"; // binary: the map in effect; none when there was none
constexpr char kProbe[] = "Probe";

// A key's last write; ERROR_FILE_NOT_FOUND for a key that is not there.
struct LastWrite {
    LONG status;
    Stamp time;
};
LastWrite LastWriteOf(const char* path) {
    LastWrite last{ERROR_SUCCESS, {}};
    CRegKey key;
    last.status = key.Open(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE);
    if (last.status == ERROR_SUCCESS)
        last.status = key.LastWrite(last.time);
    return last;
}

std::optional<Stamp> StartTime() {
    const LastWrite start = LastWriteOf(kStartKey);
    return start.status == ERROR_SUCCESS ? std::optional(start.time) : std::nullopt;
}

// Whether anyone wrote the keyboard layout key after the start: nothing when it cannot be told.
// A key that is not there has not been written.
std::optional<bool> WrittenSinceStart(const std::optional<Stamp>& start) {
    const LastWrite layout = LastWriteOf(kLayoutKey);
    if (layout.status == ERROR_FILE_NOT_FOUND)
        return false;
    if (!start || layout.status != ERROR_SUCCESS)
        return std::nullopt;
    const auto ticks = [](const Stamp& t) {
        return static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
    };
    return ticks(layout.time) > ticks(*start);
}

bool OwnedByAdministrators(const CRegKey& key) {
    std::vector<BYTE> descriptor;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    return key.Security(OWNER_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS &&
           ::GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted) &&
           AdminsAndSystem().Trusted(owner);
}

// A volatile key refuses a stable subkey: then nothing is made. A stable key someone made takes
// it, and it goes again at once.
bool IsVolatile(const CRegKey& key) {
    CRegKey probe;
    DWORD disposition = 0;
    const LONG rc = probe.Create(key.Get(), kProbe, REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE,
                                 nullptr, &disposition);
    if (rc == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
        probe.Close();
        key.DeleteSubKey(kProbe);
    }
    return rc == ERROR_CHILD_MUST_BE_VOLATILE;
}

MRestartState::Record ReadRecord(const std::optional<Stamp>& start) {
    CRegKey key;
    const LONG rc =
        key.Open(HKEY_LOCAL_MACHINE, kKey, KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY | READ_CONTROL);
    if (rc == ERROR_FILE_NOT_FOUND)
        return {Kind::None, {}};
    const MRestartState::Record notTrusted{Kind::NotTrusted, {}};
    if (rc != ERROR_SUCCESS || !start || !OwnedByAdministrators(key) || !IsVolatile(key))
        return notTrusted;
    // A record of another start (a stable key made by someone and kept) does not count.
    const StoredValue started = key.Read(kStarted);
    if (started.presence != ValuePresence::Present || started.type != REG_BINARY ||
        started.bytes.size() != sizeof(Stamp) ||
        std::memcmp(started.bytes.data(), &*start, sizeof(Stamp)) != 0)
        return notTrusted;
    const StoredValue known = key.Read(kKnown);
    DWORD knownNumber = 2;
    if (known.presence == ValuePresence::Present && known.type == REG_DWORD &&
        known.bytes.size() == 4)
        std::memcpy(&knownNumber, known.bytes.data(), 4);
    const StoredValue map = key.Read(kMap);
    const bool noMap = map.presence == ValuePresence::Missing;
    const bool binaryMap = map.presence == ValuePresence::Present && map.type == REG_BINARY;
    if (knownNumber == 1 && (noMap || binaryMap))
        return {
            Kind::Known,
            {noMap ? MRestartState::MapValue::Kind::Missing : MRestartState::MapValue::Kind::Binary,
             map.bytes}};
    if (knownNumber == 0)
        return {Kind::NotKnown, {}};
    return notTrusted;
}

} // namespace

MRestartState::State StateOf(const MRestartState::MapValue& stored) {
    const std::optional<Stamp> start = StartTime();
    return MRestartState::StateOf(ReadRecord(start), stored, WrittenSinceStart(start));
}

void BeforeWrite(const MRestartState::MapValue& stored) {
    const std::optional<Stamp> start = StartTime();
    // Owner Administrators; Administrators and SYSTEM may do anything, no one else anything,
    // nothing taken over from the key above.
    CAdminsOnly access(KEY_ALL_ACCESS);
    if (access.Error())
        return;
    CRegKey key;
    DWORD disposition = 0;
    // Made only once per start: a record that exists is this start's first write's, or not
    // Tavelin's, and is left as it is.
    if (key.Create(HKEY_LOCAL_MACHINE, kKey, REG_OPTION_VOLATILE, KEY_SET_VALUE,
                   access.Attributes(), &disposition) != ERROR_SUCCESS ||
        disposition != REG_CREATED_NEW_KEY)
        return;
    const auto inEffect = MRestartState::InEffectBeforeFirstWrite(stored, WrittenSinceStart(start));
    const bool hasMap = inEffect && inEffect->kind == MRestartState::MapValue::Kind::Binary;
    const DWORD known = inEffect ? 1 : 0;
    // Each value only after the one before it: a record cut short is not trusted.
    if (hasMap && key.Write(kMap, REG_BINARY, inEffect->bytes.data(), inEffect->bytes.size()) !=
                      ERROR_SUCCESS)
        return;
    if (key.Write(kKnown, REG_DWORD, &known, sizeof known) != ERROR_SUCCESS || !start)
        return;
    key.Write(kStarted, REG_BINARY, &*start, sizeof(Stamp));
}

} // namespace MRestartRecord
