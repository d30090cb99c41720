#include "win32/MStartupTrace.h"

#include <windows.h>

#include <charconv>
#include <cstdint>
#include <iterator>

namespace MStartupTrace {

namespace {

struct Entry {
    const char* phase;
    LONGLONG counter;
};
Entry g_entries[16];
int g_count = 0;

// The variable is the user's to set, also for an elevated copy: a path would let a standard
// user choose a file the administrator's process creates. A handle number cannot cross an
// elevation, and the one kind accepted, a pipe, is nothing this program opens itself, so a
// forged number cannot reach its own files or keys.
HANDLE TracePipe() noexcept {
    wchar_t value[24];
    const DWORD n = ::GetEnvironmentVariableW(L"TAVELIN_STARTUP_TRACE", value, std::size(value));
    if (n == 0 || n >= std::size(value))
        return nullptr;
    char digits[std::size(value)];
    for (DWORD i = 0; i < n; ++i) {
        if (value[i] < L'0' || value[i] > L'9')
            return nullptr;
        digits[i] = static_cast<char>(value[i]);
    }
    std::uintptr_t number = 0;
    if (std::from_chars(digits, digits + n, number).ec != std::errc{} || number == 0)
        return nullptr;
    HANDLE handle = reinterpret_cast<HANDLE>(number);
    return ::GetFileType(handle) == FILE_TYPE_PIPE ? handle : nullptr;
}

} // namespace

void Mark(const char* phase) noexcept {
    if (g_count == static_cast<int>(std::size(g_entries)))
        return;
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    g_entries[g_count++] = {phase, now.QuadPart};
}

void Write() noexcept {
    HANDLE pipe = TracePipe();
    if (!pipe)
        return;
    // One write of at most 1 KiB fits any pipe's buffer: the start never waits for the reader.
    char text[std::size(g_entries) * 64];
    char* end = text;
    for (int i = 0; i < g_count; ++i) {
        char* const line = end;
        for (const char* c = g_entries[i].phase; *c && end < line + 40; ++c)
            *end++ = *c;
        *end++ = ' ';
        end = std::to_chars(end, line + 63, g_entries[i].counter).ptr;
        *end++ = '\n';
    }
    // The handle is the benchmark's: it stays open until the process ends.
    DWORD written = 0;
    ::WriteFile(pipe, text, static_cast<DWORD>(end - text), &written, nullptr);
}

} // namespace MStartupTrace
