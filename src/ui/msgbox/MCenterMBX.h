// A standard message box centred on its owner window: a thread-local CBT hook moves the box
// when it is activated and removes itself.
#pragma once

#include <windows.h>

#include <string>

namespace MCenterMBX {

// Shows prompt with the message-box style buttons and returns the button pressed (1 OK,
// 2 Cancel, ..., 6 Yes, 7 No). An empty title shows the product name. The box is centred on owner
// when owner is a visible, not minimised window, otherwise on the work area of the primary monitor.
// One box at a time.
int CenteredMsgBox(const std::string& prompt, UINT buttons, const std::string& title = {},
                   HWND owner = nullptr);

// The hook procedure: on the message box's activation moves it and unhooks itself.
LRESULT CALLBACK MsgBoxHookProc(int nCode, WPARAM wParam, LPARAM lParam);

// The placement arithmetic: the centre of a window rectangle, and the top-left corner that puts
// a box of the given rectangle's size on that centre (halves rounded down).
POINT CentreOf(const RECT& r);
POINT OriginFor(POINT centre, const RECT& box);

// Whether a hook of this module is still installed (false once the box has been placed).
bool HookInstalled();

} // namespace MCenterMBX
