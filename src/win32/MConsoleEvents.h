// A command started from a console shares it with every process the user attaches to it, and
// any of them can send Ctrl+C or Ctrl+Break to all its processes, or close it. Windows then ends
// the process wherever it is. Here such an event ends it only outside a CSection: a write, its
// event-log entries and its restart request are not cut apart. Ctrl+C and Ctrl+Break during a
// section are dropped; a closed console, a logoff or a shutdown, after which Windows ends the
// process anyway once the handler returns (and after a few seconds regardless), waits for the
// section's end.
#pragma once

#include <windows.h>

namespace MConsoleEvents {

// From here on this process handles the events: outside a section as Windows would (the process
// ends with STATUS_CONTROL_C_EXIT). Once; a section asks for it too.
void Watch() noexcept;

// While one lives (on any thread), no console event ends the process.
class CSection {
  public:
    CSection() noexcept;
    ~CSection();
    CSection(const CSection&) = delete;
    CSection& operator=(const CSection&) = delete;
};

// The handler Windows calls, on a thread of its own, for each event.
BOOL WINAPI OnEvent(DWORD event) noexcept;

// How the process ends (Seam<MConsoleEvents::Calls>): tests see the end instead.
struct Calls {
    decltype(&::ExitProcess) exitProcess = &::ExitProcess;
};

} // namespace MConsoleEvents
