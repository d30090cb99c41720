#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/MsgBoxWatcher.h"
#include "win32/BaseWindow.h"
#include "win32/ErrorSource.h"
#include "win32/Fatal.h"
#include "win32/Handles.h"
#include "win32/MachineLock.h"
#include "win32/ProcessIdentity.h"
#include "win32/Seam.h"

namespace {

std::vector<AppError> g_reported;
const Seam<FatalCalls>::Override g_record({[](const AppError& e) { g_reported.push_back(e); }});

constexpr ErrorSource kProbeSource = ModuleSource("Probe");

// Records what reaches the object in a log that outlives it; throws on WM_USER.
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

} // namespace

// Whatever a callback throws reaches the handler as one AppError and unwinds no further.
TEST(Win32, GuardedBodiesReportEveryKindOfException) {
    g_reported.clear();
    EXPECT_FALSE(RunGuarded([] { throw AppError(381, "x.MivoComboEx", ""); }) ||
                 RunGuarded([] { throw std::runtime_error("boom"); }) ||
                 RunGuarded([] { throw 42; }) || !RunGuarded([] {}));
    ASSERT_EQ(g_reported.size(), 3u);
    EXPECT_EQ(DisplayText(g_reported[0]), "Invalid property array index");
    EXPECT_EQ(std::pair(g_reported[1].Description(), g_reported[1].Source()),
              std::pair(std::string("boom"), ExeName()));
    EXPECT_EQ(g_reported[2].Source(), "win32_tests");
}

// Unrecorded, the route shows number, source and text, and ends the process with code 1.
TEST(Win32, FatalFailureIsShownAndEndsTheProcess) {
    testsupport::ChildProcess probe(FATAL_PROBE_EXE);
    const auto box = testsupport::FindMsgBox("Tavelin", probe.Pid(), 15000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "Error -2147024891 (fatal_probe.Probe)\r\n\r\nAccess is denied.");
    ::PostMessageW(box->hwnd, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(probe.Wait(15000), 1u);
}

// The object sees its window from WM_NCCREATE to WM_NCDESTROY; a failing handler reaches the
// fatal handler, not Windows; two windows share a class; a window goes with its object, unseen.
TEST(Win32, WindowAttachesGuardsAndDetaches) {
    g_reported.clear();
    std::vector<UINT> firstLog, secondLog;
    Probe first(firstLog);
    HWND a = first.Create(), b = nullptr;
    {
        Probe second(secondLog);
        b = second.Create();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(std::pair(first.Hwnd(), firstLog.front()), std::pair(a, UINT(WM_NCCREATE)));
        EXPECT_EQ(::SendMessageW(a, WM_USER + 1, 0, 0), 42);
        EXPECT_EQ(::SendMessageW(a, WM_USER, 0, 0), 0);
        ASSERT_EQ(g_reported.size(), 1u);
        EXPECT_EQ(g_reported[0].Description(), "handler failed");
        first.Destroy();
        EXPECT_EQ(std::pair(first.Hwnd(), firstLog.back()), std::pair(HWND{}, UINT(WM_NCDESTROY)));
        EXPECT_EQ(::GetWindowLongPtrW(b, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&second));
    }
    EXPECT_FALSE(::IsWindow(b));
    EXPECT_EQ(std::count(secondLog.begin(), secondLog.end(), UINT(WM_DESTROY)), 0);
}

// A pointer message from another thread (sent: another process's WM_NOTIFY arrives so, pointer
// unchanged; a marshalled WM_NCCREATE keeps the sender's lpCreateParams) or posted to the queue
// never reaches the handler, nor attaches another object; the window's own thread is heard.
TEST(Win32, PointerMessagesOnlyFromTheWindowsOwnThread) {
    std::vector<UINT> log, otherLog;
    Probe first(log), other(otherLog);
    const HWND a = first.Create();
    CREATESTRUCTW create{};
    create.lpCreateParams = &other;
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
    EXPECT_EQ(std::count(log.begin(), log.end(), UINT(WM_NOTIFY)), 0);
    EXPECT_EQ(::GetWindowLongPtrW(a, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&first));
    ::SendMessageW(a, WM_NOTIFY, 0, 0);
    EXPECT_EQ(log.back(), UINT(WM_NOTIFY));
}

// The whole user identifier from the real token (users of one domain share all but its last part);
// nothing for no window. Windows of this and other processes: SingleInstance and StartTest.
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

// The writers' lock admits Administrators and SYSTEM only (Wine keeps access lists without
// enforcing them); a holder that ended without letting go leaves it to the next.
TEST(Win32, MachineLockAccessListAndAbandonedHolder) {
    const wchar_t* name = L"Local\\TavelinTestLock";
    std::thread([&] {
        EXPECT_EQ((new MachineLock(name, 0))->Result(), MachineLock::State::Held);
    }).join();
    const MachineLock next(name, 0);
    EXPECT_EQ(next.Result(), MachineLock::State::Held);
    UniqueHandle mutex(::OpenMutexW(READ_CONTROL, FALSE, name));
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    char descriptor[1024] = {};
    DWORD size = 0;
    ::GetKernelObjectSecurity(mutex.get(), what, descriptor, sizeof descriptor, &size);
    LPSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                       what, &text, nullptr));
    EXPECT_STREQ(text, "O:BAD:(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)");
    ::LocalFree(text);
}
