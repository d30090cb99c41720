// One holder at a time on the whole machine, across sessions and accounts: a named mutex that
// only Administrators and SYSTEM can open. A name that someone else took first is not trusted.
#pragma once

#include <windows.h>

#include "win32/Handles.h"

class MachineLock {
  public:
    enum class State { Held, Busy, Failed };

    // Waits up to waitMs for the lock; name is a kernel object name ("Global\\...").
    MachineLock(const wchar_t* name, DWORD waitMs);
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    // Busy: another holder kept it the whole time.
    State Result() const { return state_; }
    // The system error code when Failed (ERROR_INVALID_OWNER: the name is someone else's).
    DWORD Error() const { return error_; }

  private:
    UniqueHandle mutex_;
    State state_ = State::Failed;
    DWORD error_ = ERROR_SUCCESS;
};
