#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "support/ChildProcess.h"
#include "support/MsgBoxWatcher.h"
#include "win32/BaseWindow.h"
#include "win32/MConsoleEvents.h"
#include "win32/ModuleSource.h"
#include "win32/MFatal.h"
#include "win32/CMachineLock.h"
#include "win32/ProcessIdentity.h"
#include "win32/Seam.h"

namespace {

std::vector<AppError> g_reported;
const Seam<MFatal::Calls>::Override g_record({[](const AppError& e) { g_reported.push_back(e); }});

constexpr ErrorSource kProbeSource = ModuleSource("Probe");

// Logs what reaches the object where the log outlives it; throws on WM_USER.
class Probe : public BaseWindow<Probe> {
  public:
    explicit Probe(std::vector<UINT>& log) : seen(log) {}
    static const wchar_t* ClassName() { return L"TavelinBaseWindowProbe"; }
    HWND Create() { return CreateWin(kProbeSource, 0, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr); }
    using BaseWindow::Destroy;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
        seen.push_back(msg);
        if (msg == WM_USER)
            throw std::runtime_error("handler failed");
        return msg == WM_USER + 1 ? 42 : Default(msg, wParam, lParam);
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

// Whatever a callback throws reaches the handler as one AppError, with its number, text and
// source, and unwinds no further (an AppError itself: the end-to-end refused writes).
TEST(Win32, GuardedBodiesReportEveryKindOfException) {
    const struct {
        const char* what;
        void (*body)();
        std::string text;
    } cases[] = {
        {.what = "std::exception", .body = [] { throw std::runtime_error("b"); }, .text = "b"},
        {.what = "anything else", .body = [] { throw 42; }, .text = "Internal error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_reported.clear();
        EXPECT_FALSE(MFatal::RunGuarded(c.body));
        ASSERT_EQ(g_reported.size(), 1u);
        EXPECT_EQ(g_reported[0].Number(), 51);
        EXPECT_EQ(DisplayText(g_reported[0]), c.text);
        EXPECT_EQ(g_reported[0].Source(), "win32_tests");
    }
    EXPECT_TRUE(MFatal::RunGuarded([] {}));
}

// The object sees its window from WM_NCCREATE to WM_NCDESTROY; a failing handler reaches the
// fatal handler, not Windows; a pointer message from another thread (sent, as another process's
// WM_NOTIFY or a marshalled WM_NCCREATE arrive, or posted) never reaches the handler nor attaches
// another object; two windows share a class; a window goes with its object, unseen.
TEST(Win32, WindowAttachesGuardsAndDetaches) {
    g_reported.clear();
    std::vector<UINT> firstLog, secondLog;
    Probe first(firstLog);
    HWND a = first.Create(), b = nullptr;
    {
        Probe second(secondLog);
        b = second.Create();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(first.Hwnd(), a);
        EXPECT_EQ(firstLog.front(), UINT(WM_NCCREATE));
        EXPECT_EQ(::SendMessageW(a, WM_USER + 1, 0, 0), 42);
        EXPECT_EQ(::SendMessageW(a, WM_USER, 0, 0), 0);
        ASSERT_EQ(g_reported.size(), 1u);
        EXPECT_EQ(g_reported[0].Description(), "handler failed");
        CREATESTRUCTW create{.lpCreateParams = &second};
        std::atomic<bool> done = false;
        std::thread sender([&] {
            ::SendMessageW(a, WM_NOTIFY, 0, 1);
            ::SendMessageW(a, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create));
            done = true;
        });
        testsupport::HandleMessagesUntil([&] { return done.load(); }, 5000);
        sender.join();
        ::PostMessageW(a, WM_NOTIFY, 0, 1);
        testsupport::HandleMessagesUntil([] { return false; }, 100);
        EXPECT_EQ(std::count(firstLog.begin(), firstLog.end(), UINT(WM_NOTIFY)), 0);
        EXPECT_EQ(::GetWindowLongPtrW(a, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&first));
        ::SendMessageW(a, WM_NOTIFY, 0, 0);
        EXPECT_EQ(firstLog.back(), UINT(WM_NOTIFY));
        first.Destroy();
        EXPECT_EQ(first.Hwnd(), HWND{});
        EXPECT_EQ(firstLog.back(), UINT(WM_NCDESTROY));
        EXPECT_EQ(::GetWindowLongPtrW(b, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&second));
    }
    EXPECT_FALSE(::IsWindow(b));
    EXPECT_EQ(std::count(secondLog.begin(), secondLog.end(), UINT(WM_DESTROY)), 0);
}

// The whole user identifier from the real token (users of one domain share all but its last part);
// nothing for no window.
TEST(Win32, ProcessIdentityFromTheTokens) {
    const auto self = IdentityOfThisProcess();
    ASSERT_TRUE(self && self->integrity);
    UniqueHandle token;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
    DWORD user[64] = {}, size = 0;
    ::GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size);
    const auto* sid = static_cast<const BYTE*>(reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
    EXPECT_EQ(self->user, std::vector<unsigned char>(sid, sid + ::GetLengthSid((PSID)sid)));
    EXPECT_EQ(IdentityOfWindow(nullptr), std::nullopt);
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

UINT g_endedWith = 0;
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

// Within a section Ctrl+Break is dropped and the other events wait for its end (Ctrl+C within and
// outside one: MCommandLineMode's test). The handler runs on a thread of its own.
TEST(Win32, ConsoleEventsWaitForTheSection) {
    const struct {
        DWORD event;
        UINT after; // how the process ended after the section: 0 not
    } cases[] = {
        {.event = CTRL_BREAK_EVENT, .after = 0},
        {.event = CTRL_CLOSE_EVENT, .after = STATUS_CONTROL_C_EXIT},
    };
    const Seam<MConsoleEvents::Calls>::Override end({&RecordEnd});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        g_endedWith = 0;
        std::optional<MConsoleEvents::CSection> section(std::in_place);
        std::thread windows([&] { MConsoleEvents::OnEvent(c.event); });
        ::Sleep(testsupport::Scaled(300));
        const UINT whileSection = g_endedWith;
        section.reset();
        windows.join();
        EXPECT_EQ(whileSection, 0u);
        EXPECT_EQ(g_endedWith, c.after);
    }
}
