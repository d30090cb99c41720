#include <gtest/gtest.h>

#include <shlwapi.h>

#include <functional>
#include <optional>
#include <stdexcept>

#include "Fatal.h"
#include "RegistryApi.h"
#include "Text.h"
#include "cRegistry.h"

namespace {

constexpr std::uint32_t kHkcu = 0x80000001u, kHklm = 0x80000002u;
const std::string kBase = "Software\\TavelinTest", kPath = kBase + "\\Registry";
const std::string kClass = "TavelinTestClass";
using Bytes = std::vector<std::uint8_t>;

// Text with its embedded and final NULs: S("a\0") has two characters.
template <std::size_t N> std::string S(const char (&s)[N]) {
    return std::string(s, N - 1);
}
template <std::size_t N> Bytes B(const char (&s)[N]) {
    return Bytes(s, s + N - 1);
}

void RawSet(const std::string& path, const std::string& name, DWORD type, const Bytes& data) {
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

// Type and bytes of a stored value; type -1 when there is none.
std::pair<int, Bytes> RawGet(HKEY root, const std::string& path, const std::string& name) {
    HKEY key;
    Bytes data(4096);
    DWORD type = 0, size = 4096;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != 0)
        return {-1, {}};
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    data.resize(size);
    return rc ? std::pair<int, Bytes>{-1, {}} : std::pair<int, Bytes>{static_cast<int>(type), data};
}

template <typename F> struct DenyOf;
template <typename R, typename... A> struct DenyOf<R(WINAPI*)(A...)> {
    static R WINAPI Call(A...) { return ERROR_ACCESS_DENIED; }
};
template <typename F> void Deny(F RegistryApi::*slot) {
    RegistryApi api = Registry();
    api.*slot = &DenyOf<F>::Call;
    SetRegistryApi(api);
}

// Counts keys closed through the table.
int g_closed = 0;
LONG WINAPI CountClose(HKEY k) {
    return ++g_closed, RegCloseKey(k);
}
LONG WINAPI ThrowingEnumKey(HKEY, DWORD, LPSTR, DWORD) {
    throw std::length_error("too long");
}

cRegistry Make(std::uint32_t root = kHkcu, const std::string& path = kPath,
               const std::string& name = "V", std::int32_t type = 1) {
    cRegistry r;
    r.SetClassKey(root);
    r.SetSectionKey(path);
    r.SetValueKey(name);
    r.SetValueType(type);
    return r;
}

AppError Raised(const std::function<void()>& f) {
    std::optional<AppError> raised;
    try {
        f();
    } catch (const AppError& e) {
        raised = e;
    }
    SetRegistryApi(RealRegistryApi());
    if (!raised)
        ADD_FAILURE() << "nothing raised";
    return raised.value_or(AppError(0, "", ""));
}

// "\\NAME": with the slashes, so that a short host name is not cleared.
std::string LocalMachine() {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
    return "\\\\" + std::string(name);
}

struct RegistryTest : ::testing::Test {
    void TearDown() override {
        SetRegistryApi(RealRegistryApi());
        SHDeleteKeyA(HKEY_CURRENT_USER, kBase.c_str());
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kBase.c_str());
        for (auto k : {kClass, std::string(".tvlntest")}) {
            SHDeleteKeyA(HKEY_CLASSES_ROOT, k.c_str());
            SHDeleteKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Classes\\" + k).c_str());
        }
    }
    const std::string source = ExeName() + ".cRegistry";
};

TEST_F(RegistryTest, ReadsEachStoredType) {
    SetEnvironmentVariableA("TAVELIN_X", "C:\\x");
    Bytes twelve{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, thirteen = twelve;
    thirteen.push_back(0);
    const std::tuple<DWORD, Bytes, RegistryValue> cases[] = {
        {REG_SZ, B("abc\0"), S("abc")},
        {REG_SZ, B("ab"), S("ab")}, // stored without terminator: nothing is cut
        {REG_SZ, {}, S("")},
        {REG_EXPAND_SZ, B("%TAVELIN_X%\\y\0"), S("C:\\x\\y")},
        {REG_MULTI_SZ, B("a\0b\0\0"), S("a\0b\0")},
        {REG_DWORD, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}, 0x12345678},
        {REG_BINARY, twelve, ByteArray{0, thirteen}},
        {REG_BINARY, {}, ByteArray{0, {0}}},
        {REG_NONE, {7, 8}, ByteArray{0, {7, 8, 0}}},
    };
    for (const auto& [type, stored, expected] : cases) {
        RawSet(kPath, "V", type, stored);
        cRegistry r = Make(kHkcu, kPath, "V", 99);
        EXPECT_EQ(r.Value(), expected) << "type " << type;
        EXPECT_EQ(r.ValueType(), static_cast<std::int32_t>(type));
    }
    // A missing value or key gives Default and leaves ValueType alone.
    for (const auto& path : {kPath, kPath + "\\Missing\\"}) {
        cRegistry r = Make(kHkcu, path, "Missing", 3);
        r.SetDefault(S("fallback"));
        EXPECT_EQ(r.Value(), RegistryValue(S("fallback")));
        EXPECT_EQ(r.ValueType(), 3);
    }
}

TEST_F(RegistryTest, WritesByTypeRules) {
    const std::tuple<std::int32_t, RegistryValue, int, Bytes> cases[] = {
        {1, S("%SystemRoot%\\x"), REG_EXPAND_SZ, B("%SystemRoot%\\x\0")},
        {1, S("%a%"), REG_EXPAND_SZ, B("%a%\0")},
        {1, S("50%"), REG_SZ, B("50%\0")},
        {1, S("%%"), REG_SZ, B("%%\0")},
        {2, S("plain"), REG_SZ, B("plain\0")},
        {1, 42, REG_SZ, B("42\0")},
        {3, RegNull{}, REG_BINARY, {}},
        {3, ByteArray{1, {1, 2, 3}}, REG_BINARY, {1, 2, 3}},
        {4, std::int16_t{-1}, REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
        {5, 0x12345678, REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {4, S("text"), -1, {}}, // stores nothing, reports nothing
    };
    for (const auto& [type, value, storedType, stored] : cases) {
        SHDeleteKeyA(HKEY_CURRENT_USER, kBase.c_str());
        Make(kHkcu, kPath, "V", type).SetValue(value);
        EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "V"), std::make_pair(storedType, stored))
            << type << " " << RegistryValueToText(value);
    }
    for (std::int32_t type : {0, 6, 7, 11})
        EXPECT_EQ(Raised([&] { Make(kHkcu, kPath, "V", type).SetValue(S("x")); }).Number(),
                  cRegistry::kErrSetValue);
    AppError e = Raised([&] { Make(kHkcu, kPath, "W", 3).SetValue(S("x")); });
    EXPECT_EQ(std::make_tuple(e.Number(), e.Source(), e.Description()),
              std::make_tuple(26001, "", ""));
    EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "W").first, -1);
}

TEST_F(RegistryTest, ErrorTexts) {
    const std::string missing = kPath + "\\Missing", hkcu = "'-2147483647',Section: '";
    const std::string umlaut = Utf8ToAnsi("Schl\xC3\xBCssel"), umlautUtf8 = "Schl\xC3\xBCssel";
    const std::string setText = "Failed to set registry value Key: " + hkcu + kPath + "',Key: '";
    RawSet(kPath, "", REG_SZ, {});
    const std::tuple<std::function<void()>, std::int32_t, std::string> cases[] = {
        {[&] { Deny(&RegistryApi::CreateKeyEx), Make(kHkcu, umlaut).CreateKey(); }, 26001,
         "Failed to create registry Key: '" + umlautUtf8},
        {[&] { Make(kHkcu, missing).DeleteKey(); }, 26001,
         "Failed to delete registry Key: " + hkcu + missing},
        {[&] { Make(kHklm, "").DeleteKey(); }, 26001,
         "Failed to delete registry Key: '-2147483646',Section: '"},
        {[&] { Make(kHkcu, missing).DeleteValue(); }, 26001,
         "Failed to open key " + hkcu + missing + "' for delete access"},
        {[&] { Make(kHkcu, kPath, "Nope").DeleteValue(); }, 26001,
         "Failed to delete registry Key: " + hkcu + kPath + "',Key: 'Nope"},
        {[&] { Deny(&RegistryApi::CreateKeyEx), Make(kHkcu, kPath, umlaut).SetValue(S("x")); },
         26001, setText + umlautUtf8 + "' to value: ''"},
        {[&] { // names the last successful write, not the failing one
             cRegistry r = Make();
             r.SetValue(umlaut);
             r.SetValue(S("second"));
             Deny(&RegistryApi::SetValueEx);
             r.SetValue(S("third"));
         },
         cRegistry::kErrSetValue, setText + "V' to value: 'second'"},
        {[&] { // a byte array reads as UTF-16 code units: 'A' 0xC4 is "AÄ"
             cRegistry r = Make(kHkcu, kPath, "", 3);
             r.SetValue(ByteArray{0, {'A', 0, 0xC4, 0}});
             r.SetValueType(0);
             r.SetValue(S("x"));
         },
         cRegistry::kErrSetValue, setText + "' to value: 'A\xC3\x84'"},
        {[&] { // another computer that cannot be reached: nothing is stored
             cRegistry r = Make();
             r.SetMachine("no-such-host-tavelin");
             r.SetValue(S("x"));
         },
         26001, setText + "V' to value: ''"},
    };
    for (const auto& [act, number, description] : cases) {
        AppError e = Raised(act);
        EXPECT_EQ(std::make_tuple(e.Number(), e.Source(), e.Description()),
                  std::make_tuple(number, source, description));
    }
    EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "V").second, B("second\0"));
}

TEST_F(RegistryTest, MachineIsNormalisedAndOnlyValueUsesIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"ab", ""}, {"abc", "\\\\abc"}, {"\\\\host", "\\\\host"}};
    cRegistry r = Make();
    for (const auto& [given, stored] : cases) {
        r.SetMachine(given);
        EXPECT_EQ(r.Machine(), stored);
    }
    RawSet(kPath, "V", REG_SZ, B("here\0"));
    r.SetMachine("no-such-host-tavelin");
    r.SetDefault(7);
    EXPECT_EQ(r.Value(), RegistryValue(7));
    EXPECT_TRUE(r.KeyExists());
    r.SetMachine(LocalMachine());
    EXPECT_EQ(r.Value(), RegistryValue(S("here")));
}

TEST_F(RegistryTest, KeysAndValues) {
    cRegistry r = Make(kHklm, kPath + "\\A\\B\\", "V");
    EXPECT_FALSE(r.KeyExists());
    EXPECT_TRUE(r.CreateKey());
    EXPECT_TRUE(r.KeyExists());
    r.SetValue(S("x"));
    EXPECT_TRUE(r.DeleteValue());
    EXPECT_EQ(RawGet(HKEY_LOCAL_MACHINE, kPath + "\\A\\B", "V").first, -1);
    EXPECT_TRUE(r.DeleteKey());
    EXPECT_FALSE(r.KeyExists());
    EXPECT_TRUE(Make(kHklm, kPath + "\\A").KeyExists());
}

TEST_F(RegistryTest, Enumerations) {
    const std::string layout = kPath + "\\Keyboard Layout\\", longName(300, 'n');
    for (auto n : {"Scancode Map", "TVLN Backup", longName.c_str()})
        RawSet(layout, n, REG_BINARY, {});
    RawSet(layout + "Sub2", "", REG_SZ, {});
    RawSet(layout + "Sub1", "", REG_SZ, {});
    std::vector<std::string> names{"stale"};
    std::int32_t count = -1;
    cRegistry r = Make(kHkcu, layout);
    EXPECT_TRUE(r.EnumerateValues(names, count));
    // Wine lists values sorted by name, ignoring case.
    EXPECT_EQ(names, (std::vector<std::string>{longName, "Scancode Map", "TVLN Backup"}));
    EXPECT_EQ(count, 3);
    EXPECT_TRUE(r.EnumerateSections(names, count));
    EXPECT_EQ(names, (std::vector<std::string>{"Sub1", "Sub2"}));
    EXPECT_EQ(count, 2);

    cRegistry missing = Make(kHkcu, kPath + "\\Missing");
    EXPECT_TRUE(missing.EnumerateValues(names, count));
    EXPECT_TRUE(names.empty() && count == 0);
    names = {"stale"};
    EXPECT_TRUE(missing.EnumerateSections(names, count));
    EXPECT_TRUE(names.empty() && count == 0);

    // A failure inside the listing comes back as 0x800469AA with its own text, key closed.
    RegistryApi api = RealRegistryApi();
    api.EnumKey = &ThrowingEnumKey;
    api.CloseKey = &CountClose;
    SetRegistryApi(api);
    g_closed = 0;
    AppError e = Raised([&] { r.EnumerateSections(names, count); });
    EXPECT_EQ(std::make_tuple(e.Number(), e.Description()),
              std::make_tuple(cRegistry::kErrEnumSections, "too long"));
    EXPECT_EQ(g_closed, 1);
}

TEST_F(RegistryTest, ValueExWritesDefaultForEmptyTextIntoCallersVariable) {
    std::uint32_t root = kHkcu;
    std::string path = kPath, name = "V";
    std::int32_t type = 1, anyType = 0;
    RegistryValue dflt = S("dflt"), newValue = S(""), empty = S("");
    cRegistry r;
    r.SetValueEx(root, path, name, type, dflt, newValue);
    EXPECT_EQ(newValue, dflt);
    EXPECT_EQ(r.ValueEx(root, path, name, anyType, empty), dflt);
    EXPECT_EQ(r.ValueType(), 1);
    name = "Missing";
    EXPECT_EQ(r.ValueEx(root, path, name, anyType, empty), empty);
    EXPECT_EQ(r.ValueKey(), "Missing");
}

TEST_F(RegistryTest, AssociationsGoToBothClassRoots) {
    cRegistry r;
    r.CreateEXEAssociation("  C:\\Tools\\t.exe ", kClass, "Test file", "tvlntest", "", true, "",
                           true, "", true, "", 2);
    // On the same object, whose last write left HKEY_LOCAL_MACHINE set.
    EXPECT_FALSE(r.CreateAdditionalEXEAssociations(kClass, {S("edit"), S("&Edit"), S("ed %1")}));
    const std::string q = "\"C:\\Tools\\t.exe\"", shell = kClass + "\\shell\\";
    const std::pair<std::string, std::string> expected[] = {
        {".tvlntest", kClass},
        {kClass, "Test file"},
        {shell + "open", "&Open"},
        {shell + "open\\command", q + " \"%1\""},
        {shell + "print", "&Print"},
        {shell + "print\\command", q + " /p \"%1\""},
        {shell + "add", "&Install tvlntest"},
        {shell + "add\\command", q + " /a \"%1\""},
        {shell + "new", "&New"},
        {shell + "new\\command", q + " /n \"%1\""},
        {kClass + "\\DefaultIcon", q + ",2"},
        {shell + "edit", "&Edit"},
        {shell + "edit\\command", "ed %1"},
    };
    for (const auto& [path, text] : expected)
        for (const auto& [root, prefix] : {std::pair<HKEY, std::string>{HKEY_CLASSES_ROOT, ""},
                                           {HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\"}})
            EXPECT_EQ(RawGet(root, prefix + path, ""),
                      std::make_pair(1, Bytes(text.c_str(), text.c_str() + text.size() + 1)))
                << prefix << path;

    const std::string list = "Invalid parameter list passed to CreateAdditionalEXEAssociations - "
                             "expected Name/Text/Command";
    const std::string undefined =
        "Error - attempt to create additional associations before class defined.";
    const std::tuple<std::vector<RegistryValue>, std::int32_t, std::string> errors[] = {
        {{}, cRegistry::kErrAssocList, list},
        {{S("a"), S("b"), S("c"), S("d")}, cRegistry::kErrAssocList, list},
        {{S("a"), S("b"), S("c")}, cRegistry::kErrAssocClass, undefined},
    };
    for (const auto& [items, number, description] : errors) {
        auto e = cRegistry().CreateAdditionalEXEAssociations("TavelinNoSuchClass", items);
        ASSERT_TRUE(e);
        EXPECT_EQ(std::make_tuple(e->Number(), e->Source(), e->Description()),
                  std::make_tuple(number, source, description));
    }
}

// The key and the remote root are closed also when the write fails.
TEST_F(RegistryTest, FailingSetRaisesAndClosesEverything) {
    for (const std::string& machine : {std::string(), LocalMachine()}) {
        RegistryApi api = RealRegistryApi();
        api.CloseKey = &CountClose;
        SetRegistryApi(api);
        Deny(&RegistryApi::SetValueEx);
        g_closed = 0;
        cRegistry r = Make(kHklm, kPath, "V", 3);
        r.SetMachine(machine);
        EXPECT_EQ(Raised([&] { r.SetValue(RegNull{}); }).Number(), cRegistry::kErrSetValue);
        EXPECT_EQ(g_closed, machine.empty() ? 1 : 2) << machine;
    }
}

} // namespace
