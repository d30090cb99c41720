#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <string_view>
#include <thread>

#include "support/MsgBoxWatcher.h"
#include "win32/BaseWindow.h"
#include "win32/CMachineLock.h"
#include "win32/Handles.h"
#include "win32/MConsoleEvents.h"
#include "win32/MText.h"
#include "win32/ModuleSource.h"
#include "win32/Seam.h"

namespace {

constexpr ErrorSource kProbeSource = ModuleSource("Probe");

// Logs what reaches the object where the log outlives it.
class Probe : public BaseWindow<Probe> {
  public:
    explicit Probe(std::vector<UINT>& log) : seen(log) {}
    static const wchar_t* ClassName() { return L"TavelinBaseWindowProbe"; }
    HWND Create() { return CreateWin(kProbeSource, 0, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr); }
    using BaseWindow::Destroy;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
        seen.push_back(msg);
        return Default(msg, wParam, lParam);
    }
    std::vector<UINT>& seen;
};

// The owner and access list as text.
std::string Sddl(PSECURITY_DESCRIPTOR sd) {
    LPSTR text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorA(
        sd, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
        nullptr);
    const std::string sddl = text ? text : "(none)";
    ::LocalFree(text);
    return sddl;
}

} // namespace

// The object sees its window to WM_NCDESTROY; two windows share a class; a window goes with its
// object, unseen. (A failing handler: E2e's refused save shows its box; pointer messages from
// elsewhere: E2e.RealClicksReachEveryPictureListAndButton.)
TEST(Win32, WindowAttachesAndDetaches) {
    std::vector<UINT> firstLog, secondLog;
    Probe first(firstLog);
    HWND b = nullptr;
    {
        Probe second(secondLog);
        b = second.Create();
        ASSERT_TRUE(first.Create() && b);
        first.Destroy();
        EXPECT_EQ(first.Hwnd(), HWND{});
        EXPECT_EQ(firstLog.back(), UINT(WM_NCDESTROY));
    }
    EXPECT_FALSE(::IsWindow(b));
    EXPECT_EQ(std::count(secondLog.begin(), secondLog.end(), UINT(WM_DESTROY)), 0);
}

// The writers' lock admits Administrators and SYSTEM only; a holder that ended without letting go
// leaves it to the next. Wine 8 has no private namespaces: the name is global, as on XP.
TEST(Win32, MachineLockAccessListAndAbandonedHolder) {
    const wchar_t* name = L"TavelinTestLock";
    std::thread([&] {
        EXPECT_EQ((new CMachineLock(name, 0))->Result(), CMachineLock::State::Held);
    }).join();
    const CMachineLock next(name, 0);
    EXPECT_EQ(next.Result(), CMachineLock::State::Held);
    UniqueHandle mutex(::OpenMutexW(READ_CONTROL, FALSE, L"Global\\TavelinTestLock"));
    char descriptor[1024] = {};
    DWORD size = 0;
    ::GetKernelObjectSecurity(mutex.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              descriptor, sizeof descriptor, &size);
    EXPECT_EQ(Sddl(descriptor), "O:BAD:P(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)");
}

namespace {

// A system with private namespaces, played: each call logged. Making and opening the namespace
// answer the case's errors in turn; its mutex is local.
struct {
    std::vector<DWORD> errors;
    std::string log, mutex;
} g_ns;
HANDLE Answer() {
    if (g_ns.errors.empty()) // done: an event stands in for the namespace
        return ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ::SetLastError(g_ns.errors.front());
    g_ns.errors.erase(g_ns.errors.begin());
    return nullptr;
}
HANDLE WINAPI Boundary(LPCWSTR name, ULONG) {
    g_ns.log += MText::WideToUtf8(name);
    return &g_ns;
}
BOOL WINAPI AddSid(HANDLE*, PSID sid) {
    LPSTR text = nullptr;
    ::ConvertSidToStringSidA(sid, &text);
    g_ns.log += std::string(" ") + text;
    ::LocalFree(text);
    return TRUE;
}
void WINAPI DeleteBoundary(HANDLE) {
    g_ns.log += " deleted";
}
HANDLE WINAPI Make(LPSECURITY_ATTRIBUTES sa, LPVOID, LPCWSTR) {
    g_ns.log += " make " + Sddl(sa->lpSecurityDescriptor);
    return Answer();
}
HANDLE WINAPI Open(LPVOID, LPCWSTR) {
    g_ns.log += " open";
    return Answer();
}
BOOLEAN WINAPI Close(HANDLE handle, ULONG) {
    const UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, L"Local\\TavelinNsLock"));
    g_ns.log += mutex ? " closed before the mutex" : " closed";
    return ::CloseHandle(handle);
}
template <typename F> FARPROC Function(F* f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}
FARPROC Namespaces(const char* name) {
    const std::string_view n(name);
    return n == "CreateBoundaryDescriptorW"    ? Function(&Boundary)
           : n == "AddSIDToBoundaryDescriptor" ? Function(&AddSid)
           : n == "DeleteBoundaryDescriptor"   ? Function(&DeleteBoundary)
           : n == "CreatePrivateNamespaceW"    ? Function(&Make)
           : n == "OpenPrivateNamespaceW"      ? Function(&Open)
           : n == "ClosePrivateNamespace"      ? Function(&Close)
                                               : nullptr;
}
HANDLE WINAPI NamespacedMutex(LPSECURITY_ATTRIBUTES sa, BOOL owned, LPCWSTR name) {
    g_ns.mutex = MText::WideToUtf8(name);
    return ::CreateMutexW(sa, owned, L"Local\\TavelinNsLock");
}

std::atomic<UINT> g_endedWith = 0;
void WINAPI RecordEnd(UINT code) {
    g_endedWith = code;
}

} // namespace

// With private namespaces (their functions, whatever version is reported) the lock is in one
// bounded by Administrators: made here or opened (made again when gone between), held as long as
// the mutex; one that cannot be made is a failure, never a fall back to the global name.
TEST(Win32, MachineLockInAnAdministratorsNamespace) {
    constexpr DWORD kExists = ERROR_ALREADY_EXISTS, kDenied = ERROR_ACCESS_DENIED;
    const std::string make = " make O:BAD:P(A;;CCDCLCSWSDRCWDWO;;;SY)(A;;CCDCLCSWSDRCWDWO;;;BA)";
    const struct {
        const char* what;
        std::vector<DWORD> errors = {};
        std::string log = {};
        DWORD error = ERROR_SUCCESS;
    } cases[] = {
        {.what = "made here", .log = " deleted closed"},
        {.what = "another made it", .errors = {kExists}, .log = " open deleted closed"},
        {.what = "gone between",
         .errors = {kExists, ERROR_PATH_NOT_FOUND},
         .log = " open" + make + " deleted closed"},
        {.what = "refused", .errors = {kDenied}, .log = " deleted", .error = kDenied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_ns = {.errors = c.errors};
        const Seam<CMachineLock::Calls>::Override fake({&Namespaces, &NamespacedMutex});
        {
            const CMachineLock lock(L"TavelinTestLock", 0);
            EXPECT_EQ(lock.Result(),
                      c.error ? CMachineLock::State::Failed : CMachineLock::State::Held);
            EXPECT_EQ(lock.Error(), c.error);
        }
        EXPECT_EQ(g_ns.log, "Tavelin S-1-5-32-544" + make + c.log);
        EXPECT_EQ(g_ns.mutex, c.error ? "" : "Tavelin\\TavelinTestLock");
    }
}

// A closed console ends the process once the handler returns: the handler holds that end until a
// write under way is whole.
TEST(Win32, ConsoleClosedWaitsForTheWriteToEnd) {
    const Seam<MConsoleEvents::Calls>::Override end({&RecordEnd});
    std::optional<MConsoleEvents::CSection> write(std::in_place);
    std::thread windows([] { MConsoleEvents::OnEvent(CTRL_CLOSE_EVENT); });
    ::Sleep(testsupport::Scaled(300));
    const UINT whileWriting = g_endedWith;
    write.reset();
    windows.join();
    EXPECT_EQ(whileWriting, 0u);
    EXPECT_EQ(g_endedWith, UINT(STATUS_CONTROL_C_EXIT));
}
