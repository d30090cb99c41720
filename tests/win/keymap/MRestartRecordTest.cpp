// The record of the map in effect against Wine's registry, in this process: which records are
// trusted, and the key's access list, which Wine does not keep.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <functional>
#include <vector>

#include "core/MMapText.h"
#include "keymap/MRestartRecord.h"
#include "registry/RegistryApi.h"
#include "win32/Handles.h"
#include "win32/Seam.h"

namespace {

using Kind = MRestartState::MapValue::Kind;
constexpr char kRecord[] = "SYSTEM\\CurrentControlSet\\Control\\Tavelin",
               kProbe[] = "SYSTEM\\CurrentControlSet\\Control\\Tavelin\\Probe";
constexpr char kDescription[] = "HARDWARE\\DESCRIPTION\\System";

// What a restart does to what the record is read with: the hardware description written anew
// (its last write is the start). A real restart also removes the volatile record.
void TouchStart() {
    const DWORD one = 1;
    ::SHSetValueA(HKEY_LOCAL_MACHINE, kDescription, "Tavelin test", REG_DWORD, &one, sizeof one);
    ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kDescription, "Tavelin test");
}

void SetOwner(const wchar_t* sddl) {
    RegistryKey key;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRecord, 0, WRITE_OWNER, key.put());
    PSECURITY_DESCRIPTOR sd = nullptr;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr);
    ::RegSetKeySecurity(key.get(), OWNER_SECURITY_INFORMATION, sd);
    ::LocalFree(sd);
}

void SetValue(const char* name, DWORD type, std::vector<BYTE> bytes) {
    ::SHSetValueA(HKEY_LOCAL_MACHINE, kRecord, name, type, bytes.data(), DWORD(bytes.size()));
}

// A value of the record with its bytes kept and another type.
void Retype(const char* name, DWORD type) {
    std::vector<BYTE> bytes(64);
    DWORD size = DWORD(bytes.size());
    ::SHGetValueA(HKEY_LOCAL_MACHINE, kRecord, name, nullptr, bytes.data(), &size);
    bytes.resize(size);
    SetValue(name, type, bytes);
}

// The record made again as a stable key with the same values, as a .reg import would make it.
void MakeStable() {
    std::vector<std::tuple<std::string, DWORD, std::vector<BYTE>>> values;
    RegistryKey key;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRecord, 0, KEY_READ, key.put());
    for (DWORD i = 0;; ++i) {
        char name[64];
        std::vector<BYTE> data(256);
        DWORD nameSize = sizeof name, type = 0, size = DWORD(data.size());
        if (::RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, data.data(), &size))
            break;
        data.resize(size);
        values.emplace_back(name, type, data);
    }
    key.reset();
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
    for (const auto& [name, type, data] : values)
        SetValue(name.c_str(), type, data);
}

const char* g_refused = nullptr; // the value whose write is refused
LSTATUS WINAPI SetRefusing(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD size) {
    if (name && g_refused && std::string(name) == g_refused)
        return ERROR_ACCESS_DENIED;
    return ::RegSetValueExA(key, name, reserved, type, data, size);
}

} // namespace

// A record made by the first write after a start (a map in effect), then changed as someone else
// could change it: only the record as made counts, and against it no map differs. A record of
// another owner, of another start, in a key that outlives a restart, with a value of another type,
// or cut short by a refused write (read as it stands, the map in effect would be taken for none)
// is not Tavelin's: what is in effect is then unknown.
TEST(MRestartRecord, OnlyItsOwnRecordOfThisStartIsTrusted) {
    const MRestartState::MapValue caps{
        Kind::Binary, MMapText::HexToBytes("0000000000000000020000002A003A0000000000").value()};
    using enum MRestartState::State;
    const struct {
        const char* what;
        std::function<void()> then;
        MRestartState::State state;
        const char* refused = nullptr;
    } cases[] = {
        {.what = "as made", .then = [] {}, .state = Pending},
        {.what = "owned by SYSTEM", .then = [] { SetOwner(L"O:SY"); }, .state = Pending},
        {.what = "owned by Users", .then = [] { SetOwner(L"O:BU"); }, .state = Unknown},
        {.what = "of the start before", .then = TouchStart, .state = Unknown},
        {.what = "a stable key", .then = MakeStable, .state = Unknown},
        {.what = "start a number", .then = [] { Retype("Started", REG_QWORD); }, .state = Unknown},
        {.what = "known as 2",
         .then =
             [] {
                 SetValue("Known", REG_DWORD, {2, 0, 0, 0});
             },
         .state = Unknown},
        {.what = "known as bytes", .then = [] { Retype("Known", REG_BINARY); }, .state = Unknown},
        {.what = "map as text", .then = [] { Retype("Scancode Map", REG_SZ); }, .state = Unknown},
        {.what = "map refused", .then = [] {}, .state = Unknown, .refused = "Scancode Map"},
        {.what = "known refused", .then = [] {}, .state = Unknown, .refused = "Known"},
        {.what = "start refused", .then = [] {}, .state = Unknown, .refused = "Started"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
        TouchStart();
        auto calls = Seam<RegistryApi>::Current();
        calls.SetValueEx = &SetRefusing;
        g_refused = c.refused;
        {
            const Seam<RegistryApi>::Override refusing(calls);
            MRestartRecord::BeforeWrite(caps);
        }
        c.then();
        EXPECT_EQ(MRestartState::Keyword(MRestartRecord::StateOf({Kind::Missing, {}})),
                  MRestartState::Keyword(c.state));
        EXPECT_NE(::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kProbe), ERROR_SUCCESS) << "a probe left";
    }
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
}

namespace {

// The last creation of the record key: its options and its security descriptor.
struct Creation {
    DWORD options = 0;
    std::vector<BYTE> descriptor; // self-relative
};
Creation g_created;

LSTATUS WINAPI CreateRecorded(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options,
                              REGSAM rights, const LPSECURITY_ATTRIBUTES attributes, PHKEY key,
                              LPDWORD disposition) {
    if (path && std::string(path) == kRecord && attributes) {
        g_created.options = options;
        DWORD size = 0;
        ::MakeSelfRelativeSD(attributes->lpSecurityDescriptor, nullptr, &size);
        g_created.descriptor.resize(size);
        ::MakeSelfRelativeSD(attributes->lpSecurityDescriptor, g_created.descriptor.data(), &size);
    }
    return ::RegCreateKeyExA(root, path, reserved, cls, options, rights, attributes, key,
                             disposition);
}

} // namespace

// Wine keeps no access list given at a key's creation: the one handed to the registry is read
// here. Administrators own the volatile key, only they and SYSTEM may do anything with it, and it
// takes nothing from the key above.
TEST(MRestartRecord, OnlyAdministratorsMayWriteTheRecord) {
    auto calls = Seam<RegistryApi>::Current();
    calls.CreateKeyEx = &CreateRecorded;
    {
        const Seam<RegistryApi>::Override recorded(calls);
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
        MRestartRecord::BeforeWrite({Kind::Missing, {}});
    }
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
    ASSERT_FALSE(g_created.descriptor.empty());
    EXPECT_TRUE(g_created.options & REG_OPTION_VOLATILE);
    LPSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(
        g_created.descriptor.data(), SDDL_REVISION_1,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_STREQ(text, "O:BAD:P(A;;KA;;;SY)(A;;KA;;;BA)");
    ::LocalFree(text);
}
