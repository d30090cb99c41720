// Timestamps of the start's phases, for the start-up benchmark. Marks cost one counter read;
// they are written out only when the environment variable TAVELIN_STARTUP_TRACE names a file.
#pragma once

namespace StartupTrace {

// Records the performance counter under this name (a literal: only the pointer is kept).
void Mark(const char* phase) noexcept;

// Writes "name counter" lines to the file named by TAVELIN_STARTUP_TRACE, if it is set.
void Write() noexcept;

} // namespace StartupTrace
