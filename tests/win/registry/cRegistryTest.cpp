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
const std::string kBase = "Software\\TavelinTest", kPath = kBase + "\\Registry",
                  kRemote = kBase + "\\Remote";
const std::string kClass = "TavelinTestClass", kSource = ExeName() + ".cRegistry";

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
int g_closed = 0;
LONG WINAPI CountClose(HKEY k) {
    return ++g_closed, RegCloseKey(k);
}
// A delete that would succeed: the root itself must never get there.
LONG WINAPI DeleteNothing(HKEY, LPCSTR) {
    return ERROR_SUCCESS;
}
// Announces names shorter than they are (a multi-byte name, or one added meanwhile).
LONG WINAPI ShortNames(HKEY k, LPSTR c, LPDWORD cc, LPDWORD r, LPDWORD s, LPDWORD sl, LPDWORD cl,
                       LPDWORD v, LPDWORD longest, LPDWORD vl, LPDWORD sd, PFILETIME t) {
    const LONG rc = RegQueryInfoKeyA(k, c, cc, r, s, sl, cl, v, longest, vl, sd, t);
    return *longest = 1, rc;
}
// Another computer's registry: a key of this one.
LONG WINAPI ConnectToRemote(LPCSTR, HKEY root, PHKEY remote) {
    return RegCreateKeyExA(root, kRemote.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, remote,
                           nullptr);
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
        SHDeleteKeyA(HKEY_CLASSES_ROOT, kClass.c_str()); // also HKLM\SOFTWARE\Classes in Wine
        SHDeleteKeyA(HKEY_CLASSES_ROOT, ".tvlntest");
    }
};

TEST_F(RegistryTest, ReadsAndWritesByType) {
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

    const std::tuple<std::int32_t, RegistryValue, int, std::string> writes[] = {
        {1, "%SystemRoot%\\x"s, REG_EXPAND_SZ, "%SystemRoot%\\x\0"s},
        {1, "50%"s, REG_SZ, "50%\0"s},
        {2, "%a%"s, REG_EXPAND_SZ, "%a%\0"s},
        {1, 42, REG_SZ, "42\0"s},
        {4, std::int16_t{-1}, REG_DWORD, "\xFF\xFF\xFF\xFF"},
        {5, 0x12345678, REG_DWORD, "\x78\x56\x34\x12"},
    };
    for (const auto& [type, value, storedType, stored] : writes) {
        Make(kHkcu, kPath, "V", type).SetValue(value);
        EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "V"), std::make_pair(storedType, stored))
            << type << " " << RegistryValueToText(value);
    }
    for (std::int32_t type : {0, 6, 7, 11})
        EXPECT_EQ(std::get<0>(Raised([&] { Make(kHkcu, kPath, "V", type).SetValue("x"s); })),
                  cRegistry::kErrSetValue);
    EXPECT_EQ(Raised([&] { Make(kHkcu, kPath, "W", 3).SetValue("x"s); }),
              std::make_tuple(26001, "", ""));
    EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "W").first, -1);
}

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
        {[&](auto&) { Fake(&RegistryApi::CreateKeyEx), Make(kHkcu, umlaut).CreateKey(); }, 26001,
         "Failed to create registry Key: '" + umlautUtf8},
        {[&](auto&) { Make(kHkcu, missing).DeleteKey(); }, 26001,
         "Failed to delete registry Key: " + hkcu + missing},
        // The root itself is never handed to the delete.
        {[&](auto&) {
             Fake(&RegistryApi::DeleteKey, &DeleteNothing), Make(kHkcu, "\\").DeleteKey();
         },
         26001, "Failed to delete registry Key: " + hkcu + "\\"},
        {[&](auto&) { Make(kHkcu, missing).DeleteValue(); }, 26001,
         "Failed to open key " + hkcu + missing + "' for delete access"},
        {[&](auto& r) { r.SetValueKey("Nope"), r.DeleteValue(); }, 26001,
         "Failed to delete registry Key: " + hkcu + kPath + "',Key: 'Nope"},
        {[&](auto& r) { r.SetValueKey(umlaut), Fake(&RegistryApi::CreateKeyEx), r.SetValue("x"s); },
         26001, setText + umlautUtf8 + "' to value: ''"},
        // A number value that is given no number is refused, not silently dropped.
        {[&](auto& r) { r.SetValueKey("N"), r.SetValueType(4), r.SetValue(7), r.SetValue("8"s); },
         cRegistry::kErrSetValue, setText + "N' to value: '7'"},
        // Returned rather than raised: they do not abort the caller.
        {[&](auto& r) { throw r.CreateAdditionalEXEAssociations(kClass + "X", {}).value(); },
         cRegistry::kErrAssocList,
         "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected "
         "Name/Text/Command"},
        {[&](auto& r) {
             throw r.CreateAdditionalEXEAssociations(kClass, {""s, ""s, ""s}).value();
         },
         cRegistry::kErrAssocClass,
         "Error - attempt to create additional associations before class defined."},
    };
    for (const auto& [act, number, description] : cases) {
        cRegistry r = Make();
        EXPECT_EQ(Raised([&] { act(r); }), std::make_tuple(number, kSource, description));
        g_fakes.reset();
    }
    EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "V").second, "second\0"s);
    EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "N"), std::make_pair(REG_DWORD, "\7\0\0\0"s));
}

// Another computer's registry (a key of this one, through the seam) is read and written there,
// not here; one that cannot be reached gives Default and refuses writes. Keys are closed on
// failure, the remote root too.
TEST_F(RegistryTest, AnotherComputersRegistry) {
    cRegistry r = Make();
    const auto normal = [&](const char* m) { return r.SetMachine(m), r.Machine(); };
    EXPECT_EQ((std::vector{normal(""), normal("ab"), normal("abc"), normal("\\\\host")}),
              (std::vector<std::string>{"", "", "\\\\abc", "\\\\host"}));
    Fake(&RegistryApi::ConnectRegistry, &ConnectToRemote);
    r.SetValue("there"s);
    EXPECT_EQ(std::pair(RawGet(HKEY_CURRENT_USER, kRemote + "\\" + kPath, "V").second,
                        RawGet(HKEY_CURRENT_USER, kPath, "V").first),
              std::pair("there\0"s, -1));
    EXPECT_EQ(r.Value(), RegistryValue("there"s));
    Fake(&RegistryApi::CloseKey, &CountClose), Fake(&RegistryApi::SetValueEx);
    EXPECT_EQ(std::get<0>(Raised([&] { r.SetValue("x"s); })), cRegistry::kErrSetValue);
    EXPECT_EQ(g_closed, 2);
    Fake(&RegistryApi::ConnectRegistry), r.SetDefault(7);
    EXPECT_EQ(std::pair(r.Value(), std::get<0>(Raised([&] { r.SetValue("x"s); }))),
              std::pair(RegistryValue(7), 26001));
}

TEST_F(RegistryTest, KeysAndEnumerations) {
    const std::string layout = kPath + "\\Keyboard Layout\\", longName(300, 'n');
    for (const std::string& n : {"Scancode Map"s, "TVLN Backup"s, longName})
        RawSet(layout, n, REG_BINARY, {});
    cRegistry deeper = Make(kHkcu, layout + "Sub2\\Deeper\\");
    EXPECT_TRUE(deeper.CreateKey() && Make(kHkcu, layout + "Sub1").CreateKey());
    EXPECT_TRUE(deeper.KeyExists() && deeper.DeleteKey() && !deeper.KeyExists()); // Sub2 stays
    using Names = std::vector<std::string>;
    Names names{"stale"};
    std::int32_t count = -1;
    cRegistry r = Make(kHkcu, layout), missing = Make(kHkcu, kPath + "\\Missing");
    Fake(&RegistryApi::QueryInfoKey, &ShortNames);
    EXPECT_TRUE(r.EnumerateValues(names, count));
    std::ranges::sort(names); // in the registry's order, which is its own
    EXPECT_EQ(std::tie(names, count),
              std::tuple(Names{"Scancode Map", "TVLN Backup", longName}, 3));
    EXPECT_TRUE(missing.EnumerateSections(names, count) && names.empty() && count == 0);
    EXPECT_TRUE(r.EnumerateSections(names, count));
    std::ranges::sort(names);
    EXPECT_EQ(std::tie(names, count), std::tuple(Names{"Sub1", "Sub2"}, 2));
    EXPECT_TRUE(missing.EnumerateValues(names, count) && names.empty() && count == 0);
}

TEST_F(RegistryTest, AssociationsGoToBothClassRoots) {
    cRegistry r;
    r.CreateEXEAssociation("  C:\\Tools\\t.exe ", kClass, "Test file", "tvlntest", "", true, "",
                           true, "", true, "", 2);
    // On the same object, whose last write left HKEY_LOCAL_MACHINE set.
    EXPECT_FALSE(r.CreateAdditionalEXEAssociations(kClass, {"edit"s, "&Edit"s, "ed %1"s}));
    const std::string q = "\"C:\\Tools\\t.exe\"", shell = kClass + "\\shell\\";
    const std::pair<std::string, std::string> expected[] = {
        {".tvlntest", kClass},
        {kClass, "Test file"},
        {kClass + "\\DefaultIcon", q + ",2"},
        {shell + "print\\command", q + " /p \"%1\""},
        {shell + "add", "&Install tvlntest"},
        {shell + "new\\command", q + " /n \"%1\""},
        {shell + "edit\\command", "ed %1"},
    };
    for (const std::string prefix : {"", "SOFTWARE\\Classes\\"}) // HKCR, then HKLM
        for (const auto& [path, text] : expected)
            EXPECT_EQ(
                RawGet(prefix.empty() ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE, prefix + path, ""),
                std::make_pair(1, text + '\0'))
                << prefix << path;
}

} // namespace
