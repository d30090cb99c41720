#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <functional>

#include "AppError.h"
#include "CScancodeMap.h"
#include "Fatal.h"
#include "KeyCatalogue.h"
#include "MapText.h"
#include "RegistryApi.h"

using namespace std::string_literals;

namespace {

constexpr char kLayout[] = "System\\CurrentControlSet\\Control\\Keyboard Layout";
constexpr char kMap[] = "Scancode Map", kBackup[] = "TVLN Backup";
const std::string kNone = "none", kHeader = "0000000000000000", kEnd = "00000000";
const std::string kMapA = kHeader + "02000000" + "2A003A00" + kEnd; // CapsLock sends left shift

// Stores a value with the real registry functions, never through the seam; "none" removes it.
void Put(const char* name, const std::string& hex, DWORD type = REG_BINARY) {
    const auto bytes = MapText::HexToBytes(hex == kNone ? "" : hex).value();
    if (hex == kNone)
        SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, name);
    else
        SHSetValueA(HKEY_LOCAL_MACHINE, kLayout, name, type, bytes.data(), bytes.size());
}

// The value as hex text ("none" when missing), prefixed with its type unless binary.
std::string Get(const char* name) {
    std::vector<std::uint8_t> bytes(8192);
    DWORD type = 0, size = 8192;
    if (SHGetValueA(HKEY_LOCAL_MACHINE, kLayout, name, &type, bytes.data(), &size))
        return kNone;
    bytes.resize(size);
    return (type == REG_BINARY ? "" : std::to_string(type) + ":") + MapText::BytesToHex(bytes);
}

std::vector<std::int32_t> Readout(const CScancodeMap& m) {
    return {m.GetCurrentKeySetting("3A00"), m.GetCurrentKeySetting("52E0"),
            m.GetCurrentKeySetting("4600")};
}

// Sets CapsLock to left shift on top of the map found, then saves.
void SaveCapsLock(CScancodeMap& m) {
    m.SetNewSettingString(m.CurrentSettingString());
    m.BuildNewSettingString(kCapsLock, 7);
    m.SaveNewSetting();
}

// Number, source and text of the error f raises; number 0 when it raises none.
std::tuple<std::int32_t, std::string, std::string> ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const AppError& e) {
        return {e.Number(), e.Source(), DisplayText(e)};
    }
    return {0, "", ""};
}

struct ScancodeMapTest : ::testing::Test {
    void SetUp() override { TearDown(); }
    void TearDown() override { Put(kMap, kNone), Put(kBackup, kNone); }
};

} // namespace

// Maps Windows would ignore (wrong type or count) lock all three keys.
TEST_F(ScancodeMapTest, ReadoutOfStoredMaps) {
    const std::tuple<std::string, DWORD, std::string, std::vector<std::int32_t>> cases[] = {
        {kNone, REG_BINARY, "", {1, 1, 1}},
        {"", REG_BINARY, "", {1, 1, 1}},
        {kHeader + "01000000" + kEnd, REG_BINARY, "", {1, 1, 1}},
        {kMapA, REG_BINARY, "2A003A00", {7, 1, 1}},
        {kHeader + "03000000" + "1D003A002A004600" + kEnd,
         REG_BINARY,
         "1D003A002A004600",
         {-1, 1, 7}},
        {kHeader + "01000000" + "2A003A00" + kEnd, REG_BINARY, "", {-1, -1, -1}},
        {kMapA + "00", REG_BINARY, "", {-1, -1, -1}},
        {"01000000" + kMapA.substr(8), REG_BINARY, "", {-1, -1, -1}}, // version set
        {kMapA, REG_NONE, "", {-1, -1, -1}},
        {"414243", REG_SZ, "", {-1, -1, -1}},
        {"01000000", REG_DWORD, "", {-1, -1, -1}},
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
    const std::string hidden = kHeader + "01000000" + "00004600" + kEnd; // count 1 hides it
    Put(kMap, hidden);
    CScancodeMap m;
    EXPECT_TRUE(m.KeyNeedsLock(kCapsLock) && m.KeyNeedsLock(kInsert));
    EXPECT_EQ(ErrorOf([&] { SaveCapsLock(m); }),
              std::make_tuple(CScancodeMap::kErrMapNotWellFormed, ExeName() + ".CScancodeMap",
                              "The stored Scancode Map is not well formed; Tavelin does not "
                              "rewrite it."s));
    m.BackupMap();
    EXPECT_EQ(std::make_pair(Get(kMap), Get(kBackup)), std::make_pair(hidden, hidden));
    Put(kMap, kMapA);
    CScancodeMap().RestoreMap();
    EXPECT_EQ(std::make_pair(Get(kMap), Get(kBackup)), std::make_pair(hidden, kNone));
}

TEST_F(ScancodeMapTest, FirstSaveBacksUpTheMapOnceAndRestorePutsItBack) {
    const std::string foreign = kHeader + "02000000" + "1D003800" + kEnd; // another key's entry
    Put(kMap, foreign);
    CScancodeMap first;
    first.SetNewSettingString(first.CurrentSettingString());
    first.BuildNewSettingString(kInsert, 9);
    first.SaveNewSetting();
    EXPECT_EQ(Get(kMap), kHeader + "03000000" + "1D00380021E052E0" + kEnd);
    EXPECT_EQ(Get(kBackup), foreign);
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
    Put(kMap, kHeader + "2D010000" + entries + kEnd);
    CScancodeMap m;
    SaveCapsLock(m);
    EXPECT_EQ(Get(kMap), kHeader + "2E010000" + entries + "2A003A00" + kEnd);
}

// An empty backup means "no map", reached also when the map is already gone. Without a backup,
// or with one that is not binary, the map stays.
TEST_F(ScancodeMapTest, Restore) {
    const std::string noBackup = "Failed to delete registry Key: '-2147483646',Section: '"s +
                                 kLayout + "\\',Key: 'TVLN Backup";
    const std::tuple<std::string, std::string, DWORD, std::string,
                     std::tuple<std::int32_t, std::string, std::string>>
        cases[] = {
            {kNone, "", REG_BINARY, kNone, {0, "", ""}},
            {kMapA, "", REG_BINARY, kNone, {0, "", ""}},
            {kMapA, kNone, REG_BINARY, kMapA, {26001, ExeName() + ".cRegistry", noBackup}},
            {"",
             "414200",
             REG_SZ,
             "",
             {CScancodeMap::kErrBackupNotBinary, ExeName() + ".CScancodeMap",
              "The stored TVLN Backup is not a binary value; Tavelin does not restore it."}},
        };
    for (const auto& [map, backup, type, after, error] : cases) {
        Put(kMap, map), Put(kBackup, backup, type);
        const std::string storedBackup = Get(kBackup);
        CScancodeMap m;
        EXPECT_EQ(ErrorOf([&] { m.RestoreMap(); }), error) << map << " " << backup;
        EXPECT_EQ(Get(kMap), after);
        EXPECT_EQ(Get(kBackup), std::get<0>(error) ? storedBackup : kNone);
    }
}

// A backup that could not be restored must not be left as the only way back: no save then.
TEST_F(ScancodeMapTest, SaveRefusedWhileTheBackupIsNotBinary) {
    Put(kMap, kMapA), Put(kBackup, "414200", REG_SZ);
    CScancodeMap m;
    EXPECT_EQ(std::get<0>(ErrorOf([&] { SaveCapsLock(m); })), CScancodeMap::kErrBackupNotBinary);
    EXPECT_EQ(std::make_pair(Get(kMap), Get(kBackup)), std::make_pair(kMapA, "1:414200"s));
}

// Entries the key's list cannot show are reported, locked, and written back unchanged.
TEST_F(ScancodeMapTest, EntriesTheListsCannotShowSurviveASave) {
    const std::string odd = "00004600"s + "52E03A00" + "3A004600"; // off, Insert, CapsLock
    Put(kMap, kHeader + "04000000" + odd + kEnd);
    CScancodeMap m;
    EXPECT_EQ(Readout(m), (std::vector{1, 1, 3}));
    EXPECT_EQ((std::vector{m.CurrentEntryFor("3A00"), m.CurrentEntryFor("52E0"),
                           m.CurrentEntryFor("4600")}),
              (std::vector<std::optional<std::string>>{"52E0", std::nullopt, "0000"}));
    EXPECT_EQ((std::vector{m.KeyNeedsLock(kCapsLock), m.KeyNeedsLock(kInsert),
                           m.KeyNeedsLock(kScrollLock)}),
              (std::vector{true, false, true}));
    m.SetNewSettingString(m.CurrentSettingString());
    m.BuildNewSettingString(kInsert, 4); // only Insert's list is open
    m.SaveNewSetting();
    EXPECT_EQ(Get(kMap), kHeader + "05000000" + odd + "5DE052E0" + kEnd);
}

// The registry finds value names in any case, the program compares them exactly: a value that
// answers to the backup's name is never overwritten.
TEST_F(ScancodeMapTest, BackupNamedInOtherCaseIsNotOfferedNorOverwritten) {
    Put("tvln backup", "00");
    CScancodeMap m;
    EXPECT_FALSE(m.BackupMapExists());
    SaveCapsLock(m);
    EXPECT_EQ(Get(kBackup), "00");
}

// Each registry call of a save or a restore fails in turn (the seam denies access). Whatever
// fails, the registry holds the state before, an allowed state in between, or the complete new
// state; a failure that leaves the new state unreached reaches the caller with number and text.
namespace {

RegistryApi g_real;
int g_calls = 0, g_failAt = 0; // 0: count only

template <auto Member, typename F = std::remove_cvref_t<decltype(RegistryApi{}.*Member)>>
struct Counted;
template <auto Member, typename R, typename... A> struct Counted<Member, R(WINAPI*)(A...)> {
    static R WINAPI Call(A... a) {
        return ++g_calls == g_failAt ? ERROR_ACCESS_DENIED : (g_real.*Member)(a...);
    }
};

// Map and backup as Get gives them.
using State = std::pair<std::string, std::string>;

// Runs the operation on a map read with the real functions; the calls it makes are counted and
// call number failAt fails.
std::pair<std::tuple<std::int32_t, std::string, std::string>, State>
Attempt(const State& before, void (*operation)(CScancodeMap&), int failAt) {
    Put(kMap, before.first), Put(kBackup, before.second);
    CScancodeMap m;
    g_calls = 0, g_failAt = failAt;
    SetRegistryApi(RegistryApi{
        Counted<&RegistryApi::OpenKeyEx>::Call, Counted<&RegistryApi::CreateKeyEx>::Call,
        Counted<&RegistryApi::CloseKey>::Call, Counted<&RegistryApi::QueryValueEx>::Call,
        Counted<&RegistryApi::SetValueEx>::Call, Counted<&RegistryApi::DeleteKey>::Call,
        Counted<&RegistryApi::DeleteValue>::Call, Counted<&RegistryApi::EnumKey>::Call,
        Counted<&RegistryApi::EnumValue>::Call, Counted<&RegistryApi::QueryInfoKey>::Call,
        Counted<&RegistryApi::ConnectRegistry>::Call});
    const auto error = ErrorOf([&] { operation(m); });
    SetRegistryApi(g_real);
    return {error, {Get(kMap), Get(kBackup)}};
}

void Restore(CScancodeMap& m) {
    m.RestoreMap();
}

} // namespace

TEST_F(ScancodeMapTest, EveryFailingCallLeavesAWholeState) {
    const std::string both = kHeader + "03000000" + "1D003800" + "2A003A00" + kEnd;
    const std::string tab = kHeader + "02000000" + "0F003A00" + kEnd;
    const std::string ctrl = kHeader + "02000000" + "1D003800" + kEnd;
    using Op = void (*)(CScancodeMap&);
    const std::tuple<const char*, State, Op, std::vector<State>> scenarios[] = {
        {"first save", {ctrl, kNone}, SaveCapsLock, {{ctrl, kNone}, {ctrl, ctrl}, {both, ctrl}}},
        {"first save, no map",
         {kNone, kNone},
         SaveCapsLock,
         {{kNone, kNone}, {kNone, ""}, {kMapA, ""}}},
        {"second save", {tab, ctrl}, SaveCapsLock, {{tab, ctrl}, {kMapA, ctrl}}},
        {"restore", {both, ctrl}, Restore, {{both, ctrl}, {ctrl, ctrl}, {ctrl, kNone}}},
        {"restore empty", {both, ""}, Restore, {{both, ""}, {kNone, ""}, {kNone, kNone}}},
        {"restore empty, no map", {kNone, ""}, Restore, {{kNone, ""}, {kNone, kNone}}},
    };
    g_real = RealRegistryApi();
    for (const auto& [name, before, operation, allowed] : scenarios) {
        const auto [fullError, fullAfter] = Attempt(before, operation, 0);
        ASSERT_EQ(std::get<0>(fullError), 0) << name << ": " << std::get<2>(fullError);
        ASSERT_EQ(fullAfter, allowed.back()) << name;
        const int total = g_calls;
        ASSERT_GT(total, 2) << name;
        int errors = 0;
        for (int k = 1; k <= total; ++k) {
            const auto [error, after] = Attempt(before, operation, k);
            const auto where = name + ", failing call "s + std::to_string(k);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), after), allowed.end()) << where;
            errors += std::get<0>(error) != 0;
            if (std::get<0>(error) != 0)
                EXPECT_FALSE(std::get<2>(error).empty()) << where;
            else
                EXPECT_EQ(after, allowed.back()) << where << ": failure reported as success";
        }
        EXPECT_GT(errors, 0) << name;
    }
}
