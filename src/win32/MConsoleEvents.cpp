#include "win32/MConsoleEvents.h"

#include "win32/Seam.h"

namespace MConsoleEvents {

namespace {

// Held by each section; the handler takes it before the process ends, so that no section begins
// after the decision.
CRITICAL_SECTION g_sections;
bool g_watching = false;

} // namespace

void Watch() noexcept {
    if (g_watching)
        return;
    g_watching = true;
    ::InitializeCriticalSection(&g_sections);
    ::SetConsoleCtrlHandler(&OnEvent, TRUE);
}

CSection::CSection() noexcept {
    Watch();
    ::EnterCriticalSection(&g_sections);
}

CSection::~CSection() {
    ::LeaveCriticalSection(&g_sections);
}

BOOL WINAPI OnEvent(DWORD event) noexcept {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        if (!::TryEnterCriticalSection(&g_sections))
            return TRUE; // a section runs: dropped
    } else {
        ::EnterCriticalSection(&g_sections);
    }
    Seam<Calls>::Current().exitProcess(STATUS_CONTROL_C_EXIT);
    ::LeaveCriticalSection(&g_sections); // a test's end returns
    return TRUE;
}

} // namespace MConsoleEvents
