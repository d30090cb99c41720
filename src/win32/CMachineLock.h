// One holder at a time on the whole machine, across sessions and accounts: a named mutex that
// only Administrators and SYSTEM can open. Where the system has private namespaces (Vista on), the
// mutex lives in one whose boundary is the Administrators group: no one outside it can make the
// namespace, so no standard user can take the name first. Elsewhere (2000, XP, 2003) it is a
// global name, and a name that someone else took first is not trusted (the writers then refuse).
#pragma once

#include <windows.h>

#include "win32/Handles.h"

class CMachineLock {
  public:
    enum class State { Held, Busy, Failed };

    // The namespace's name and boundary name, and the prefix of a mutex in it.
    static constexpr const wchar_t* kNamespace = L"Tavelin";

    // Waits up to waitMs for the lock; name is the mutex's name without a namespace.
    CMachineLock(const wchar_t* name, DWORD waitMs);
    ~CMachineLock();
    CMachineLock(const CMachineLock&) = delete;
    CMachineLock& operator=(const CMachineLock&) = delete;

    // Busy: another holder kept it the whole time.
    State Result() const { return state_; }
    // The system error code when Failed (ERROR_INVALID_OWNER: the name is someone else's).
    DWORD Error() const { return error_; }

    // What the lock asks of Windows (Seam<CMachineLock::Calls>); a default-constructed table
    // holds the real calls. Wine 8 has no private namespaces: tests hand in the functions.
    struct Calls {
        // A kernel32 function by name; nullptr where the system lacks it.
        FARPROC (*lookup)(const char* name) = &Kernel32Function;
        decltype(&::CreateMutexW) createMutex = &::CreateMutexW;
    };
    static FARPROC Kernel32Function(const char* name);

  private:
    HANDLE namespace_ = nullptr; // held while the mutex is: the name lives as long as a holder
    BOOLEAN(WINAPI* closeNamespace_)(HANDLE, ULONG) = nullptr;
    UniqueHandle mutex_;
    State state_ = State::Failed;
    DWORD error_ = ERROR_SUCCESS;
};
