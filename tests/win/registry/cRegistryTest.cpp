#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "win32/Fatal.h"
#include "registry/RegistryApi.h"
#include "win32/Text.h"
#include "registry/cRegistry.h"

namespace {

using namespace std::string_literals; // "a\0"s keeps its NUL
constexpr std::uint32_t kHkcu = 0x80000001u;
const std::string kBase = "Software\\TavelinTest", kPath = kBase + "\\Registry";
const std::string kSource = ExeName() + ".cRegistry";

void RawSet(const std::string& path, const std::string& name, DWORD type, const std::string& data) {
    SHSetValueA(HKEY_CURRENT_USER, path.c_str(), name.c_str(), type, data.data(), data.size());
}

// Type and bytes of a stored value as stored; type -1 when there is none.
std::pair<int, std::string> RawGet(HKEY root, const std::string& path, const std::string& name) {
    char data[4096];
    DWORD type = 0, size = sizeof data;
    return RegGetValueA(root, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, data,
                        &size)
               ? std::pair(-1, std::string())
               : std::pair(int(type), std::string(data, size));
}

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

cRegistry Make(std::uint32_t root = kHkcu, const std::string& path = kPath,
               const std::string& name = "V", std::int32_t type = 1) {
    cRegistry r;
    r.SetClassKey(root), r.SetSectionKey(path), r.SetValueKey(name), r.SetValueType(type);
    return r;
}

// Number, source and description of the error f raises.
std::tuple<std::int32_t, std::string, std::string> Raised(const std::function<void()>& f) try {
    return f(), std::tuple(0, "", "nothing raised");
} catch (const AppError& e) {
    return {e.Number(), e.Source(), e.Description()};
}

struct RegistryTest : ::testing::Test {
    void TearDown() override {
        g_fakes.reset();
        SHDeleteKeyA(HKEY_CURRENT_USER, kBase.c_str());
    }
};

// Whatever type another program stored: the map's reader tells them apart by type and text.
TEST_F(RegistryTest, ReadsByType) {
    SetEnvironmentVariableA("TAVELIN_X", "C:\\x");
    const std::tuple<DWORD, std::string, RegistryValue> reads[] = {
        {REG_SZ, "abc\0"s, "abc"s},
        {REG_SZ, "ab"s, "ab"s}, // stored without terminator: nothing is cut
        {REG_EXPAND_SZ, "%TAVELIN_X%\\y\0"s, "C:\\x\\y"s},
        {REG_MULTI_SZ, "a\0b\0\0"s, "a\0b\0"s},
        {REG_DWORD, "\x78\x56\x34\x12"s, 0x12345678},
        {REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78"s, 0x12345678},
        {REG_NONE, ""s, ByteArray{0, {0}}},
    };
    for (const auto& [type, stored, expected] : reads) {
        RawSet(kPath, "V", type, stored);
        cRegistry r = Make(kHkcu, kPath, "V", 99);
        EXPECT_EQ(r.Value(), expected) << "type " << type;
        EXPECT_EQ(r.ValueType(), static_cast<std::int32_t>(type));
    }
    cRegistry missing = Make(kHkcu, kPath, "Missing", 3);
    missing.SetDefault("fallback"s);
    EXPECT_EQ(missing.Value(), missing.Default());
    EXPECT_EQ(missing.ValueType(), 3);
}

// What a failed write or delete of a value says, with the key's name in UTF-8.
TEST_F(RegistryTest, ErrorTexts) {
    const std::string missing = kPath + "\\Missing", hkcu = "'-2147483647',Section: '";
    const std::string umlaut = Utf8ToAnsi("Schl\xC3\xBCssel"), umlautUtf8 = "Schl\xC3\xBCssel";
    const std::string setText = "Failed to set registry value Key: " + hkcu + kPath + "',Key: '";
    const std::tuple<std::function<void(cRegistry&)>, std::int32_t, std::string> cases[] = {
        // Names the last successful write, not the failing one.
        {[&](auto& r) {
             r.SetValue(umlaut), r.SetValue("second"s), Fake(&RegistryApi::SetValueEx),
                 r.SetValue("third"s);
         },
         cRegistry::kErrSetValue, setText + "V' to value: 'second'"},
        {[&](auto&) { Make(kHkcu, missing).DeleteValue(); }, 26001,
         "Failed to open key " + hkcu + missing + "' for delete access"},
        {[&](auto& r) { r.SetValueKey("Nope"), r.DeleteValue(); }, 26001,
         "Failed to delete registry Key: " + hkcu + kPath + "',Key: 'Nope"},
        {[&](auto& r) { r.SetValueKey(umlaut), Fake(&RegistryApi::CreateKeyEx), r.SetValue("x"s); },
         26001, setText + umlautUtf8 + "' to value: ''"},
    };
    for (const auto& [act, number, description] : cases) {
        cRegistry r = Make();
        EXPECT_EQ(Raised([&] { act(r); }), std::make_tuple(number, kSource, description));
        g_fakes.reset();
    }
    EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "V").second, "second\0"s);
}

// The value listing that tells whether a backup exists: whole, also past a name longer than
// announced; empty for a key that is not there.
TEST_F(RegistryTest, ValueNamesListed) {
    const std::string layout = kPath + "\\Keyboard Layout\\", longName(300, 'n');
    for (const std::string& n : {"Scancode Map"s, "TVLN Backup"s, longName})
        RawSet(layout, n, REG_BINARY, {});
    using Names = std::vector<std::string>;
    Names names{"stale"};
    std::int32_t count = -1;
    cRegistry r = Make(kHkcu, layout), missing = Make(kHkcu, kPath + "\\Missing");
    Fake(&RegistryApi::QueryInfoKey, &ShortNames);
    EXPECT_TRUE(r.EnumerateValues(names, count));
    std::ranges::sort(names); // in the registry's order, which is its own
    EXPECT_EQ(std::tie(names, count),
              std::tuple(Names{"Scancode Map", "TVLN Backup", longName}, 3));
    EXPECT_TRUE(missing.EnumerateValues(names, count) && names.empty() && count == 0);
}

} // namespace
