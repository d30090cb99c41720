// Tavelin's record of the keyboard map in effect: at its first write after Windows started, the
// map that the keyboard driver read at that start, kept in a volatile key that the next start
// empties. Whether a restart is pending is read from it (core/RestartState.h). Every registry
// call here goes through the registry's call table.
#pragma once

#include "core/MRestartState.h"

namespace MRestartRecord {

// The record's key under HKEY_LOCAL_MACHINE: not under Software, which registry redirection
// splits for 32-bit programs on 64-bit Windows, so that both programs read one record.
inline constexpr char kKey[] = "SYSTEM\\CurrentControlSet\\Control\\Tavelin";

// The restart state of the stored map on this start.
MRestartState::State StateOf(const MRestartState::MapValue& stored);

// Before a write of the map or a restore, with the writers' lock held: the first after a start
// records what is in effect. A record that cannot be made leaves the state unknown; the write
// goes on.
void BeforeWrite(const MRestartState::MapValue& stored);

} // namespace MRestartRecord
