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

// Announces names shorter than they are (a multi-byte name, or one added meanwhile).
LONG WINAPI ShortNames(HKEY k, LPSTR c, LPDWORD cc, LPDWORD r, LPDWORD s, LPDWORD sl, LPDWORD cl,
                       LPDWORD v, LPDWORD longest, LPDWORD vl, LPDWORD sd, PFILETIME t) {
    const LONG rc = RegQueryInfoKeyA(k, c, cc, r, s, sl, cl, v, longest, vl, sd, t);
    *longest = 1;
    return rc;
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
std::pair<DWORD, std::string> Stored(HKEY root, const std::string& path, const char* name = "V") {
    std::uint8_t bytes[512];
    DWORD type = REG_NONE, size = sizeof bytes;
    if (::RegGetValueA(root, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, bytes, &size))
        return {REG_NONE, "none"};
    return {type, MMapText::BytesToHex({bytes, size})};
}
// As a text's bytes with its terminator.
std::pair<DWORD, std::string> Text(const std::string& s) {
    return {REG_SZ,
            MMapText::BytesToHex({reinterpret_cast<const std::uint8_t*>(s.c_str()), s.size() + 1})};
}

struct RegistryTest : ::testing::Test {
    void TearDown() override {
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
    RegistryApi api = Registry();
    api.QueryInfoKey = &ShortNames;
    const Seam<RegistryApi>::Override shortNames(api);
    EXPECT_TRUE(Make().EnumerateValues(names, count)); // over the sections' names
    std::ranges::sort(names);                          // in the registry's order, which is its own
    EXPECT_EQ(names, (std::vector<std::string>{"Scancode Map", "TVLN Backup", longName}));
    EXPECT_EQ(count, 3);
}

// A file type is registered with the program quoted, and a further verb. (Wine's
// HKEY_CLASSES_ROOT is HKLM\SOFTWARE\Classes: one place here.)
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
        {.key = kClass + "\\shell\\edit\\command"s, .stored = Text("e.exe \"%1\"")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\" + c.key, ""), c.stored) << c.key;
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
    r.SetMachine("pc1");
    EXPECT_EQ(r.Machine(), "\\\\pc1");
    r.SetMachine("\\\\"s + name); // a name of one or two characters needs the backslashes
    r.SetValue("there"s);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kPath), Text("there"));
    EXPECT_EQ(r.Value(), RegistryValue("there"s));
    r.SetMachine("tavelin-nowhere");
    EXPECT_EQ(r.Value(), RegistryValue("default"s));
    EXPECT_THROW(r.SetValue("x"s), AppError);
}

// A failed delete names the key; its number tells the command line's German line which words to
// use (a failed write's text: CommandLineTest's refused write).
TEST_F(RegistryTest, FailedDeleteNamesTheKey) {
    ASSERT_TRUE(Make().CreateKey());
    try {
        Make().DeleteValue();
        ADD_FAILURE() << "nothing raised";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), cRegistry::kErrKey);
        EXPECT_EQ(e.Description(),
                  "Failed to delete registry Key: '-2147483647',Section: '" + kPath + "',Key: 'V");
    }
}
