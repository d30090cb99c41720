// Times, from process start to the main window being shown with its lists filled, tavelin.exe
// and three yardsticks: the same window built plainly, a window with only the three lists, and
// an empty window. It starts them in turn, run after run, and prints the medians, Tavelin's
// ratio to each, the spread, the child windows and list items of Tavelin's window and of the
// same window, and the median time of each phase of Tavelin's start and of the same window's.
// The phase marks come back through a pipe whose inherited handle TAVELIN_STARTUP_TRACE names.
//   bench_driver tavelin.exe same_window.exe three_lists.exe empty_window.exe [runs]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// The performance counter is one clock for all processes: the programs' marks and the
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

struct Start {
    double shown = -1; // ms, -1 when the window did not come within 20 s
    Marks marks;       // followed by "seen", the moment the driver found the window
    int children = 0;
    std::vector<int> items; // per list, in z-order
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lParam) {
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> Children(HWND hwnd) {
    std::vector<HWND> all;
    EnumChildWindows(hwnd, &CollectChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

// The item count of every ComboBoxEx in the window.
std::vector<int> ListItems(HWND hwnd) {
    std::vector<int> items;
    wchar_t cls[32];
    for (HWND child : Children(hwnd))
        if (GetClassNameW(child, cls, 32) && lstrcmpiW(cls, WC_COMBOBOXEXW) == 0)
            items.push_back(static_cast<int>(SendMessageW(child, CB_GETCOUNT, 0, 0)));
    return items;
}

// Everything the pipe held when its last writer went away.
std::string ReadAll(HANDLE pipe) {
    std::string text;
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    return text;
}

Start TimeOne(const std::string& exe, const wchar_t* title, bool traced) {
    Start result;
    // Only the write end is inheritable; the child receives its number in the variable.
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (traced) {
        CreatePipe(&readEnd, &writeEnd, nullptr, 4096);
        SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        SetEnvironmentVariableA(
            "TAVELIN_STARTUP_TRACE",
            std::to_string(reinterpret_cast<unsigned long long>(writeEnd)).c_str());
    }
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string commandLine = "\"" + exe + "\"";
    const double start = Now();
    const BOOL created = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, traced, 0,
                                        nullptr, nullptr, &si, &pi);
    if (traced) {
        SetEnvironmentVariableA("TAVELIN_STARTUP_TRACE", nullptr);
        CloseHandle(writeEnd);
    }
    if (!created) {
        if (readEnd)
            CloseHandle(readEnd);
        return result;
    }
    while (Now() - start < 20000) {
        HWND hwnd = FindWindowW(nullptr, title);
        if (hwnd && IsWindowVisible(hwnd)) {
            const std::vector<int> items = ListItems(hwnd);
            if (std::none_of(items.begin(), items.end(), [](int n) { return n <= 0; })) {
                result.shown = Now() - start;
                result.children = static_cast<int>(Children(hwnd).size());
                result.items = items;
                PostMessageW(hwnd, WM_CLOSE, 0, 0);
                break;
            }
        }
        Sleep(1);
    }
    if (WaitForSingleObject(pi.hProcess, 5000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (traced) {
        std::istringstream in(ReadAll(readEnd));
        CloseHandle(readEnd);
        std::string phase;
        long long counter = 0;
        while (in >> phase >> counter)
            result.marks.emplace_back(phase, CounterToMs(counter) - start);
        result.marks.emplace_back("seen", result.shown);
    }
    return result;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Program {
    const char* name;
    std::string exe;
    const wchar_t* title;
    bool traced;
    std::vector<double> times{};
    std::vector<std::string> order{}; // phases in the order of the first run that wrote them
    std::map<std::string, std::vector<double>> phases{};
    Start last{};

    void Add(Start start) {
        times.push_back(start.shown);
        double previous = 0;
        for (const auto& [phase, at] : start.marks) {
            if (!phases.count(phase))
                order.push_back(phase);
            phases[phase].push_back(at - previous);
            previous = at;
        }
        last = std::move(start);
    }
    void PrintPhases() const {
        std::printf("%s phases, median ms (each from the mark before):", name);
        for (const auto& phase : order)
            std::printf(" %s %.1f", phase.c_str(), Median(phases.at(phase)));
        std::printf("\n");
    }
};

std::string Items(const std::vector<int>& items) {
    std::string text;
    for (int n : items) {
        if (!text.empty())
            text += ' ';
        text += std::to_string(n);
    }
    return text.empty() ? "none" : text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench_driver tavelin.exe same_window.exe three_lists.exe "
                             "empty_window.exe [runs]\n");
        return 2;
    }
    const int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 15;
    // No first-start help window: it is not part of what is measured.
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tavelin\\Settings", 0, nullptr, 0, KEY_SET_VALUE,
                    nullptr, &key, nullptr);
    RegSetValueExA(key, "ShowStartupInfo", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 2);
    RegCloseKey(key);

    Program programs[] = {
        {"tavelin", argv[1], L"Tavelin 2.0", true},
        {"same window", argv[2], L"Bench Same Window", true},
        {"three-list window", argv[3], L"Bench Three Lists", false},
        {"empty window", argv[4], L"Bench Empty Window", false},
    };
    Program &tavelin = programs[0], &same = programs[1];
    for (const Program& p : programs) // warm-up: files and DLLs in the cache
        TimeOne(p.exe, p.title, false);
    for (int i = 0; i < runs; ++i)
        for (Program& p : programs) {
            Start start = TimeOne(p.exe, p.title, p.traced);
            if (start.shown < 0) {
                std::printf("run %d: the %s did not appear\n", i + 1, p.name);
                return 1;
            }
            p.Add(std::move(start));
        }

    std::printf("start to shown, median of %d runs:", runs);
    for (const Program& p : programs)
        std::printf("%s %s %.1f ms", &p == programs ? "" : ",", p.name, Median(p.times));
    // A busy machine slows starts in bursts that a median of 15 does not even out; two starts
    // made one after the other share the load, so the median of their ratios holds steadier.
    std::printf("\ntavelin's ratio (medians):");
    for (const Program& p : programs)
        if (&p != &tavelin)
            std::printf("%s %.2f to the %s", &p == &same ? "" : ",",
                        Median(tavelin.times) / Median(p.times), p.name);
    std::printf("\ntavelin's ratio (median of each run's pair):");
    for (const Program& p : programs) {
        if (&p == &tavelin)
            continue;
        std::vector<double> paired;
        for (std::size_t i = 0; i < p.times.size(); ++i)
            paired.push_back(tavelin.times[i] / p.times[i]);
        std::printf("%s %.2f to the %s", &p == &same ? "" : ",", Median(paired), p.name);
    }
    std::printf("\nspread, min-max ms:");
    for (const Program& p : programs)
        std::printf("%s %s %.1f-%.1f", &p == programs ? "" : ",", p.name,
                    *std::min_element(p.times.begin(), p.times.end()),
                    *std::max_element(p.times.begin(), p.times.end()));
    // What the yardstick must match: it is the same window only while these agree.
    std::printf("\nchild windows: tavelin %d, same window %d; list items: tavelin %s, same window "
                "%s\n",
                tavelin.last.children, same.last.children, Items(tavelin.last.items).c_str(),
                Items(same.last.items).c_str());
    tavelin.PrintPhases();
    same.PrintPhases();
    return 0;
}
