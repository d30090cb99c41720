#include <gtest/gtest.h>

#include <shlwapi.h>

#include <functional>
#include <stdexcept>

#include "Fatal.h"
#include "RegistryApi.h"
#include "Text.h"
#include "cRegistry.h"

namespace {

constexpr std::uint32_t kHkcr = 0x80000000u, kHkcu = 0x80000001u, kHklm = 0x80000002u;
const std::string kBase = "Software\\TavelinTest";
const std::string kPath = kBase + "\\Registry";
const std::string kClass = "TavelinTestClass";
using Bytes = std::vector<std::uint8_t>;

void RawSet(const std::string& path, const std::string& name, DWORD type, const Bytes& data) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), 0);
    RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

// Type and bytes of a stored value; type -1 when there is none.
std::pair<int, Bytes> RawGet(HKEY root, const std::string& path, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != 0)
        return {-1, {}};
    Bytes data(4096);
    DWORD type = 0, size = 4096;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (rc != 0)
        return {-1, {}};
    data.resize(size);
    return {static_cast<int>(type), data};
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

template <typename F> struct DenyOf;
template <typename R, typename... A> struct DenyOf<R(WINAPI*)(A...)> {
    static R WINAPI Call(A...) { return ERROR_ACCESS_DENIED; }
};
template <typename F> void Deny(F& slot) { slot = &DenyOf<F>::Call; }
template <typename F> void DenyNow(F RegistryApi::*slot) {
    RegistryApi api = Registry();
    Deny(api.*slot);
    SetRegistryApi(api);
}
LONG WINAPI ThrowingEnumKey(HKEY, DWORD, LPSTR, DWORD) { throw std::length_error("too long"); }

// Counts keys obtained and closed through the table.
int g_opened = 0, g_closed = 0;
LONG WINAPI CountCreate(HKEY k, LPCSTR s, DWORD r, LPSTR c, DWORD o, REGSAM a,
                        LPSECURITY_ATTRIBUTES sa, PHKEY out, LPDWORD d) {
    LONG rc = RegCreateKeyExA(k, s, r, c, o, a, sa, out, d);
    g_opened += rc == 0;
    return rc;
}
LONG WINAPI CountConnect(LPCSTR m, HKEY k, PHKEY out) {
    LONG rc = RegConnectRegistryA(m, k, out);
    g_opened += rc == 0;
    return rc;
}
LONG WINAPI CountClose(HKEY k) {
    ++g_closed;
    return RegCloseKey(k);
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
    static cRegistry Make(std::uint32_t root = kHkcu, const std::string& path = kPath,
                          const std::string& name = "V", std::int32_t type = 1) {
        cRegistry r;
        r.SetClassKey(root);
        r.SetSectionKey(path);
        r.SetValueKey(name);
        r.SetValueType(type);
        return r;
    }
    static AppError Raised(const std::function<void()>& f) {
        try {
            f();
        } catch (const AppError& e) {
            return e;
        }
        ADD_FAILURE() << "nothing raised";
        return AppError(0, "", "");
    }
    const std::string source = ExeName() + ".cRegistry";
};

TEST_F(RegistryTest, ReadsEachStoredType) {
    SetEnvironmentVariableA("TAVELIN_X", "C:\\x");
    Bytes twelve{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, thirteen = twelve;
    thirteen.push_back(0);
    struct Case { DWORD type; Bytes stored; RegistryValue expected; };
    const Case cases[] = {
        {REG_SZ, Text(std::string("abc\0", 4)), std::string("abc")},
        {REG_SZ, Text("ab"), std::string("ab")}, // stored without terminator
        {REG_SZ, {}, std::string()},
        {REG_EXPAND_SZ, Text(std::string("%TAVELIN_X%\\y\0", 14)), std::string("C:\\x\\y")},
        {REG_MULTI_SZ, Text(std::string("a\0b\0\0", 5)), std::string("a\0b\0", 4)},
        {REG_DWORD, {0x78, 0x56, 0x34, 0x12}, std::int32_t{0x12345678}},
        {REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}, std::int32_t{0x12345678}},
        {REG_BINARY, twelve, ByteArray{0, thirteen}},
        {REG_BINARY, {}, ByteArray{0, {0}}},
        {REG_NONE, {7, 8}, ByteArray{0, {7, 8, 0}}},
    };
    for (const auto& c : cases) {
        RawSet(kPath, "V", c.type, c.stored);
        cRegistry r = Make(kHkcu, kPath, "V", 99);
        EXPECT_EQ(r.Value(), c.expected) << "type " << c.type;
        EXPECT_EQ(r.ValueType(), static_cast<std::int32_t>(c.type));
    }
}

TEST_F(RegistryTest, MissingValueOrKeyGivesDefaultAndLeavesValueType) {
    RawSet(kPath, "Other", REG_SZ, Text("x"));
    for (const auto& path : {kPath, kPath + "\\Missing\\"}) {
        cRegistry r = Make(kHkcu, path, "V", 3);
        r.SetDefault(std::string("fallback"));
        EXPECT_EQ(r.Value(), RegistryValue(std::string("fallback")));
        EXPECT_EQ(r.ValueType(), 3);
    }
}

TEST_F(RegistryTest, WritesByTypeRules) {
    struct Case { std::int32_t type; RegistryValue value; int storedType; Bytes stored; };
    const Case cases[] = {
        {1, std::string("%SystemRoot%\\x"), REG_EXPAND_SZ, Text(std::string("%SystemRoot%\\x\0", 15))},
        {1, std::string("%a%"), REG_EXPAND_SZ, Text(std::string("%a%\0", 4))},
        {1, std::string("50%"), REG_SZ, Text(std::string("50%\0", 4))},
        {1, std::string("%%"), REG_SZ, Text(std::string("%%\0", 3))},
        {2, std::string("plain"), REG_SZ, Text(std::string("plain\0", 6))},
        {1, std::int32_t{42}, REG_SZ, Text(std::string("42\0", 3))},
        {3, RegNull{}, REG_BINARY, {}},
        {3, ByteArray{1, {1, 2, 3}}, REG_BINARY, {1, 2, 3}},
        {4, std::int16_t{-1}, REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
        {5, std::int32_t{0x12345678}, REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {4, std::string("text"), -1, {}}, // stores nothing, reports nothing
    };
    for (const auto& c : cases) {
        SHDeleteKeyA(HKEY_CURRENT_USER, kBase.c_str());
        Make(kHkcu, kPath, "V", c.type).SetValue(c.value);
        EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "V"), std::make_pair(c.storedType, c.stored))
            << "type " << c.type << " " << RegistryValueToText(c.value);
    }
    for (std::int32_t type : {0, 7, 6, 11})
        EXPECT_EQ(Raised([&] { Make(kHkcu, kPath, "V", type).SetValue(std::string("x")); }).Number(),
                  cRegistry::kErrSetValue);
    AppError e = Raised([&] { Make(kHkcu, kPath, "W", 3).SetValue(std::string("x")); });
    EXPECT_EQ(e.Number(), 26001);
    EXPECT_EQ(e.Source(), "");
    EXPECT_EQ(e.Description(), "");
    EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "W").first, -1);
}

TEST_F(RegistryTest, ErrorTexts) {
    const std::string missing = kPath + "\\Missing";
    const std::string umlaut = Utf8ToAnsi("Schl\xC3\xBCssel"); // "Schlüssel" in the ANSI code page
    RawSet(kPath, "", REG_SZ, {});
    struct Case { std::function<void()> act; std::int32_t number; std::string description; };
    const Case cases[] = {
        {[&] { DenyNow(&RegistryApi::CreateKeyEx); Make(kHkcu, umlaut).CreateKey(); },
         26001, "Failed to create registry Key: 'Schl\xC3\xBCssel"},
        {[&] { Make(kHkcu, missing).DeleteKey(); },
         26001, "Failed to delete registry Key: '-2147483647',Section: '" + missing},
        {[&] { Make(kHklm, "").DeleteKey(); }, 26001, "Failed to delete registry Key: '-2147483646',Section: '"},
        {[&] { Make(kHkcu, missing).DeleteValue(); },
         26001, "Failed to open key '-2147483647',Section: '" + missing + "' for delete access"},
        {[&] { Make(kHkcu, kPath, "Nope").DeleteValue(); },
         26001, "Failed to delete registry Key: '-2147483647',Section: '" + kPath + "',Key: 'Nope"},
        {[&] { DenyNow(&RegistryApi::CreateKeyEx); Make(kHklm, kPath, umlaut).SetValue(std::string("x")); },
         26001, "Failed to set registry value Key: '-2147483646',Section: '" + kPath +
                    "',Key: 'Schl\xC3\xBCssel' to value: ''"},
        {[&] {  // the text names the last successful write, not the failing one
             cRegistry r = Make();
             r.SetValue(umlaut);
             r.SetValue(std::string("second"));
             DenyNow(&RegistryApi::SetValueEx);
             r.SetValue(std::string("third"));
         },
         cRegistry::kErrSetValue, "Failed to set registry value Key: '-2147483647',Section: '" + kPath +
                                      "',Key: 'V' to value: 'second'"},
        {[&] {  // a byte array reads as UTF-16 code units; 'A' 0xC4 0x00 is "AÄ"
             cRegistry r = Make(kHkcu, kPath, "", 3);
             r.SetValue(ByteArray{0, {'A', 0, 0xC4, 0}});
             r.SetValueType(0);
             r.SetValue(std::string("x"));
         },
         cRegistry::kErrSetValue, "Failed to set registry value Key: '-2147483647',Section: '" + kPath +
                                      "',Key: '' to value: 'A\xC3\x84'"},
        {[&] { cRegistry r = Make(); r.SetMachine("no-such-host-tavelin"); r.SetValue(std::string("x")); },
         26001, "Failed to set registry value Key: '-2147483647',Section: '" + kPath +
                    "',Key: 'V' to value: ''"},
    };
    for (const auto& c : cases) {
        AppError e = Raised(c.act);
        SetRegistryApi(RealRegistryApi());
        EXPECT_EQ(e.Number(), c.number) << c.description;
        EXPECT_EQ(e.Source(), source);
        EXPECT_EQ(e.Description(), c.description);
    }
    EXPECT_EQ(RawGet(HKEY_CURRENT_USER, kPath, "V").second, Text(std::string("second\0", 7)));
}

TEST_F(RegistryTest, MachineIsNormalisedAndOnlyValueUsesIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"ab", ""}, {"abc", "\\\\abc"}, {"\\\\host", "\\\\host"}};
    cRegistry r = Make();
    for (const auto& [given, stored] : cases) {
        r.SetMachine(given);
        EXPECT_EQ(r.Machine(), stored);
    }
    RawSet(kPath, "V", REG_SZ, Text(std::string("here\0", 5)));
    r.SetMachine("no-such-host-tavelin");
    r.SetDefault(std::int32_t{7});
    EXPECT_EQ(r.Value(), RegistryValue(std::int32_t{7}));
    EXPECT_TRUE(r.KeyExists());

    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    r.SetMachine("\\\\" + std::string(name)); // a short host name would be cleared
    EXPECT_EQ(r.Value(), RegistryValue(std::string("here")));
}

TEST_F(RegistryTest, KeysAndValues) {
    cRegistry r = Make(kHklm, kPath + "\\A\\B\\", "V");
    EXPECT_FALSE(r.KeyExists());
    EXPECT_TRUE(r.CreateKey());
    EXPECT_TRUE(r.KeyExists());
    r.SetValue(std::string("x"));
    EXPECT_TRUE(r.DeleteValue());
    EXPECT_EQ(RawGet(HKEY_LOCAL_MACHINE, kPath + "\\A\\B", "V").first, -1);
    EXPECT_TRUE(r.DeleteKey());
    EXPECT_FALSE(r.KeyExists());
    EXPECT_TRUE(Make(kHklm, kPath + "\\A").KeyExists());
}

TEST_F(RegistryTest, Enumerations) {
    const std::string layout = kPath + "\\Keyboard Layout\\";
    const std::string longName(300, 'n');
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
    g_closed = 0;
    SetRegistryApi(api);
    AppError e = Raised([&] { r.EnumerateSections(names, count); });
    EXPECT_EQ(e.Number(), cRegistry::kErrEnumSections);
    EXPECT_EQ(e.Description(), "too long");
    EXPECT_EQ(g_closed, 1);
}

TEST_F(RegistryTest, ValueExReadsAndWritesWithDefault) {
    std::uint32_t root = kHkcu;
    std::string path = kPath, name = "V";
    std::int32_t type = 1;
    RegistryValue dflt = std::string("dflt"), newValue = std::string();
    cRegistry r;
    r.SetValueEx(root, path, name, type, dflt, newValue);
    EXPECT_EQ(newValue, dflt);
    RegistryValue empty = std::string();
    std::int32_t anyType = 0;
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
    const std::string q = "\"C:\\Tools\\t.exe\"";
    const std::pair<std::string, std::string> expected[] = {
        {".tvlntest", kClass}, {kClass, "Test file"},
        {kClass + "\\shell\\open", "&Open"}, {kClass + "\\shell\\open\\command", q + " \"%1\""},
        {kClass + "\\shell\\print", "&Print"}, {kClass + "\\shell\\print\\command", q + " /p \"%1\""},
        {kClass + "\\shell\\add", "&Install tvlntest"}, {kClass + "\\shell\\add\\command", q + " /a \"%1\""},
        {kClass + "\\shell\\new", "&New"}, {kClass + "\\shell\\new\\command", q + " /n \"%1\""},
        {kClass + "\\DefaultIcon", q + ",2"},
        {kClass + "\\shell\\edit", "&Edit"}, {kClass + "\\shell\\edit\\command", "notepad \"%1\""},
    };
    const std::pair<HKEY, std::string> roots[] = {{HKEY_CLASSES_ROOT, ""},
                                                  {HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\"}};
    // Runs on the same object, whose last write left HKEY_LOCAL_MACHINE set.
    EXPECT_FALSE(r.CreateAdditionalEXEAssociations(
        kClass, {std::string("edit"), std::string("&Edit"), std::string("notepad \"%1\"")}));
    for (const auto& [path, text] : expected)
        for (const auto& [root, prefix] : roots)
            EXPECT_EQ(RawGet(root, prefix + path, ""), std::make_pair(int{REG_SZ}, Text(text + '\0')))
                << prefix << path;

    const std::string listText =
        "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command";
    const std::string classText = "Error - attempt to create additional associations before class defined.";
    const std::pair<std::vector<RegistryValue>, std::pair<std::int32_t, std::string>> errors[] = {
        {{}, {cRegistry::kErrAssocList, listText}},
        {{std::string("a"), std::string("b"), std::string("c"), std::string("d")}, {cRegistry::kErrAssocList, listText}},
        {{std::string("a"), std::string("b"), std::string("c")}, {cRegistry::kErrAssocClass, classText}},
    };
    for (const auto& [items, error] : errors) {
        auto result = cRegistry().CreateAdditionalEXEAssociations("TavelinNoSuchClass", items);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->Number(), error.first);
        EXPECT_EQ(result->Source(), source);
        EXPECT_EQ(result->Description(), error.second);
    }
}

// Every key and remote root obtained is closed, also when the write fails.
TEST_F(RegistryTest, FailingSetRaisesAndClosesEverything) {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    for (const std::string& machine : {std::string(), "\\\\" + std::string(name)}) {
        RegistryApi api = RealRegistryApi();
        api.CreateKeyEx = &CountCreate;
        api.ConnectRegistry = &CountConnect;
        api.CloseKey = &CountClose;
        Deny(api.SetValueEx);
        SetRegistryApi(api);
        g_opened = g_closed = 0;
        cRegistry r = Make(kHklm, kPath, "V", 3);
        r.SetMachine(machine);
        EXPECT_EQ(Raised([&] { r.SetValue(RegNull{}); }).Number(), cRegistry::kErrSetValue);
        EXPECT_EQ(g_opened, machine.empty() ? 1 : 2);
        EXPECT_EQ(g_closed, g_opened) << machine;
    }
}

} // namespace
