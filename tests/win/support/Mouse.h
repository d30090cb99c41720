// The real mouse, as a person uses it: the cursor onto a window's centre, the left button pressed
// and released through the system's input queue. Works headless under Wine's null driver.
#pragma once

#include <windows.h>

namespace testsupport {

inline POINT CentreOf(HWND hwnd) {
    RECT client{};
    ::GetClientRect(hwnd, &client);
    POINT centre{(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    ::ClientToScreen(hwnd, &centre);
    return centre;
}

inline void MoveMouse(POINT at) {
    ::SetCursorPos(at.x, at.y);
    // A move through the input queue too, so that the window under the cursor hears of it.
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = ::MulDiv(at.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = ::MulDiv(at.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &move, sizeof(move));
}

inline void ClickMouse(POINT at) {
    MoveMouse(at);
    INPUT press[2] = {};
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, press, sizeof(INPUT));
}

inline void ClickWindow(HWND hwnd) {
    ClickMouse(CentreOf(hwnd));
}

} // namespace testsupport
