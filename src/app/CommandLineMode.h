// Unattended use: tavelin /status, /set, /restore, /export, /?. Runs the same checks and the
// same writes as the window, prints to the starting program's console or redirected output,
// and answers with the process exit code. Opens no window.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace CommandLineMode {

// The arguments after the program name, UTF-8; empty when there are none (the window opens).
std::vector<std::string> Arguments();

// Runs the command and returns the exit code (CommandLine::kExit...). Never shows a window or
// a message box; every failure becomes a line and a code.
int Run(std::span<const std::string> args);

} // namespace CommandLineMode
