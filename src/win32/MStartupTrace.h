// Timestamps of the start's phases, for the start-up benchmark. Marks cost one counter read;
// they are written out only into a pipe whose inherited handle TAVELIN_STARTUP_TRACE names.
#pragma once

namespace MStartupTrace {

// Records the performance counter under this name (a literal: only the pointer is kept).
void Mark(const char* phase) noexcept;

// Writes "name counter" lines into the pipe whose handle number (decimal) the environment
// variable TAVELIN_STARTUP_TRACE holds; any other value or kind of handle writes nothing.
void Write() noexcept;

} // namespace MStartupTrace
