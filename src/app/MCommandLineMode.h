// Unattended use: tavelin /status, /set, /restore, /export, /?. Runs the same checks and the
// same writes as the window, prints to the starting program's console or redirected output,
// and answers with the process exit code. Opens no window; a usage error that no console or
// redirected output would show comes in a box.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace MCommandLineMode {

// The arguments after the program name, UTF-8; empty when none is a switch (the window opens).
std::vector<std::string> Arguments();

// Runs the command and returns the exit code (MCommandLine::kExit...). Every failure becomes a
// line and a code; only a usage error with nowhere to print also shows a box.
int Run(std::span<const std::string> args);

} // namespace MCommandLineMode
