#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <functional>
#include <optional>

#include "core/MMapText.h"
#include "keymap/MRestartRecord.h"
#include "registry/RegistryApi.h"
#include "win32/CAdminsOnly.h"
#include "win32/Handles.h"
#include "win32/Seam.h"

namespace {

using Kind = MRestartState::MapValue::Kind;
constexpr char kRecord[] = "SYSTEM\\CurrentControlSet\\Control\\Tavelin",
               kProbe[] = "SYSTEM\\CurrentControlSet\\Control\\Tavelin\\Probe";
constexpr char kDescription[] = "HARDWARE\\DESCRIPTION\\System";

// What a restart does to the start's mark: the hardware description written anew.
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

void Retype(const char* name, DWORD type) {
    std::vector<BYTE> bytes(64);
    DWORD size = DWORD(bytes.size());
    ::SHGetValueA(HKEY_LOCAL_MACHINE, kRecord, name, nullptr, bytes.data(), &size);
    ::SHSetValueA(HKEY_LOCAL_MACHINE, kRecord, name, type, bytes.data(), size); // the same bytes
}

const char* g_refused = nullptr;
LSTATUS WINAPI SetRefusing(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD size) {
    if (name && g_refused && std::string(name) == g_refused)
        return ERROR_ACCESS_DENIED;
    return ::RegSetValueExA(key, name, reserved, type, data, size);
}

// The last creation of the record key: its security descriptor (self-relative). g_stable: made
// as a stable key instead, as a .reg import would make it.
std::vector<BYTE> g_descriptor;
bool g_stable = false;
LSTATUS WINAPI CreateRecorded(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options,
                              REGSAM rights, const LPSECURITY_ATTRIBUTES attributes, PHKEY key,
                              LPDWORD disposition) {
    if (path && std::string(path) == kRecord && attributes) {
        DWORD size = 0;
        ::MakeSelfRelativeSD(attributes->lpSecurityDescriptor, nullptr, &size);
        g_descriptor.resize(size);
        ::MakeSelfRelativeSD(attributes->lpSecurityDescriptor, g_descriptor.data(), &size);
        options &= g_stable ? ~DWORD(REG_OPTION_VOLATILE) : ~0u;
    }
    return ::RegCreateKeyExA(root, path, reserved, cls, options, rights, attributes, key,
                             disposition);
}

void MakeProbe() {
    ::SHSetValueA(HKEY_LOCAL_MACHINE, kProbe, "", REG_SZ, "", 1);
}

BOOL WINAPI OutOfMemory(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                        DWORD, DWORD, PSID*) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}

} // namespace

// A record made by the first write after a start, then changed: only the record as made counts
// (against it no map differs). One of another owner, in a key that outlives a restart, with a
// value of another type, or cut short by a refused write (else the map in effect would be taken
// for none) is not Tavelin's: what is in effect is then unknown. The access list handed to the
// registry (Wine keeps none given at creation): Administrators own the key, only they and SYSTEM
// may do anything with it, nothing comes from the key above.
TEST(MRestartRecord, OnlyItsOwnRecordOfThisStartIsTrusted) {
    const MRestartState::MapValue caps{
        Kind::Binary, MMapText::HexToBytes("0000000000000000020000002A003A0000000000").value()};
    using enum MRestartState::State;
    const struct {
        const char* what;
        std::function<void()> then = [] {};
        MRestartState::State state = Unknown;
        const char* refused = nullptr;          // the value whose write is refused
        bool stable = false, probeKept = false; // someone's subkey of the probe's name stays
        bool noAccessList = false;              // none made: no record either
    } cases[] = {
        // clang-format off
        {.what = "as made", .state = Pending},
        {.what = "owned by Users", .then = [] { SetOwner(L"O:BU"); }},
        {.what = "a stable key", .stable = true},
        {.what = "a stable key with a probe", .then = MakeProbe, .stable = true, .probeKept = true},
        {.what = "start a number", .then = [] { Retype("Started", REG_QWORD); }},
        {.what = "map as text", .then = [] { Retype("Scancode Map", REG_SZ); }},
        {.what = "map refused", .refused = "Scancode Map"},
        {.what = "no access list, no record", .state = No, .noAccessList = true},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
        TouchStart();
        g_refused = c.refused;
        g_stable = c.stable;
        {
            const Seam<RegistryApi>::Override faked(
                {.CreateKeyEx = &CreateRecorded, .SetValueEx = &SetRefusing});
            std::optional<Seam<CAdminsOnly::Calls>::Override> noSids;
            if (c.noAccessList)
                noSids.emplace(CAdminsOnly::Calls{&OutOfMemory});
            MRestartRecord::BeforeWrite(caps);
        }
        c.then();
        EXPECT_EQ(MRestartState::Keyword(MRestartRecord::StateOf({Kind::Missing, {}})),
                  MRestartState::Keyword(c.state));
        EXPECT_EQ(::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kProbe) == ERROR_SUCCESS, c.probeKept);
    }
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
    LPSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(
        g_descriptor.data(), SDDL_REVISION_1,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_STREQ(text, "O:BAD:P(A;;KA;;;SY)(A;;KA;;;BA)");
    ::LocalFree(text);
}
