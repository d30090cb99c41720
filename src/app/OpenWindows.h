// The last stage of the start: the program's windows, and their share of the message loop.
#pragma once

#include <windows.h>

namespace MMain {

// Opens the main window, and on the user's very first start the help window beside it.
void OpenWindows();

// The main window's share of the message loop (F1, dialog navigation); true when the message
// was handled and must not be dispatched.
bool PreTranslateMessage(MSG& msg);

} // namespace MMain
