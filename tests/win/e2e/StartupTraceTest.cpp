// The start-up phase marks leave tavelin.exe only through a pipe handed down by its starter: the
// variable that names it is the user's to set, also for an elevated copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>

#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

enum class Given { FilePath, FileHandle, PipeHandle };

// Starts tavelin.exe as the benchmark does (inheriting handle, if any, with trace as the
// variable's value), waits for its window and closes it.
void StartAndClose(HANDLE inherited, const std::string& trace) {
    std::string exe = "Z:" TAVELIN_EXE;
    std::replace(exe.begin(), exe.end(), '/', '\\');
    std::string commandLine = "\"" + exe + "\"";
    ::SetEnvironmentVariableA("TAVELIN_STARTUP_TRACE", trace.c_str());
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr,
                                          inherited != nullptr, 0, nullptr, nullptr, &si, &pi);
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

// A path, or the number of a handle that is not a pipe (what a forged number could name: a
// file of the program's own), gets nothing; the benchmark's pipe gets the marks in time order,
// from the entry to the window shown.
TEST(TavelinExe, WritesPhaseMarksOnlyIntoAnInheritedPipe) {
    WriteValue("ShowStartupInfo", kHelpSeen, HKEY_CURRENT_USER, kSettingsKey, REG_SZ);
    const std::string path = TempPath("tavelin-trace.txt");
    for (Given given : {Given::FilePath, Given::FileHandle, Given::PipeHandle}) {
        SCOPED_TRACE(static_cast<int>(given));
        ::DeleteFileA(path.c_str());
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        UniqueHandle file, readEnd, writeEnd;
        HANDLE handed = nullptr;
        if (given == Given::FileHandle) {
            file.reset(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            handed = file.get();
        } else if (given == Given::PipeHandle) {
            HANDLE r = nullptr, w = nullptr;
            ASSERT_TRUE(::CreatePipe(&r, &w, &inheritable, 4096));
            readEnd.reset(r);
            writeEnd.reset(w);
            handed = w;
        }
        const std::string value =
            handed ? std::to_string(reinterpret_cast<std::uintptr_t>(handed)) : path;
        StartAndClose(handed, value);
        writeEnd.reset(); // the pipe ends once the program's copy is gone too
        file.reset();
        if (given != Given::PipeHandle) {
            EXPECT_EQ(FileBytes(path).value_or("missing"),
                      given == Given::FilePath ? "missing" : "");
            continue;
        }
        std::string text(4096, '\0');
        DWORD read = 0;
        ASSERT_TRUE(::ReadFile(readEnd.get(), text.data(), DWORD(text.size()), &read, nullptr));
        std::istringstream lines(text.substr(0, read));
        std::vector<std::string> phases;
        std::vector<long long> counters;
        std::string phase;
        for (long long counter = 0; lines >> phase >> counter;)
            phases.push_back(phase), counters.push_back(counter);
        ASSERT_GE(phases.size(), 2u) << text;
        EXPECT_EQ(std::pair(phases.front(), phases.back()),
                  std::pair(std::string("entry"), std::string("shown")));
        EXPECT_TRUE(std::is_sorted(counters.begin(), counters.end()));
    }
    ::DeleteFileA(path.c_str());
}
