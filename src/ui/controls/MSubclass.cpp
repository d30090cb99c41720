#include "ui/controls/MSubclass.h"

#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "win32/ModuleSource.h"
#include "win32/MForeignMessages.h"
#include "win32/Seam.h"

namespace MSubclass {

namespace {

UINT g_currentMessage = 0;

// What the dispatcher reads on every message, mirrored from the properties this module writes:
// reading a property is a trip to the window server, and most messages of a hooked window have
// no client. The properties stay the record that others see.
struct Mirror {
    WNDPROC prev = nullptr;
    std::set<UINT> hooked; // messages with at least one client
};
std::unordered_map<HWND, Mirror> g_mirror;
// Counts detaches, so that a dispatch learns whether a client went away while it ran.
unsigned g_unhooks = 0;

constexpr ErrorSource kSource = ModuleSource("WindowProc");

// The module's own errors have texts and sit above the object error base; small numbers carry
// their standard text.
const char* OwnErrorText(std::int32_t code) {
    switch (code) {
    case kCantSubclass:
        return "Can't subclass window";
    case kAlreadyHandled:
        return "Message already handled by another class";
    case kInvalidWindow:
        return "Invalid window";
    case kExternalWindow:
        return "Can't modify external window";
    default:
        return nullptr;
    }
}

[[noreturn]] void Raise(std::int32_t code) {
    if (const char* text = OwnErrorText(code))
        kSource.Raise(kObjectErrorBase | code, text);
    kSource.Raise(code);
}

// The property names of one window and one of its messages.
struct Names {
    Names(HWND hwnd, UINT msg)
        : proc(std::to_string(HandleToLong(hwnd))), windowCount(proc + "C"),
          message(proc + "#" + std::to_string(msg)), messageCount(message + "C") {}
    std::string Client(std::intptr_t index) const { return message + "#" + std::to_string(index); }

    std::string proc;         // previous window procedure
    std::string windowCount;  // hooks on the window
    std::string message;      // prefix of the message's entries
    std::string messageCount; // clients of the message
};

HANDLE Get(HWND hwnd, const std::string& name) {
    return ::GetPropA(hwnd, name.c_str());
}

std::intptr_t GetCount(HWND hwnd, const std::string& name) {
    return reinterpret_cast<std::intptr_t>(Get(hwnd, name));
}

ISubclass* GetClient(HWND hwnd, const Names& n, std::intptr_t index) {
    return static_cast<ISubclass*>(Get(hwnd, n.Client(index)));
}

// A value of 0 removes the property, so that an unhooked window carries none of ours.
bool Set(HWND hwnd, const std::string& name, std::intptr_t value) {
    if (value == 0) {
        ::RemovePropA(hwnd, name.c_str());
        return true;
    }
    return Seam<Calls>::Current().setProp(hwnd, name.c_str(), reinterpret_cast<HANDLE>(value)) !=
           FALSE;
}

bool SetPointer(HWND hwnd, const std::string& name, const void* value) {
    return Set(hwnd, name, reinterpret_cast<std::intptr_t>(value));
}

bool OwnedByThisProcess(HWND hwnd) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    return pid == ::GetCurrentProcessId();
}

BOOL CALLBACK CollectProp(HWND, LPSTR name, HANDLE, ULONG_PTR names) {
    try { // an allocation failure must not unwind into Windows
        if (!IS_INTRESOURCE(name))
            reinterpret_cast<std::vector<std::string>*>(names)->emplace_back(name);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

// Puts the window's own procedure back and drops all of our properties on it, the client
// entries included: a client that unhooks later then finds nothing and leaves the counts alone.
void ReleaseWindow(HWND hwnd, WNDPROC prev) {
    g_mirror.erase(hwnd);
    ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
    const std::string proc = std::to_string(HandleToLong(hwnd));
    std::vector<std::string> names;
    ::EnumPropsExA(hwnd, &CollectProp, reinterpret_cast<LPARAM>(&names));
    const std::string clientPrefix = proc + "#";
    for (const std::string& name : names) {
        if (name == proc || name == proc + "C" || name.starts_with(clientPrefix))
            ::RemovePropA(hwnd, name.c_str());
    }
}

// A message's client count, stored and mirrored.
bool SetMessageCount(HWND hwnd, const Names& n, UINT msg, std::intptr_t value) {
    if (!Set(hwnd, n.messageCount, value))
        return false;
    if (value > 0)
        g_mirror[hwnd].hooked.insert(msg);
    else if (auto it = g_mirror.find(hwnd); it != g_mirror.end())
        it->second.hooked.erase(msg);
    return true;
}

LRESULT Dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCDESTROY) { // the handle may be reused by a window not ours
        auto it = g_mirror.find(hwnd);
        const WNDPROC prev = it == g_mirror.end() ? nullptr : it->second.prev;
        g_mirror.erase(hwnd);
        if (prev && !Get(hwnd, Names(hwnd, msg).messageCount))
            return ::CallWindowProcA(prev, hwnd, msg, wParam, lParam);
    } else if (msg != WM_DESTROY) {
        auto it = g_mirror.find(hwnd);
        if (it != g_mirror.end() && it->second.prev && !it->second.hooked.contains(msg))
            return ::CallWindowProcA(it->second.prev, hwnd, msg, wParam, lParam);
    }

    const Names n(hwnd, msg);
    auto prev = reinterpret_cast<WNDPROC>(Get(hwnd, n.proc));
    if (!prev)
        return 0;

    const std::intptr_t count = GetCount(hwnd, n.messageCount);
    if (count <= 0) {
        if (msg == WM_DESTROY)
            ReleaseWindow(hwnd, prev);
        return ::CallWindowProcA(prev, hwnd, msg, wParam, lParam);
    }

    // The clients as the message found them: one that detaches while it runs moves the later
    // ones down, and the loop must neither visit one twice nor one that has gone.
    std::vector<ISubclass*> clients(static_cast<std::size_t>(count));
    for (std::intptr_t i = 1; i <= count; ++i)
        clients[static_cast<std::size_t>(i - 1)] = GetClient(hwnd, n, i);
    const unsigned unhooks = g_unhooks;
    auto stillHooked = [&](ISubclass* client) {
        if (unhooks == g_unhooks)
            return true;
        const std::intptr_t now = GetCount(hwnd, n.messageCount);
        for (std::intptr_t i = 1; i <= now; ++i)
            if (GetClient(hwnd, n, i) == client)
                return true;
        return false;
    };

    bool prevRan = false;
    LRESULT result = 0;
    // Later clients first, so that the first-attached client has the last word.
    for (std::intptr_t i = count; i >= 1; --i) {
        ISubclass* client = clients[static_cast<std::size_t>(i - 1)];
        if (!client || !stillHooked(client))
            continue;
        g_currentMessage = msg;
        if (i == 1 && client->MsgResponse() == emrPreprocess && !prevRan) {
            prevRan = true;
            ::CallWindowProcA(prev, hwnd, msg, wParam, lParam);
        }
        result = client->WindowProc(hwnd, msg, wParam, lParam);
    }

    if (ISubclass* first = GetClient(hwnd, n, 1)) {
        // A nested message may have changed it while the clients ran.
        g_currentMessage = msg;
        if (first->MsgResponse() == emrPostProcess && !prevRan)
            result = ::CallWindowProcA(prev, hwnd, msg, wParam, lParam);
    }
    return result;
}

// Windows calls this: nothing may unwind into it. A pointer from another thread reaches neither
// the clients nor the control, which would hand a WM_NOTIFY on to its parent from this thread.
LRESULT CALLBACK Dispatcher(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (MForeignMessages::Refused(msg))
        return 0;
    LRESULT result = 0;
    MFatal::RunGuarded([&] { result = Dispatch(hwnd, msg, wParam, lParam); });
    return result;
}

} // namespace

void HookMessage(ISubclass* client, HWND hwnd, UINT iMsg) {
    if (!::IsWindow(hwnd))
        Raise(kInvalidWindow);
    if (!OwnedByThisProcess(hwnd))
        Raise(kExternalWindow);
    // A null client could not be told apart from a missing property.
    if (!client)
        Raise(5);

    const Names n(hwnd, iMsg);
    const std::intptr_t count = GetCount(hwnd, n.messageCount);
    for (std::intptr_t i = 1; i <= count; ++i) {
        if (GetClient(hwnd, n, i) == client)
            Raise(kAlreadyHandled);
    }

    // A window without hooks starts a fresh mirror: its handle may have been another window's.
    const std::intptr_t hooks = GetCount(hwnd, n.windowCount);
    if (hooks == 0)
        g_mirror.erase(hwnd);

    // Every step below is undone when a later one fails, so a failed attach changes nothing.
    const std::intptr_t index = count + 1;
    if (!SetMessageCount(hwnd, n, iMsg, index))
        Raise(5);
    if (!SetPointer(hwnd, n.Client(index), client)) {
        SetMessageCount(hwnd, n, iMsg, count);
        Raise(5);
    }
    auto removeClient = [&] {
        Set(hwnd, n.Client(index), 0);
        SetMessageCount(hwnd, n, iMsg, count);
    };

    LONG_PTR prev = 0;
    if (hooks == 0) {
        prev = Seam<Calls>::Current().setWindowProc(hwnd, GWLP_WNDPROC,
                                                    reinterpret_cast<LONG_PTR>(&Dispatcher));
        if (prev == 0) {
            removeClient();
            Raise(kCantSubclass);
        }
        if (!Set(hwnd, n.proc, prev)) {
            ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, prev);
            removeClient();
            Raise(5);
        }
        g_mirror[hwnd].prev = reinterpret_cast<WNDPROC>(prev);
    }

    if (!Set(hwnd, n.windowCount, hooks + 1)) {
        removeClient();
        if (hooks == 0) {
            ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, prev);
            Set(hwnd, n.proc, 0);
            g_mirror.erase(hwnd);
        }
        Raise(5);
    }
}

void UnhookMessage(ISubclass* client, HWND hwnd, UINT iMsg) {
    if (!client || !::IsWindow(hwnd) || !OwnedByThisProcess(hwnd))
        return;
    const Names n(hwnd, iMsg);
    const std::intptr_t count = GetCount(hwnd, n.messageCount);
    std::intptr_t index = 1;
    while (index <= count && GetClient(hwnd, n, index) != client)
        ++index;
    if (index > count)
        return;
    ++g_unhooks;

    for (std::intptr_t i = index; i < count; ++i)
        SetPointer(hwnd, n.Client(i), GetClient(hwnd, n, i + 1));
    Set(hwnd, n.Client(count), 0);
    SetMessageCount(hwnd, n, iMsg, count - 1);

    const std::intptr_t hooks = GetCount(hwnd, n.windowCount);
    if (hooks == 1) {
        if (HANDLE prev = Get(hwnd, n.proc))
            ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
        Set(hwnd, n.proc, 0);
        g_mirror.erase(hwnd);
    }
    // Never below zero, whatever state a destroyed-and-restored window was left in.
    if (hooks > 0)
        Set(hwnd, n.windowCount, hooks - 1);
}

UINT CurrentMessage() {
    return g_currentMessage;
}

LRESULT CallPreviousProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam) {
    auto prev = reinterpret_cast<WNDPROC>(Get(hwnd, std::to_string(HandleToLong(hwnd))));
    return prev ? ::CallWindowProcA(prev, hwnd, iMsg, wParam, lParam) : 0;
}

} // namespace MSubclass
