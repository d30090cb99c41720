// Times, from process start to the main window being shown (for Tavelin: with its lists
// filled), tavelin.exe, the empty-window program and the three-list window, alternating them,
// and prints the medians and their ratios to the empty window, and the median time of each
// phase of Tavelin's start (the marks the program writes when TAVELIN_STARTUP_TRACE names a
// file).
//   bench_driver <tavelin.exe> <bench_empty_window.exe> <bench_three_lists.exe> [runs]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ui/main/FMainIds.h"

namespace {

// The performance counter is one clock for all processes: the program's marks and the
// driver's readings compare directly.
double CounterToMs(long long counter) {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return 1000.0 * static_cast<double>(counter) / static_cast<double>(frequency.QuadPart);
}

double Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return CounterToMs(t.QuadPart);
}

// Phase name and milliseconds since the process was created, in the order written.
using Marks = std::vector<std::pair<std::string, double>>;

Marks ReadMarks(const std::string& path, double start) {
    Marks marks;
    std::ifstream in(path);
    std::string phase;
    long long counter = 0;
    while (in >> phase >> counter)
        marks.emplace_back(phase, CounterToMs(counter) - start);
    return marks;
}

bool ListsFilled(HWND main) {
    for (int row = 0; row < 3; ++row) {
        HWND combo = FindWindowExW(GetDlgItem(main, IDC_CBOKEY_FIRST + row), nullptr,
                                   L"ComboBoxEx32", nullptr);
        if (!combo || SendMessageW(combo, CB_GETCOUNT, 0, 0) <= 0)
            return false;
    }
    return true;
}

// Milliseconds until the window is shown, or -1 when it does not come within 20 s.
// With a trace file, the program's marks are read back into *marks, followed by "seen" (the
// moment the driver found the window).
double TimeOne(const std::string& exe, const wchar_t* title, bool needLists,
               const std::string& traceFile = {}, Marks* marks = nullptr) {
    if (!traceFile.empty()) {
        DeleteFileA(traceFile.c_str());
        SetEnvironmentVariableA("TAVELIN_STARTUP_TRACE", traceFile.c_str());
    }
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string commandLine = "\"" + exe + "\"";
    const double start = Now();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return -1;
    double shown = -1;
    while (Now() - start < 20000) {
        HWND hwnd = FindWindowW(nullptr, title);
        if (hwnd && IsWindowVisible(hwnd) && (!needLists || ListsFilled(hwnd))) {
            shown = Now() - start;
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            break;
        }
        Sleep(1);
    }
    if (WaitForSingleObject(pi.hProcess, 5000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (!traceFile.empty()) {
        SetEnvironmentVariableA("TAVELIN_STARTUP_TRACE", nullptr);
        if (marks) {
            *marks = ReadMarks(traceFile, start);
            marks->emplace_back("seen", shown);
        }
    }
    return shown;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: bench_driver tavelin.exe empty_window.exe three_lists.exe [runs]\n");
        return 2;
    }
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 15;
    // No first-start help window: it is not part of what is measured.
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tavelin\\Settings", 0, nullptr, 0, KEY_SET_VALUE,
                    nullptr, &key, nullptr);
    RegSetValueExA(key, "ShowStartupInfo", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 2);
    RegCloseKey(key);

    char tempDir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, tempDir);
    const std::string traceFile = std::string(tempDir) + "tavelin-startup-trace.txt";

    std::vector<double> tavelin, empty, lists;
    std::vector<std::string> order; // phases in the order of the first run that wrote them
    std::map<std::string, std::vector<double>> phases;
    TimeOne(argv[1], L"Tavelin 2.0", true); // warm-up: files and DLLs in the cache
    TimeOne(argv[2], L"Bench Empty Window", false);
    TimeOne(argv[3], L"Bench Three Lists", false);
    for (int i = 0; i < runs; ++i) {
        Marks marks;
        double t = TimeOne(argv[1], L"Tavelin 2.0", true, traceFile, &marks);
        double e = TimeOne(argv[2], L"Bench Empty Window", false);
        double l = TimeOne(argv[3], L"Bench Three Lists", false);
        if (t < 0 || e < 0 || l < 0) {
            std::printf("run %d: a window did not appear\n", i + 1);
            return 1;
        }
        tavelin.push_back(t);
        empty.push_back(e);
        lists.push_back(l);
        double previous = 0;
        for (const auto& [phase, at] : marks) {
            if (!phases.count(phase))
                order.push_back(phase);
            phases[phase].push_back(at - previous);
            previous = at;
        }
    }
    DeleteFileA(traceFile.c_str());
    const double mt = Median(tavelin), me = Median(empty), ml = Median(lists);
    std::printf("start to shown, median of %d runs: tavelin %.1f ms, empty window %.1f ms, "
                "ratio %.2f\n",
                runs, mt, me, mt / me);
    // What any window with three ComboBoxEx lists costs here: the part of the ratio that is
    // not Tavelin's own.
    std::printf("three-list window %.1f ms, ratio %.2f to the empty window\n", ml, ml / me);
    // Each phase: from the previous mark (the first from process creation) to its own.
    std::printf("tavelin phases, median ms (each from the mark before):");
    for (const auto& phase : order)
        std::printf(" %s %.1f", phase.c_str(), Median(phases[phase]));
    std::printf("\n");
    return 0;
}
