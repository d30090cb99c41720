// Each registry call of a save or a restore fails in turn. Whatever fails, the registry holds the
// state before, an allowed state in between, or the complete new state, and a failure that
// leaves the new state unreached reaches the caller as an error with number and text.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <type_traits>

#include "AppError.h"
#include "CScancodeMap.h"
#include "KeyCatalogue.h"
#include "KeyboardLayoutKey.h"
#include "MapText.h"
#include "RegistryApi.h"

using namespace kbl;

namespace {

RegistryApi g_real;
int g_calls = 0;
int g_failAt = 0; // 0: count only

template <auto Member, typename F = std::remove_cvref_t<decltype(RegistryApi{}.*Member)>>
struct Counted;
template <auto Member, typename R, typename... A> struct Counted<Member, R(WINAPI*)(A...)> {
    static R WINAPI Call(A... a) {
        if (++g_calls == g_failAt)
            return ERROR_ACCESS_DENIED;
        return (g_real.*Member)(a...);
    }
};

RegistryApi CountingApi() {
    return RegistryApi{
        Counted<&RegistryApi::OpenKeyEx>::Call,      Counted<&RegistryApi::CreateKeyEx>::Call,
        Counted<&RegistryApi::CloseKey>::Call,       Counted<&RegistryApi::QueryValueEx>::Call,
        Counted<&RegistryApi::SetValueEx>::Call,     Counted<&RegistryApi::DeleteKey>::Call,
        Counted<&RegistryApi::DeleteValue>::Call,    Counted<&RegistryApi::EnumKey>::Call,
        Counted<&RegistryApi::EnumValue>::Call,      Counted<&RegistryApi::QueryInfoKey>::Call,
        Counted<&RegistryApi::ConnectRegistry>::Call};
}

using State = std::pair<std::optional<Stored>, std::optional<Stored>>; // map, backup

State Now() {
    return {Get(kMap), Get(kBackup)};
}

void Set(const State& s) {
    Remove(kMap);
    Remove(kBackup);
    if (s.first)
        Put(kMap, MapText::BytesToHex(s.first->bytes));
    if (s.second)
        Put(kBackup, MapText::BytesToHex(s.second->bytes));
}

struct Scenario {
    const char* name;
    State before;
    std::function<void(CScancodeMap&)> operation;
    std::vector<State> allowed; // the last one is the complete new state
};

void Save(CScancodeMap& m) {
    m.SetNewSettingString(m.CurrentSettingString());
    m.BuildNewSettingString(kCapsLock, 7);
    m.SaveNewSetting();
}
void Restore(CScancodeMap& m) {
    m.RestoreMap();
}

const std::string kEnd = "00000000";
const auto kNone = std::nullopt;
const auto kMapA = Binary("000000000000000002000000"
                          "1D003800" +
                          kEnd);
const auto kMapB = Binary("000000000000000003000000"
                          "1D003800"
                          "2A003A00" +
                          kEnd);
const auto kMapC = Binary("000000000000000002000000"
                          "0F003A00" +
                          kEnd);
const auto kMapD = Binary("000000000000000002000000"
                          "2A003A00" +
                          kEnd);
const auto kEmpty = Binary("");

} // namespace

TEST(FaultInjectionTest, EveryFailingCallLeavesAWholeState) {
    const Scenario scenarios[] = {
        {"first save", {kMapA, kNone}, Save, {{kMapA, kNone}, {kMapA, kMapA}, {kMapB, kMapA}}},
        {"first save, no map",
         {kNone, kNone},
         Save,
         {{kNone, kNone}, {kNone, kEmpty}, {kMapD, kEmpty}}},
        {"second save", {kMapC, kMapA}, Save, {{kMapC, kMapA}, {kMapD, kMapA}}},
        {"restore", {kMapB, kMapA}, Restore, {{kMapB, kMapA}, {kMapA, kMapA}, {kMapA, kNone}}},
        {"restore empty",
         {kMapB, kEmpty},
         Restore,
         {{kMapB, kEmpty}, {kNone, kEmpty}, {kNone, kNone}}},
        {"restore empty, no map", {kNone, kEmpty}, Restore, {{kNone, kEmpty}, {kNone, kNone}}},
    };
    g_real = RealRegistryApi();
    for (const Scenario& s : scenarios) {
        Set(s.before);
        int total = 0;
        {
            CScancodeMap m;
            g_calls = g_failAt = 0;
            SetRegistryApi(CountingApi());
            s.operation(m);
            SetRegistryApi(g_real);
            total = g_calls;
        }
        ASSERT_EQ(Now(), s.allowed.back()) << s.name;
        ASSERT_GT(total, 2) << s.name;

        int errors = 0;
        for (int k = 1; k <= total; ++k) {
            Set(s.before);
            CScancodeMap m;
            g_calls = 0;
            g_failAt = k;
            SetRegistryApi(CountingApi());
            std::optional<AppError> error;
            try {
                s.operation(m);
            } catch (const AppError& e) {
                error = e;
            }
            SetRegistryApi(g_real);
            const State after = Now();
            const auto where = std::string(s.name) + ", failing call " + std::to_string(k);
            EXPECT_NE(std::find(s.allowed.begin(), s.allowed.end(), after), s.allowed.end())
                << where;
            if (error) {
                ++errors;
                EXPECT_NE(error->Number(), 0) << where;
                EXPECT_FALSE(DisplayText(*error).empty()) << where;
            } else {
                EXPECT_EQ(after, s.allowed.back()) << where << ": failure reported as success";
            }
        }
        EXPECT_GT(errors, 0) << s.name;
    }
    Set({kNone, kNone});
}
