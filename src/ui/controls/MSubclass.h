// Lets objects receive chosen messages of chosen windows before or after the window's own
// procedure. All bookkeeping lives in window properties on the hooked window itself, so that
// other tools see the same names and counts:
//   "<hwnd>"          previous window procedure
//   "<hwnd>C"         number of (message, client) hooks on the window
//   "<hwnd>#<msg>C"   number of clients of that message
//   "<hwnd>#<msg>#<i>" client i (from 1, in attach order)
#pragma once

#include <windows.h>

#include <cstdint>

// How a client wants the current message handled.
enum EMsgResponse : std::int32_t {
    emrConsume = 0,     // the previous procedure is not called by the dispatcher
    emrPostProcess = 1, // previous procedure after the clients
    emrPreprocess = 2,  // previous procedure before the clients
};

// Client interface: an object that receives hooked messages.
class ISubclass {
  public:
    virtual std::int32_t MsgResponse() = 0;
    virtual void SetMsgResponse(std::int32_t response) = 0;
    virtual LRESULT WindowProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam) = 0;

  protected:
    ~ISubclass() = default;
};

namespace MSubclass {

// Error codes; raised as 0x80040000 | code with source <exe>.WindowProc.
inline constexpr std::int32_t kCantSubclass = 13081;
inline constexpr std::int32_t kAlreadyHandled = 13082;
inline constexpr std::int32_t kInvalidWindow = 13083;
inline constexpr std::int32_t kExternalWindow = 13084;

void HookMessage(ISubclass* client, HWND hwnd, UINT iMsg);
// Silent when there is nothing to undo.
void UnhookMessage(ISubclass* client, HWND hwnd, UINT iMsg);
// The message being dispatched; valid while a client's MsgResponse is read.
UINT CurrentMessage();
// The window's previous procedure's answer, or 0 if the window is not hooked.
LRESULT CallPreviousProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam);

// What attaching asks of Windows (Seam<MSubclass::Calls>); a default-constructed table holds the
// real calls. Tests make a step fail on a real window.
struct Calls {
    decltype(&::SetPropA) setProp = &::SetPropA;
    decltype(&::SetWindowLongPtrA) setWindowProc = &::SetWindowLongPtrA;
};

} // namespace MSubclass
