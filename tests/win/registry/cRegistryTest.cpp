#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "registry/RegistryApi.h"
#include "registry/cRegistry.h"
#include "win32/Fatal.h"

namespace {

using namespace std::string_literals;
constexpr std::uint32_t kHkcu = 0x80000001u;
const std::string kBase = "Software\\TavelinTest", kPath = kBase + "\\Registry";

template <typename F> struct DenyOf;
template <typename R, typename... A> struct DenyOf<R(WINAPI*)(A...)> {
    static R WINAPI Call(A...) { return ERROR_ACCESS_DENIED; }
};
// Announces names shorter than they are (a multi-byte name, or one added meanwhile).
LONG WINAPI ShortNames(HKEY k, LPSTR c, LPDWORD cc, LPDWORD r, LPDWORD s, LPDWORD sl, LPDWORD cl,
                       LPDWORD v, LPDWORD longest, LPDWORD vl, LPDWORD sd, PFILETIME t) {
    const LONG rc = RegQueryInfoKeyA(k, c, cc, r, s, sl, cl, v, longest, vl, sd, t);
    return *longest = 1, rc;
}
// The table in use until the test ends; each Fake replaces one more call.
std::optional<Seam<RegistryApi>::Override> g_fakes;
template <typename F>
void Fake(F RegistryApi::*slot, std::type_identity_t<F> f = &DenyOf<F>::Call) {
    RegistryApi api = Registry();
    api.*slot = f;
    g_fakes.emplace(api);
}

cRegistry Make(const std::string& path = kPath) {
    cRegistry r;
    r.SetClassKey(kHkcu), r.SetSectionKey(path), r.SetValueKey("V"), r.SetValueType(1);
    return r;
}

struct RegistryTest : ::testing::Test {
    void TearDown() override {
        g_fakes.reset();
        SHDeleteKeyA(HKEY_CURRENT_USER, kBase.c_str());
    }
};

// What a failed write or delete says: the number tells the command line's German line which
// words to use, the text names the key.
TEST_F(RegistryTest, ErrorTexts) {
    const std::string missing = kPath + "\\Missing", hkcu = "'-2147483647',Section: '";
    const std::tuple<std::function<void()>, std::int32_t, std::string> cases[] = {
        {[&] { Make(missing).DeleteValue(); }, 26001,
         "Failed to open key " + hkcu + missing + "' for delete access"},
        {[] { Fake(&RegistryApi::SetValueEx), Make().SetValue("x"s); }, cRegistry::kErrSetValue,
         "Failed to set registry value Key: " + hkcu + kPath + "',Key: 'V' to value: ''"},
    };
    for (const auto& [act, number, description] : cases) {
        try {
            act();
            ADD_FAILURE() << "nothing raised: " << description;
        } catch (const AppError& e) {
            EXPECT_EQ(std::tuple(e.Number(), e.Source(), e.Description()),
                      std::tuple(number, ExeName() + ".cRegistry", description));
        }
    }
}

// The value listing that tells whether a backup exists: whole, also past a name longer than
// announced.
TEST_F(RegistryTest, ValueNamesListed) {
    const std::string layout = kPath + "\\Keyboard Layout\\", longName(300, 'n');
    for (const std::string& n : {"Scancode Map"s, "TVLN Backup"s, longName})
        SHSetValueA(HKEY_CURRENT_USER, layout.c_str(), n.c_str(), REG_BINARY, "", 0);
    using Names = std::vector<std::string>;
    Names names{"stale"};
    std::int32_t count = -1;
    Fake(&RegistryApi::QueryInfoKey, &ShortNames);
    EXPECT_TRUE(Make(layout).EnumerateValues(names, count));
    std::ranges::sort(names); // in the registry's order, which is its own
    EXPECT_EQ(std::tie(names, count),
              std::tuple(Names{"Scancode Map", "TVLN Backup", longName}, 3));
}

} // namespace
