// The error sources of the Win32 modules, named after the running executable as the error box
// shows them ("tavelin.cRegistry"; "MivoDriveCboEx.tavelin" with the module first).
#pragma once

#include "core/ErrorSource.h"
#include "win32/MFatal.h"

constexpr ErrorSource
ModuleSource(const char* module,
             ErrorSource::Order order = ErrorSource::Order::ProgramFirst) noexcept {
    return ErrorSource(&MFatal::ExeName, module, order);
}

// The executable's name alone: failures that belong to no module.
inline constexpr ErrorSource kProgramSource = ModuleSource("");
