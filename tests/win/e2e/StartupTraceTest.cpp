// The start-up phase marks leave tavelin.exe only through a pipe handed down by its starter: the
// variable that names it is the user's to set, also for an elevated copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

// Starts tavelin.exe as the benchmark does, with the variable set to handle's number (or to
// path) and handle inherited; waits for its window and closes it.
void StartAndClose(HANDLE handle, const std::string& path = {}) {
    std::string exe = "Z:" TAVELIN_EXE;
    std::replace(exe.begin(), exe.end(), '/', '\\');
    std::string commandLine = "\"" + exe + "\"";
    const std::string value =
        handle ? std::to_string(reinterpret_cast<std::uintptr_t>(handle)) : path;
    ::SetEnvironmentVariableA("TAVELIN_STARTUP_TRACE", value.c_str());
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr,
                                          handle != nullptr, 0, nullptr, nullptr, &si, &pi);
    ::SetEnvironmentVariableA("TAVELIN_STARTUP_TRACE", nullptr);
    ASSERT_TRUE(started);
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    HWND main = testsupport::FindTopLevel(pi.dwProcessId, nullptr, L"Tavelin 2.0", 15000);
    EXPECT_TRUE(main);
    if (!main)
        ::TerminateProcess(process.get(), 1);
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 15000), WAIT_OBJECT_0);
}

} // namespace

// A path gets no file; the number of a handle that is not a pipe (what a forged number could
// name: a file the program holds) gets nothing written; the benchmark's pipe gets the marks from
// the entry to the window shown.
TEST(TavelinExe, WritesPhaseMarksOnlyIntoAnInheritedPipe) {
    WriteValue("ShowStartupInfo", kHelpSeen, HKEY_CURRENT_USER, kSettingsKey, REG_SZ);
    const std::string path = TempPath("tavelin-trace.txt");
    ::DeleteFileA(path.c_str());
    StartAndClose(nullptr, path);
    EXPECT_FALSE(FileBytes(path));

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    StartAndClose(file.get());
    file.reset();
    EXPECT_EQ(FileBytes(path), "");
    ::DeleteFileA(path.c_str());

    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inheritable, 4096));
    UniqueHandle reader(readEnd);
    {
        UniqueHandle writer(writeEnd); // closed here: the pipe then ends with the program
        StartAndClose(writer.get());
    }
    char text[4096];
    DWORD read = 0;
    ::ReadFile(readEnd, text, sizeof text, &read, nullptr);
    const std::string marks(text, read);
    EXPECT_TRUE(marks.starts_with("entry ") && marks.find("\nshown ") != std::string::npos)
        << marks;
}
