// The program's one OLE apartment: opened once, by whichever code needs it first, and closed once
// at the end of the run.
#pragma once

#include <windows.h>

namespace OleApartment {

// Initialises OLE on this (the user-interface) thread the first time; later calls return the
// first call's result.
HRESULT Open() noexcept;

// Uninitialises once at the end of the run, if Open succeeded.
void Close() noexcept;

} // namespace OleApartment
