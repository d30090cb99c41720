// The record of the map in effect against Wine's registry, in this process: which records are
// trusted, and the key's access list, which Wine does not keep.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <functional>
#include <vector>

#include "core/MapText.h"
#include "keymap/RestartRecord.h"
#include "registry/RegistryApi.h"
#include "win32/Handles.h"
#include "win32/Seam.h"

namespace {

using Kind = Restart::MapValue::Kind;
constexpr char kRecord[] = "SYSTEM\\CurrentControlSet\\Control\\Tavelin";
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

void SetKnown(BYTE number) {
    SetValue("Known", REG_DWORD, {number, 0, 0, 0});
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

bool ProbeLeft() {
    RegistryKey key;
    return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Tavelin\\Probe",
                           0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

} // namespace

namespace {

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
TEST(RestartRecord, OnlyItsOwnRecordOfThisStartIsTrusted) {
    const Restart::MapValue caps{
        Kind::Binary, MapText::HexToBytes("0000000000000000020000002A003A0000000000").value()};
    using enum Restart::State;
    const struct {
        const char* what;
        std::function<void()> then;
        Restart::State state;
        const char* refused = nullptr;
    } cases[] = {
        {.what = "as made", .then = [] {}, .state = Pending},
        {.what = "owned by SYSTEM", .then = [] { SetOwner(L"O:SY"); }, .state = Pending},
        {.what = "owned by Users", .then = [] { SetOwner(L"O:BU"); }, .state = Unknown},
        {.what = "of the start before", .then = TouchStart, .state = Unknown},
        {.what = "a stable key", .then = MakeStable, .state = Unknown},
        {.what = "start a number", .then = [] { Retype("Started", REG_QWORD); }, .state = Unknown},
        {.what = "known as 2", .then = [] { SetKnown(2); }, .state = Unknown},
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
            RestartRecord::BeforeWrite(caps);
        }
        c.then();
        EXPECT_EQ(Restart::Keyword(RestartRecord::StateOf({Kind::Missing, {}})),
                  Restart::Keyword(c.state));
        EXPECT_FALSE(ProbeLeft());
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

// Whether a token may open an object of this descriptor with these rights. The access check
// wants a group, which the registry gives the key itself: the owner's stands in.
bool Granted(const std::vector<BYTE>& descriptor, HANDLE token, DWORD rights) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    SECURITY_DESCRIPTOR checked;
    ::GetSecurityDescriptorOwner(const_cast<BYTE*>(descriptor.data()), &owner, &defaulted);
    ::GetSecurityDescriptorDacl(const_cast<BYTE*>(descriptor.data()), &present, &dacl, &defaulted);
    ::InitializeSecurityDescriptor(&checked, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorOwner(&checked, owner, FALSE);
    ::SetSecurityDescriptorGroup(&checked, owner, FALSE);
    ::SetSecurityDescriptorDacl(&checked, present, dacl, FALSE);
    GENERIC_MAPPING mapping{KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};
    PRIVILEGE_SET privileges{};
    DWORD size = sizeof privileges, granted = 0;
    BOOL status = FALSE;
    const BOOL checkedOk =
        ::AccessCheck(&checked, token, rights, &mapping, &privileges, &size, &granted, &status);
    EXPECT_TRUE(checkedOk) << ::GetLastError();
    return checkedOk && status;
}

} // namespace

// Wine keeps no access list given at a key's creation, so the one handed to the registry is
// checked here by the system's own access check: a standard user (this process's token with the
// Administrators group made deny-only) may do nothing to the record, an administrator anything.
// The key is volatile, owned by Administrators, and takes nothing from the key above it.
TEST(RestartRecord, OnlyAdministratorsMayWriteTheRecord) {
    auto calls = Seam<RegistryApi>::Current();
    calls.CreateKeyEx = &CreateRecorded;
    {
        const Seam<RegistryApi>::Override recorded(calls);
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
        RestartRecord::BeforeWrite({Kind::Missing, {}});
    }
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
    ASSERT_FALSE(g_created.descriptor.empty());
    EXPECT_TRUE(g_created.options & REG_OPTION_VOLATILE);

    UniqueHandle process, administrator, restricted, standardUser;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, process.put());
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    UniqueSid admins;
    ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                               0, 0, 0, 0, admins.put());
    SID_AND_ATTRIBUTES denyOnly{admins.get(), 0};
    ::CreateRestrictedToken(process.get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr,
                            restricted.put());
    ::DuplicateToken(restricted.get(), SecurityImpersonation, standardUser.put());
    ::DuplicateToken(process.get(), SecurityImpersonation, administrator.put());
    for (const DWORD rights : {DWORD(KEY_SET_VALUE), DWORD(KEY_CREATE_SUB_KEY), DWORD(DELETE),
                               DWORD(WRITE_DAC), DWORD(WRITE_OWNER)}) {
        EXPECT_FALSE(Granted(g_created.descriptor, standardUser.get(), rights)) << rights;
        EXPECT_TRUE(Granted(g_created.descriptor, administrator.get(), rights)) << rights;
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ::GetSecurityDescriptorOwner(g_created.descriptor.data(), &owner, &defaulted);
    EXPECT_TRUE(owner && ::EqualSid(owner, admins.get()));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(g_created.descriptor.data(), &control, &revision);
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
}
