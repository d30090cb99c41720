// The program's one OLE apartment, opened by the first window or shell call that needs it
// rather than at start: ole32 then loads only when it is used.
#pragma once

#include <windows.h>

namespace LazyOle {

// Initialises OLE on this (the user-interface) thread the first time; later calls return the
// first call's result.
HRESULT Initialize() noexcept;

// Uninitialises once at the end of the run, if Initialize succeeded.
void Uninitialize() noexcept;

} // namespace LazyOle
