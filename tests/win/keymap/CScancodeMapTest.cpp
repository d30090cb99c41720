#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "core/AppError.h"
#include "core/MKeys.h"
#include "core/MMapText.h"
#include "keymap/CKeyEdit.h"
#include "keymap/CScancodeMap.h"
#include "registry/RegistryApi.h"
#include "win32/Seam.h"

using namespace std::string_literals;

namespace {

constexpr char kLayout[] = "System\\CurrentControlSet\\Control\\Keyboard Layout";
constexpr char kMap[] = "Scancode Map", kBackup[] = "TVLN Backup";
const std::string kNone = "none";
using Error = std::tuple<std::int32_t, std::string, std::string>;
using State = std::pair<std::string, std::string>; // map and backup as Get gives them
using Op = std::function<void(CScancodeMap&)>;

// A stored map: version and flags 0, the count field and entries given, the terminator.
std::string Map(const std::string& count, const std::string& entries = "") {
    return "0000000000000000" + count + entries + "00000000";
}
const std::string kMapA = Map("02000000", "2A003A00"), // CapsLock sends left shift
    kCtrl = Map("02000000", "1D003800"),               // another key's entry
    kBoth = Map("03000000", "1D0038002A003A00"),       // kCtrl's entry, then kMapA's
    kTab = Map("02000000", "0F003A00");

// Stores a value past the seam: hex, binary unless typed ("1:4100"); "none" removes it.
void Put(const char* name, const std::string& value) {
    const std::size_t colon = value.find(':');
    const DWORD type = colon == std::string::npos ? REG_BINARY : std::stoul(value.substr(0, colon));
    const auto bytes = MMapText::HexToBytes(value == kNone ? "" : value.substr(colon + 1)).value();
    if (value == kNone)
        SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, name);
    else
        SHSetValueA(HKEY_LOCAL_MACHINE, kLayout, name, type, bytes.data(), bytes.size());
}
void Put(const State& s) {
    Put(kMap, s.first);
    Put(kBackup, s.second);
}

std::string Get(const char* name) { // as Put takes it
    std::vector<std::uint8_t> bytes(8192);
    DWORD type = 0, size = 8192;
    if (SHGetValueA(HKEY_LOCAL_MACHINE, kLayout, name, &type, bytes.data(), &size))
        return kNone;
    return (type == REG_BINARY ? "" : std::to_string(type) + ":") +
           MMapText::BytesToHex({bytes.data(), size});
}
State Stored() {
    return {Get(kMap), Get(kBackup)};
}

const Op kSave = [](CScancodeMap& m) { // CapsLock to left shift on top of the map found
    m.SetNewSettingString(m.CurrentSettingString());
    m.BuildNewSettingString(kCapsLock, 7);
    m.SaveNewSetting();
};
const Op kRestore = [](CScancodeMap& m) { m.RestoreMap(); };

// Number, source and text of the error f raises; number 0 when it raises none.
Error ErrorOf(const std::function<void()>& f) try {
    f();
    return {};
} catch (const AppError& e) {
    return {e.Number(), e.Source(), DisplayText(e)};
}

RegistryApi g_real;
int g_calls = 0, g_failAt = 0; // 0: count only

template <auto Member> struct Counted {
    template <typename... A> static LONG WINAPI Call(A... a) {
        return ++g_calls == g_failAt ? ERROR_ACCESS_DENIED : (g_real.*Member)(a...);
    }
};

// Runs the operation on a map read for real; its registry calls are counted, call failAt fails.
std::pair<Error, State> Attempt(const State& before, Op operation, int failAt) {
    Put(before);
    CScancodeMap m;
    g_calls = 0;
    g_failAt = failAt;
#define C(f) .f = &Counted<&RegistryApi::f>::Call
    const Seam<RegistryApi>::Override counted(
        {C(OpenKeyEx), C(CreateKeyEx), C(CloseKey), C(QueryValueEx), C(SetValueEx), C(DeleteKey),
         C(DeleteValue), C(EnumKey), C(EnumValue), C(QueryInfoKey), C(ConnectRegistry)});
#undef C
    return {ErrorOf([&] { operation(m); }), Stored()}; // Stored reads past the seam
}

LONG WINAPI DenyBackupQuery(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                            LPDWORD size) {
    return name == "TVLN Backup"s ? ERROR_ACCESS_DENIED
                                  : RegQueryValueExA(key, name, reserved, type, data, size);
}
LONG WINAPI DenyEnumValue(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}

// The writer on this thread stops at its first write until go is set.
std::atomic<DWORD> g_stopped = 0;
HANDLE g_reached = ::CreateEventW(nullptr, TRUE, FALSE, nullptr),
       g_go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
LONG WINAPI StoppedSet(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size) {
    if (g_stopped.exchange(0) == ::GetCurrentThreadId()) {
        ::SetEvent(g_reached);
        ::WaitForSingleObject(g_go, INFINITE);
    }
    return RegSetValueExA(key, name, reserved, type, data, size);
}

using Edit = std::function<EditOutcome(CScancodeMap&)>;
const Edit kEditSave = [](CScancodeMap& m) { // kMapA's entry
    return CKeyEdit(m, Language::English).Save("2A003A00", {}, CKeyEdit::Unchanged::Write).outcome;
};
const Edit kEditRestore = [](CScancodeMap& m) {
    return CKeyEdit(m, Language::English).Restore().outcome;
};

struct ScancodeMapTest : ::testing::Test {
    void SetUp() override { TearDown(); }
    void TearDown() override { Put({kNone, kNone}); }
};

} // namespace

// What the map found sets a key to, as a catalogue ID: 1 without an entry, -1 for a code the
// catalogue does not know and for a map that is not well formed.
TEST_F(ScancodeMapTest, KeySettingOfTheMapFound) {
    struct Case {
        std::string map;
        std::int32_t id;
    };
    const Case cases[] = {
        {.map = kMapA, .id = 7},                        // left shift
        {.map = kCtrl, .id = 1},                        // no entry for CapsLock
        {.map = Map("02000000", "99993A00"), .id = -1}, // unknown code
        {.map = "0:" + kMapA, .id = -1},                // not binary
    };
    for (const Case& c : cases) {
        Put(kMap, c.map);
        EXPECT_EQ(CScancodeMap().GetCurrentKeySetting("3A00"), c.id) << c.map;
    }
}

// A save never writes over a backup that exists: named in another case (the registry finds it),
// or unreadable (the value listing tells; when that fails too, nothing is written).
TEST_F(ScancodeMapTest, ExistingBackupIsNeverOverwritten) {
    for (int unreadable : {0, 1, 2}) { // 0: named in another case; 2: the listing fails too
        TearDown();
        Put(kMap, kCtrl);
        Put(unreadable ? kBackup : "tvln backup", kMapA);
        const Seam<RegistryApi>::Override fake(
            {.QueryValueEx = unreadable ? &DenyBackupQuery : &::RegQueryValueExA,
             .EnumValue = unreadable == 2 ? &DenyEnumValue : &::RegEnumValueA});
        CScancodeMap m;
        EXPECT_EQ(m.BackupMapExists(), unreadable == 1) << unreadable; // Restore offered
        const Error error = ErrorOf([&] { kSave(m); });
        EXPECT_EQ(std::get<0>(error), unreadable == 2 ? CScancodeMap::kErrNotReadable : 0);
        EXPECT_EQ(Stored(), State(unreadable == 2 ? kCtrl : kBoth, kMapA)) << unreadable;
    }
}

// Each registry call of a save or a restore fails in turn: the registry holds an allowed state, a
// failure short of the last reaches the caller with its text.
TEST_F(ScancodeMapTest, EveryFailingCallLeavesAWholeState) {
    const struct {
        const char* name;
        State before;
        Op operation;
        std::vector<State> allowed;
    } scenarios[] = {
        {"first save", {kCtrl, kNone}, kSave, {{kCtrl, kNone}, {kCtrl, kCtrl}, {kBoth, kCtrl}}},
        {"first, no map", {kNone, kNone}, kSave, {{kNone, kNone}, {kNone, ""}, {kMapA, ""}}},
        {"second save", {kTab, kCtrl}, kSave, {{kTab, kCtrl}, {kMapA, kCtrl}}},
        {"restore", {kBoth, kCtrl}, kRestore, {{kBoth, kCtrl}, {kCtrl, kCtrl}, {kCtrl, kNone}}},
        {"restore empty", {kBoth, ""}, kRestore, {{kBoth, ""}, {kNone, ""}, {kNone, kNone}}},
        {"restore empty, no map", {kNone, ""}, kRestore, {{kNone, ""}, {kNone, kNone}}},
    };
    for (const auto& [name, before, operation, allowed] : scenarios) {
        const auto [error, after] = Attempt(before, operation, 0);
        ASSERT_EQ(error, Error{}) << name;
        ASSERT_EQ(after, allowed.back()) << name;
        for (int k = 1, total = g_calls; k <= total; ++k) {
            const auto [error, after] = Attempt(before, operation, k);
            const auto where = name + ", failing call "s + std::to_string(k);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), after), allowed.end()) << where;
            if (std::get<0>(error) != 0) {
                EXPECT_FALSE(std::get<2>(error).empty()) << where;
            } else {
                EXPECT_EQ(after, allowed.back()) << where << ": failure reported as success";
            }
        }
    }
}

// Two writers at once, the first stopped between its check and its first write: the second
// waits, then finds the map changed and writes nothing.
TEST_F(ScancodeMapTest, SecondWriterWaitsForTheFirstAndRefuses) {
    const struct {
        State was;
        Edit first, second;
        State is;
    } cases[] = {
        {.was = {kMapA, kCtrl}, .first = kEditRestore, .second = kEditSave, .is = {kCtrl, kNone}},
        {.was = {kTab, kCtrl}, .first = kEditSave, .second = kEditRestore, .is = {kMapA, kCtrl}},
    };
    const Seam<RegistryApi>::Override stopped({.SetValueEx = &StoppedSet});
    for (const auto& [before, first, second, after] : cases) {
        Put(before);
        CScancodeMap one, two;
        ::ResetEvent(g_reached);
        ::ResetEvent(g_go);
        EditOutcome firstOutcome{};
        std::thread a([&] {
            g_stopped = ::GetCurrentThreadId();
            firstOutcome = first(one);
        });
        const bool reached = ::WaitForSingleObject(g_reached, 5000) == WAIT_OBJECT_0;
        auto b = std::async(std::launch::async, [&] { return second(two); });
        const auto waited = b.wait_for(std::chrono::milliseconds(500));
        ::SetEvent(g_go);
        a.join();
        const EditOutcome secondOutcome = b.get();
        ASSERT_TRUE(reached) << "the first writer never wrote";
        EXPECT_EQ(waited, std::future_status::timeout) << "the second writer did not wait";
        EXPECT_EQ(firstOutcome, EditOutcome::Written);
        EXPECT_EQ(secondOutcome, EditOutcome::ChangedByOther);
        EXPECT_EQ(Stored(), after);
    }
    // The save's log entries registered this test as the event source's message file.
    SHDeleteKeyA(HKEY_LOCAL_MACHINE,
                 "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin");
}
