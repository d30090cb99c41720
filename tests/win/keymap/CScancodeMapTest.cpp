#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <functional>

#include "keymap/CScancodeMap.h"
#include "win32/Fatal.h"
#include "core/KeyCatalogue.h"
#include "core/MapText.h"
#include "registry/RegistryApi.h"

using namespace std::string_literals;

namespace {

constexpr char kLayout[] = "System\\CurrentControlSet\\Control\\Keyboard Layout";
constexpr char kMap[] = "Scancode Map", kBackup[] = "TVLN Backup";
const std::string kNone = "none";
using Error = std::tuple<std::int32_t, std::string, std::string>;

// A stored map: version and flags 0, the count field and entries given, the terminator.
std::string Map(const std::string& count, const std::string& entries = "") {
    return "0000000000000000" + count + entries + "00000000";
}
const std::string kMapA = Map("02000000", "2A003A00"); // CapsLock sends left shift

// Stores a value with the real registry functions, never through the seam; "none" removes it.
void Put(const char* name, const std::string& hex, DWORD type = REG_BINARY) {
    const auto bytes = MapText::HexToBytes(hex == kNone ? "" : hex).value();
    hex == kNone ? SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, name)
                 : SHSetValueA(HKEY_LOCAL_MACHINE, kLayout, name, type, bytes.data(), bytes.size());
}

// The value as hex text ("none" when missing), prefixed with its type unless binary.
std::string Get(const char* name) {
    std::vector<std::uint8_t> bytes(8192);
    DWORD type = 0, size = 8192;
    if (SHGetValueA(HKEY_LOCAL_MACHINE, kLayout, name, &type, bytes.data(), &size))
        return kNone;
    return (type == REG_BINARY ? "" : std::to_string(type) + ":") +
           MapText::BytesToHex({bytes.data(), size});
}

std::vector<std::int32_t> Readout(const CScancodeMap& m) {
    return {m.GetCurrentKeySetting("3A00"), m.GetCurrentKeySetting("52E0"),
            m.GetCurrentKeySetting("4600")};
}

// Sets one key (by default CapsLock to left shift) on top of the map found, then saves.
void Save(CScancodeMap& m, std::int32_t key = kCapsLock, std::int32_t option = 7) {
    m.SetNewSettingString(m.CurrentSettingString());
    m.BuildNewSettingString(key, option);
    m.SaveNewSetting();
}

// Number, source and text of the error f raises; number 0 when it raises none.
Error ErrorOf(const std::function<void()>& f) try {
    return f(), Error{};
} catch (const AppError& e) {
    return {e.Number(), e.Source(), DisplayText(e)};
}

struct ScancodeMapTest : ::testing::Test {
    void SetUp() override { TearDown(); }
    void TearDown() override { Put(kMap, kNone), Put(kBackup, kNone); }
};

RegistryApi g_real;
int g_calls = 0, g_failAt = 0; // 0: count only

template <auto Member> struct Counted {
    template <typename... A> static LONG WINAPI Call(A... a) {
        return ++g_calls == g_failAt ? ERROR_ACCESS_DENIED : (g_real.*Member)(a...);
    }
};

using State = std::pair<std::string, std::string>; // map and backup as Get gives them

// Runs the operation on a map read with the real functions; the calls it makes are counted and
// call number failAt fails.
std::pair<Error, State> Attempt(const State& before, void (*operation)(CScancodeMap&), int failAt) {
    Put(kMap, before.first), Put(kBackup, before.second);
    CScancodeMap m;
    g_calls = 0, g_failAt = failAt;
#define C(f) Counted<&RegistryApi::f>::Call
    SetRegistryApi({C(OpenKeyEx), C(CreateKeyEx), C(CloseKey), C(QueryValueEx), C(SetValueEx),
                    C(DeleteKey), C(DeleteValue), C(EnumKey), C(EnumValue), C(QueryInfoKey),
                    C(ConnectRegistry)});
#undef C
    const auto error = ErrorOf([&] { operation(m); });
    SetRegistryApi(g_real);
    return {error, {Get(kMap), Get(kBackup)}};
}

} // namespace

// Maps Windows would ignore (wrong type or count) lock all three keys.
TEST_F(ScancodeMapTest, ReadoutOfStoredMaps) {
    const std::tuple<std::string, DWORD, std::string, std::vector<std::int32_t>> cases[] = {
        {kNone, REG_BINARY, "", {1, 1, 1}},
        {"", REG_BINARY, "", {1, 1, 1}},
        {Map("01000000"), REG_BINARY, "", {1, 1, 1}},
        {kMapA, REG_BINARY, "2A003A00", {7, 1, 1}},
        {Map("03000000", "1D003A002A004600"), REG_BINARY, "1D003A002A004600", {-1, 1, 7}},
        {Map("01000000", "2A003A00"), REG_BINARY, "", {-1, -1, -1}},
        {kMapA + "00", REG_BINARY, "", {-1, -1, -1}},
        {"01000000" + kMapA.substr(8), REG_BINARY, "", {-1, -1, -1}}, // version set
        {kMapA, REG_NONE, "", {-1, -1, -1}},
    };
    for (const auto& [hex, type, entries, settings] : cases) {
        Put(kMap, hex, type);
        CScancodeMap m;
        EXPECT_EQ(m.CurrentSettingString(), entries) << hex;
        EXPECT_EQ(Readout(m), settings) << hex;
        EXPECT_EQ(m.MapIsWellFormed(), settings[1] != -1) << hex;
    }
}

// A map that is not well formed is refused before anything is written; it is still backed up
// and restored byte for byte.
TEST_F(ScancodeMapTest, MalformedMapIsNeverRewritten) {
    const std::string hidden = Map("01000000", "00004600"); // count 1 hides it
    Put(kMap, hidden);
    CScancodeMap m;
    EXPECT_TRUE(m.KeyNeedsLock(kCapsLock) && m.KeyNeedsLock(kInsert));
    EXPECT_EQ(ErrorOf([&] { Save(m); }),
              Error(CScancodeMap::kErrMapNotWellFormed, ExeName() + ".CScancodeMap",
                    "The stored Scancode Map is not well formed; Tavelin does not rewrite it."));
    m.BackupMap();
    EXPECT_EQ(std::make_pair(Get(kMap), Get(kBackup)), std::make_pair(hidden, hidden));
    Put(kMap, kMapA);
    CScancodeMap().RestoreMap();
    EXPECT_EQ(std::make_pair(Get(kMap), Get(kBackup)), std::make_pair(hidden, kNone));
}

TEST_F(ScancodeMapTest, FirstSaveBacksUpTheMapOnceAndRestorePutsItBack) {
    const std::string foreign = Map("02000000", "1D003800"); // another key's entry
    Put(kMap, foreign);
    CScancodeMap first;
    Save(first, kInsert, 9);
    EXPECT_EQ(Get(kMap), Map("03000000", "1D00380021E052E0"));
    EXPECT_EQ(Get(kBackup), foreign);
    EXPECT_EQ(std::get<0>(ErrorOf([&] { first.BuildNewSettingString(3, 0); })), 5); // not a key
    CScancodeMap second; // a later run: its save keeps the first backup
    EXPECT_TRUE(second.BackupMapExists());
    second.SetNewSettingString("");
    second.SaveNewSetting();
    EXPECT_EQ(std::make_pair(Get(kMap), Get(kBackup)), std::make_pair(""s, foreign));
    CScancodeMap().RestoreMap();
    EXPECT_EQ(std::make_pair(Get(kMap), Get(kBackup)), std::make_pair(foreign, kNone));
}

// 255 entries and more: the count is a full 32-bit number.
TEST_F(ScancodeMapTest, CrowdedMapKeepsAllEntries) {
    std::string entries;
    for (int i = 0; i < 300; ++i)
        entries += "1D003800";
    Put(kMap, Map("2D010000", entries));
    CScancodeMap m;
    Save(m);
    EXPECT_EQ(Get(kMap), Map("2E010000", entries + "2A003A00"));
}

// An empty backup means "no map", reached also when the map is already gone. Without a backup,
// or with one that is not binary, the map stays.
TEST_F(ScancodeMapTest, Restore) {
    const Error noBackup{26001, ExeName() + ".cRegistry",
                         "Failed to delete registry Key: '-2147483646',Section: '"s + kLayout +
                             "\\',Key: 'TVLN Backup"},
        notBinary{CScancodeMap::kErrBackupNotBinary, ExeName() + ".CScancodeMap",
                  "The stored TVLN Backup is not a binary value; Tavelin does not restore it."};
    const std::tuple<std::string, std::string, DWORD, std::string, Error> cases[] = {
        {kNone, "", REG_BINARY, kNone, {}},
        {kMapA, "", REG_BINARY, kNone, {}},
        {kMapA, kNone, REG_BINARY, kMapA, noBackup},
        {"", "414200", REG_SZ, "", notBinary},
    };
    for (const auto& [map, backup, type, after, error] : cases) {
        Put(kMap, map), Put(kBackup, backup, type);
        const std::string storedBackup = Get(kBackup);
        CScancodeMap m;
        EXPECT_EQ(ErrorOf([&] { m.RestoreMap(); }), error) << map << " " << backup;
        EXPECT_EQ(Get(kMap), after);
        EXPECT_EQ(Get(kBackup), std::get<0>(error) ? storedBackup : kNone);
    }
    // A backup that could not be restored must not be left as the only way back: no save then.
    CScancodeMap m;
    EXPECT_EQ(std::get<0>(ErrorOf([&] { Save(m); })), CScancodeMap::kErrBackupNotBinary);
    EXPECT_EQ(std::make_pair(Get(kMap), Get(kBackup)), std::make_pair(""s, "1:414200"s));
}

// Entries the key's list cannot show are reported, locked, and written back unchanged.
TEST_F(ScancodeMapTest, EntriesTheListsCannotShowSurviveASave) {
    const std::string odd = "00004600"s + "52E03A00" + "3A004600"; // off, Insert, CapsLock
    Put(kMap, Map("04000000", odd));
    CScancodeMap m;
    EXPECT_EQ(Readout(m), (std::vector{1, 1, 3}));
    EXPECT_EQ((std::vector{m.CurrentEntryFor("3A00"), m.CurrentEntryFor("52E0"),
                           m.CurrentEntryFor("4600")}),
              (std::vector<std::optional<std::string>>{"52E0", std::nullopt, "0000"}));
    EXPECT_EQ((std::vector{m.KeyNeedsLock(kCapsLock), m.KeyNeedsLock(kInsert),
                           m.KeyNeedsLock(kScrollLock)}),
              (std::vector{true, false, true}));
    Save(m, kInsert, 4); // only Insert's list is open
    EXPECT_EQ(Get(kMap), Map("05000000", odd + "5DE052E0"));
}

// The registry finds value names in any case, the program compares them exactly: a value that
// answers to the backup's name is never overwritten.
TEST_F(ScancodeMapTest, BackupNamedInOtherCaseIsNotOfferedNorOverwritten) {
    Put("tvln backup", "00");
    CScancodeMap m;
    EXPECT_FALSE(m.BackupMapExists());
    Save(m);
    EXPECT_EQ(Get(kBackup), "00");
}

// Another program (or a second Tavelin) changes the map or the backup after this object read
// them: a save or a restore writes nothing and says so with its own number. Changes are given as
// hex and type; "none" removes the value.
TEST_F(ScancodeMapTest, ChangedBehindItsBackNothingIsWritten) {
    const std::string ctrl = Map("02000000", "1D003800"), tab = Map("02000000", "0F003A00");
    const Error changed{CScancodeMap::kErrChangedSinceStart, ExeName() + ".CScancodeMap",
                        "The keyboard map was changed by another program since Tavelin started. "
                        "Nothing was saved."};
    using Op = void (*)(CScancodeMap&);
    const Op SaveCapsLock = [](CScancodeMap& m) { Save(m); };
    const Op Restore = [](CScancodeMap& m) { m.RestoreMap(); };
    const std::tuple<const char*, State, const char*, std::string, DWORD, Op> cases[] = {
        {"map changed", {ctrl, kNone}, kMap, tab, REG_BINARY, SaveCapsLock},
        {"map appeared", {kNone, kNone}, kMap, ctrl, REG_BINARY, SaveCapsLock},
        {"map removed", {ctrl, ctrl}, kMap, kNone, REG_BINARY, SaveCapsLock},
        {"map now text", {"", kNone}, kMap, "", REG_SZ, SaveCapsLock},
        {"backup appeared", {ctrl, kNone}, kBackup, "", REG_BINARY, SaveCapsLock},
        {"backup removed", {tab, ctrl}, kBackup, kNone, REG_BINARY, SaveCapsLock},
        {"map changed", {tab, ctrl}, kMap, kMapA, REG_BINARY, Restore},
        {"map removed", {tab, ""}, kMap, kNone, REG_BINARY, Restore},
        {"backup changed", {tab, ctrl}, kBackup, kMapA, REG_BINARY, Restore},
    };
    for (const auto& [name, before, value, hex, type, operation] : cases) {
        Put(kMap, before.first), Put(kBackup, before.second);
        CScancodeMap m;
        Put(value, hex, type);
        const State now{Get(kMap), Get(kBackup)};
        EXPECT_EQ(ErrorOf([&] { operation(m); }), changed) << name;
        EXPECT_EQ(State(Get(kMap), Get(kBackup)), now) << name;
    }
}

LONG WINAPI DenyBackupQuery(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                            LPDWORD size) {
    return name == "TVLN Backup"s ? ERROR_ACCESS_DENIED
                                  : RegQueryValueExA(key, name, reserved, type, data, size);
}
LONG WINAPI DenyEnumValue(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}

// The backup cannot be read: a save relies on the value listing to learn whether one exists, and
// writes nothing when the listing fails too, rather than a new backup over the original.
TEST_F(ScancodeMapTest, BackupOfUnknownPresenceIsNeverOverwritten) {
    const std::string ctrl = Map("02000000", "1D003800");
    for (const bool listingFails : {true, false}) {
        Put(kMap, ctrl), Put(kBackup, kMapA);
        RegistryApi api = RealRegistryApi();
        api.QueryValueEx = &DenyBackupQuery;
        if (listingFails)
            api.EnumValue = &DenyEnumValue;
        SetRegistryApi(api);
        CScancodeMap m;
        const Error error = ErrorOf([&] { Save(m); });
        SetRegistryApi(RealRegistryApi());
        EXPECT_EQ(std::get<0>(error), listingFails ? CScancodeMap::kErrNotReadable : 0);
        EXPECT_EQ(State(Get(kMap), Get(kBackup)),
                  State(listingFails ? ctrl : Map("03000000", "1D0038002A003A00"), kMapA));
    }
}

// Each registry call of a save or a restore fails in turn (the seam denies access). Whatever
// fails, the registry holds the state before, an allowed state in between, or the complete new
// state; a failure that leaves the new state unreached reaches the caller with number and text.
TEST_F(ScancodeMapTest, EveryFailingCallLeavesAWholeState) {
    const std::string both = Map("03000000", "1D0038002A003A00"), tab = Map("02000000", "0F003A00"),
                      ctrl = Map("02000000", "1D003800");
    using Op = void (*)(CScancodeMap&);
    const Op SaveCapsLock = [](CScancodeMap& m) { Save(m); };
    const Op Restore = [](CScancodeMap& m) { m.RestoreMap(); };
    const std::tuple<const char*, State, Op, std::vector<State>> scenarios[] = {
        {"first save", {ctrl, kNone}, SaveCapsLock, {{ctrl, kNone}, {ctrl, ctrl}, {both, ctrl}}},
        {"first, no map", {kNone, kNone}, SaveCapsLock, {{kNone, kNone}, {kNone, ""}, {kMapA, ""}}},
        {"second save", {tab, ctrl}, SaveCapsLock, {{tab, ctrl}, {kMapA, ctrl}}},
        {"restore", {both, ctrl}, Restore, {{both, ctrl}, {ctrl, ctrl}, {ctrl, kNone}}},
        {"restore empty", {both, ""}, Restore, {{both, ""}, {kNone, ""}, {kNone, kNone}}},
        {"restore empty, no map", {kNone, ""}, Restore, {{kNone, ""}, {kNone, kNone}}},
    };
    g_real = RealRegistryApi();
    for (const auto& [name, before, operation, allowed] : scenarios) {
        ASSERT_EQ(Attempt(before, operation, 0), std::pair(Error{}, allowed.back())) << name;
        ASSERT_GT(g_calls, 2) << name;
        for (int k = 1, total = g_calls; k <= total; ++k) {
            const auto [error, after] = Attempt(before, operation, k);
            const auto where = name + ", failing call "s + std::to_string(k);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), after), allowed.end()) << where;
            if (std::get<0>(error) != 0)
                EXPECT_FALSE(std::get<2>(error).empty()) << where;
            else
                EXPECT_EQ(after, allowed.back()) << where << ": failure reported as success";
        }
    }
}
