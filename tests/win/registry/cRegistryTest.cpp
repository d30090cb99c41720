#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <optional>

#include "core/MMapText.h"
#include "registry/RegistryApi.h"
#include "registry/cRegistry.h"

namespace {

using namespace std::string_literals;
const RegistryValue kOne = ByteArray{0, {1, 0}}, kZero = ByteArray{0, {0}}; // and the extra 0
constexpr std::uint32_t kHkcu = 0x80000001u;
const std::string kBase = "Software\\TavelinTest", kPath = kBase + "\\Registry";
const char kClass[] = "TavelinTest.Doc", kExtension[] = ".tvlntest";

template <typename F> struct DenyOf;
template <typename R, typename... A> struct DenyOf<R(WINAPI*)(A...)> {
    static R WINAPI Call(A...) { return ERROR_ACCESS_DENIED; }
};
// Announces names shorter than they are (a multi-byte name, or one added meanwhile).
LONG WINAPI ShortNames(HKEY k, LPSTR c, LPDWORD cc, LPDWORD r, LPDWORD s, LPDWORD sl, LPDWORD cl,
                       LPDWORD v, LPDWORD longest, LPDWORD vl, LPDWORD sd, PFILETIME t) {
    const LONG rc = RegQueryInfoKeyA(k, c, cc, r, s, sl, cl, v, longest, vl, sd, t);
    *longest = 1;
    return rc;
}
std::optional<Seam<RegistryApi>::Override> g_fakes;
// Replaces one more call of the table in use until the test ends.
template <typename F>
void Fake(F RegistryApi::*slot, std::type_identity_t<F> f = &DenyOf<F>::Call) {
    RegistryApi api = Registry();
    api.*slot = f;
    g_fakes.emplace(api);
}

cRegistry Make(const std::string& path = kPath) {
    cRegistry r;
    r.SetClassKey(kHkcu);
    r.SetSectionKey(path);
    r.SetValueKey("V");
    r.SetValueType(REG_SZ);
    return r;
}

// The value as stored, past the table: its type and bytes, environment references unexpanded.
const std::pair<DWORD, std::string> kNone{REG_NONE, "none"};
std::pair<DWORD, std::string> Stored(HKEY root, const std::string& path, const char* name = "V") {
    std::uint8_t bytes[512];
    DWORD type = REG_NONE, size = sizeof bytes;
    if (::RegGetValueA(root, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, bytes, &size))
        return kNone;
    return {type, MMapText::BytesToHex({bytes, size})};
}
// As a text's bytes with its terminator.
std::pair<DWORD, std::string> Text(const std::string& s) {
    return {REG_SZ,
            MMapText::BytesToHex({reinterpret_cast<const std::uint8_t*>(s.c_str()), s.size() + 1})};
}

struct RegistryTest : ::testing::Test {
    void TearDown() override {
        g_fakes.reset();
        SHDeleteKeyA(HKEY_CURRENT_USER, kBase.c_str());
        for (const char* key : {kClass, kExtension})
            SHDeleteKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Classes\\"s + key).c_str());
    }
};

} // namespace

// Each kind of value goes in with its registry type and comes back as it went in; a text naming
// a variable is stored expandable and read expanded. The reader keeps what it was asked with.
TEST_F(RegistryTest, ValuesKeepTheirType) {
    ::SetEnvironmentVariableA("TV", "v");
    const struct {
        std::int32_t as;
        RegistryValue in;
        DWORD type;
        std::string hex;
        RegistryValue out;
    } cases[] = {
        {.as = REG_SZ, .in = "%TV%"s, .type = REG_EXPAND_SZ, .hex = "2554562500", .out = "v"s},
        {.as = REG_DWORD, .in = std::int16_t{-2}, .type = REG_DWORD, .hex = "FEFFFFFF", .out = -2},
        {.as = REG_BINARY, .in = ByteArray{0, {1}}, .type = REG_BINARY, .hex = "01", .out = kOne},
        {.as = REG_BINARY, .in = RegNull{}, .type = REG_BINARY, .hex = "", .out = kZero},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        std::uint32_t root = kHkcu;
        std::string section = kPath, name = "V";
        std::int32_t type = c.as;
        RegistryValue fallback = "default"s, written = c.in;
        cRegistry().SetValueEx(root, section, name, type, fallback, written);
        EXPECT_EQ(Stored(HKEY_CURRENT_USER, kPath), std::pair(c.type, c.hex));
        cRegistry reader;
        EXPECT_EQ(reader.ValueEx(root, section, name, type, fallback), c.out);
        EXPECT_EQ(reader.ValueType(), static_cast<std::int32_t>(c.type));
        EXPECT_EQ(
            std::tuple(reader.ClassKey(), reader.SectionKey(), reader.ValueKey(), reader.Default()),
            std::tuple(root, section, name, fallback));
    }
}

// Keys are made, listed and deleted where the section names them, never the root itself; values
// are listed whole, also past a name longer than announced.
TEST_F(RegistryTest, KeysAndValueNames) {
    for (const char* sub : {"\\A", "\\B"})
        EXPECT_TRUE(Make(kPath + sub).CreateKey());
    std::vector<std::string> names;
    std::int32_t count = 0;
    Make().EnumerateSections(names, count);
    std::ranges::sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(Make(kPath + "\\A").DeleteKey());
    EXPECT_FALSE(Make(kPath + "\\A").KeyExists());
    EXPECT_THROW(Make("").DeleteKey(), AppError);
    EXPECT_TRUE(Make(kPath + "\\B").KeyExists());
    const std::string longName(300, 'n');
    for (const std::string& n : {"Scancode Map"s, "TVLN Backup"s, longName})
        SHSetValueA(HKEY_CURRENT_USER, kPath.c_str(), n.c_str(), REG_BINARY, "", 0);
    Fake(&RegistryApi::QueryInfoKey, &ShortNames);
    EXPECT_TRUE(Make().EnumerateValues(names, count)); // over the sections' names
    std::ranges::sort(names);                          // in the registry's order, which is its own
    EXPECT_EQ(names, (std::vector<std::string>{"Scancode Map", "TVLN Backup", longName}));
    EXPECT_EQ(count, 3);
}

// A file type is registered with the program quoted; further verbs only for a class that exists
// and a whole verb list. (Wine's HKEY_CLASSES_ROOT is HKLM\SOFTWARE\Classes: one place here.)
TEST_F(RegistryTest, FileAssociations) {
    cRegistry r;
    r.CreateEXEAssociation(" C:\\t.exe ", kClass, "Test file", "tvlntest", "", true, "", false, "",
                           false, "", 2);
    EXPECT_EQ(r.CreateAdditionalEXEAssociations(kClass, {"edit"s, "&Edit"s, "e.exe \"%1\""s}),
              std::nullopt);
    const struct {
        std::string key;
        std::pair<DWORD, std::string> stored;
    } cases[] = {
        {.key = kExtension, .stored = Text(kClass)},
        {.key = kClass + "\\shell\\open\\command"s, .stored = Text("\"C:\\t.exe\" \"%1\"")},
        {.key = kClass + "\\DefaultIcon"s, .stored = Text("\"C:\\t.exe\",2")},
        {.key = kClass + "\\shell\\edit\\command"s, .stored = Text("e.exe \"%1\"")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\" + c.key, ""), c.stored) << c.key;
    const auto error = [&](const std::string& cls, std::vector<RegistryValue> items) {
        return r.CreateAdditionalEXEAssociations(cls, items).value_or(AppError(0, "", "")).Number();
    };
    EXPECT_EQ(error(kClass, {"edit"s, "&Edit"s}), cRegistry::kErrAssocList);
    EXPECT_EQ(error("TavelinTest.None", {"a"s, "b"s, "c"s}), cRegistry::kErrAssocClass);
}

// What is not there or cannot be read gives the default; a big-endian number is turned round.
// Another computer's registry: Wine connects only to its own name, which stands in for one that
// answers; a computer that does not answer gives the default and a write that fails.
TEST_F(RegistryTest, ReadsHereAndOnAnotherComputer) {
    const DWORD bigEndian = 0x02010000;
    SHSetValueA(HKEY_CURRENT_USER, kPath.c_str(), "V", REG_DWORD_BIG_ENDIAN, &bigEndian, 4);
    cRegistry r = Make();
    r.SetDefault("default"s);
    EXPECT_EQ(r.Value(), RegistryValue(std::int32_t{0x102}));
    r.SetValueKey("missing");
    EXPECT_EQ(r.Value(), RegistryValue("default"s));
    r.SetValueKey("V");
    r.SetValueType(REG_SZ); // a read takes on the type it found
    char name[256] = {};
    DWORD length = sizeof name;
    ASSERT_TRUE(::GetComputerNameA(name, &length));
    for (const auto& [machine, kept] :
         {std::pair("\\\\pc"s, "\\\\pc"s), std::pair("pc1"s, "\\\\pc1"s), std::pair("ab"s, ""s)}) {
        r.SetMachine(machine);
        EXPECT_EQ(r.Machine(), kept) << machine;
    }
    r.SetMachine("\\\\"s + name); // a name of one or two characters needs the backslashes
    r.SetValue("there"s);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kPath), Text("there"));
    EXPECT_EQ(r.Value(), RegistryValue("there"s));
    r.SetMachine("tavelin-nowhere");
    EXPECT_EQ(r.Value(), RegistryValue("default"s));
    EXPECT_THROW(r.SetValue("x"s), AppError);
}

// What a failed write or delete says: the number tells the command line's German line which
// words to use, the text names the key (the source: CommandLineTest's refused write).
TEST_F(RegistryTest, ErrorTexts) {
    const std::string key = "Key: '-2147483647',Section: '" + kPath + "',Key: 'V";
    ASSERT_TRUE(Make().CreateKey());
    Fake(&RegistryApi::SetValueEx);
    const struct {
        void (*act)();
        std::int32_t number;
        std::string description;
    } cases[] = {
        {.act = [] { Make().DeleteValue(); },
         .number = cRegistry::kErrKey,
         .description = "Failed to delete registry " + key},
        {.act = [] { Make().SetValue("x"s); },
         .number = cRegistry::kErrSetValue,
         .description = "Failed to set registry value " + key + "' to value: ''"},
    };
    for (const auto& c : cases) {
        try {
            c.act();
            ADD_FAILURE() << "nothing raised: " << c.description;
        } catch (const AppError& e) {
            EXPECT_EQ(e.Number(), c.number);
            EXPECT_EQ(e.Description(), c.description);
        }
    }
}
