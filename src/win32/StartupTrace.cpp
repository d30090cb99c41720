#include "win32/StartupTrace.h"

#include <windows.h>

#include <charconv>
#include <iterator>

#include "win32/Handles.h"

namespace StartupTrace {

namespace {

struct Entry {
    const char* phase;
    LONGLONG counter;
};
Entry g_entries[16];
int g_count = 0;

} // namespace

void Mark(const char* phase) noexcept {
    if (g_count == static_cast<int>(std::size(g_entries)))
        return;
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    g_entries[g_count++] = {phase, now.QuadPart};
}

void Write() noexcept {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"TAVELIN_STARTUP_TRACE", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    UniqueHandle file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    for (int i = 0; i < g_count; ++i) {
        char line[64];
        char* end = line;
        for (const char* c = g_entries[i].phase; *c && end < line + 40; ++c)
            *end++ = *c;
        *end++ = ' ';
        end = std::to_chars(end, line + sizeof line - 1, g_entries[i].counter).ptr;
        *end++ = '\n';
        DWORD written = 0;
        ::WriteFile(file.get(), line, static_cast<DWORD>(end - line), &written, nullptr);
    }
}

} // namespace StartupTrace
