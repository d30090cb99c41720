// The one place where a failure that reached a window procedure, hook or COM method is shown
// to the user. No exception may unwind into Windows, so every such entry point runs its body
// through RunGuarded.
#pragma once

#include <exception>
#include <string>

#include "core/AppError.h"

namespace MFatal {

// Base name of the running executable, without folder and extension: the prefix of error
// sources ("tavelin" + ".cRegistry").
std::string ExeName();

// Shows the error (number and description in the program's language, product name as title)
// and ends the process with exit code 1.
[[noreturn]] void ShowFatalAndExit(const AppError& error);

// Where a failure goes (Seam<Calls>); a default-constructed table shows it and ends the
// process. Tests record it instead.
struct Calls {
    void (*report)(const AppError& error) = &ShowFatalAndExit;
};

// Hands the error to the table's report; a report that throws ends the process.
void ReportFatal(const AppError& error) noexcept;

// The exception in flight as an AppError: itself, out of memory (7) or an internal error (51).
// Only inside a catch block.
AppError CurrentExceptionAsError() noexcept;

// Converts the exception in flight into an AppError and reports it.
void ReportCurrentException() noexcept;

template <typename Body> bool RunGuarded(Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}

} // namespace MFatal
