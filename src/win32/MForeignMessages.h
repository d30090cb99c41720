// Messages whose lParam the program reads as a pointer into its own memory, or takes as its own
// object: WM_NOTIFY, which Windows hands from another process as it is (it marshals none), and
// WM_NCCREATE, whose marshalled CREATESTRUCT still carries the sender's lpCreateParams. Windows
// and the common controls send the real ones from the window's own thread and post none; the
// same message from another process, sent or posted, is a crash at will wherever user interface
// privilege isolation does not stop it (2000, XP, 2003, and senders at the same level later on).
#pragma once

#include <windows.h>

namespace MForeignMessages {

// True for one of those messages sent from another thread (of another process, or of this one):
// the window procedure answers 0 without reading it.
bool Refused(UINT msg) noexcept;

// Empties such messages posted to this thread's queue, whichever message loop takes them out
// (the program's, a message box's, a menu's). Once per thread; the first window of a thread
// asks for it.
void GuardThisThread() noexcept;

} // namespace MForeignMessages
