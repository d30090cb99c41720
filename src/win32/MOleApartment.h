// The program's one OLE apartment: opened once, by whichever code needs it first, and closed once
// at the end of the run. Opening it also sets the process's COM security, before anything is
// marshalled: the program calls into the desktop shell, which the unelevated side of the same
// user controls, and a reply must not make it run code of that side's choosing.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace MOleApartment {

// Initialises OLE on this (the user-interface) thread the first time, then the process's COM
// security: no custom unmarshaller (only the system's own) for anything that arrives, the called
// process may identify this one but not act as it, and only this program's user and SYSTEM may
// call in. Later calls return the first call's OLE result.
HRESULT Open() noexcept;

// The security's result from the first Open (E_FAIL before): a route that calls into another
// process goes nowhere without it.
HRESULT Secured() noexcept;

// Uninitialises once at the end of the run, if Open succeeded.
void Close() noexcept;

// What Open asks of Windows (Seam<MOleApartment::Calls>); a default-constructed table holds the
// real calls. Wine takes the security without keeping it: tests see what is asked.
struct Calls {
    decltype(&::CoInitializeSecurity) secure = &::CoInitializeSecurity;
};

} // namespace MOleApartment
