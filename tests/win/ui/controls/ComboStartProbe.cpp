// What one key list costs at start, step by step, as the main window builds it: create the
// list, hand it the 44 x 30 image list, fit its height, fill 15 items, preselect one. Prints
// the median over the runs of each step for the first list of the process and for the later
// ones (the first also pays for class registration and first-use caches).
//   scripts/wine-run --prefix build/wineprefix combo_start_probe.exe [runs]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ui/controls/MivoCboEx.h"
#include "ui/controls/cMIVOImageList.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

constexpr const char* kSteps[] = {"create", "image list", "height", "fill 15", "preselect"};
constexpr int kStepCount = 5;

// One list as the main window makes it; adds each step's milliseconds to times.
void OneList(HWND parent, int row, const cMIVOImageList& icons, std::vector<double>* times) {
    double t = Now();
    auto lap = [&](int step) {
        const double now = Now();
        times[step].push_back(now - t);
        if (std::getenv("PROBE_MARK")) // separates the steps in a +server trace
            std::fprintf(stderr, "probe-step %s\n", kSteps[step]);
        t = Now();
    };
    static std::vector<std::unique_ptr<MivoCboEx>> keep; // alive until the process ends
    keep.push_back(
        std::make_unique<MivoCboEx>(parent, 228, 33 + 60 * row, 301, 22, MainWindowListProps()));
    MivoCboEx& cbo = *keep.back();
    lap(0);
    cbo.SetImageList(MivoImageListArg(&icons));
    lap(1);
    const int field = static_cast<int>(::SendMessageW(cbo.hWndCombo(), CB_GETITEMHEIGHT,
                                                      static_cast<WPARAM>(-1), 0)) +
                      6;
    RECT rect{};
    ::GetWindowRect(cbo.hwnd(), &rect);
    if (field > rect.bottom - rect.top)
        ::SetWindowPos(cbo.hwnd(), nullptr, 0, 0, rect.right - rect.left, field,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    lap(2);
    for (int i = 0; i < 15; ++i)
        cbo.AddItemAndData("Option " + std::to_string(i) + std::string(100, ' '), i, i, i);
    lap(3);
    cbo.SetListIndex(row);
    lap(4);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_USEREX_CLASSES};
    ::InitCommonControlsEx(&icc);

    // The icons: a 20-image strip, as the main window's resource holds it.
    BITMAPINFO bi = {{sizeof bi.bmiHeader, 20 * 44, -30, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    UniqueBitmap strip(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    cMIVOImageList icons;
    icons.SetIconSizeX(44);
    icons.SetIconSizeY(30);
    icons.SetColourDepth(24);
    icons.Create();
    icons.AddFromHandle(strip.get(), 0, "", RGB(247, 247, 247));

    std::vector<double> first[kStepCount], later[kStepCount];
    for (int run = 0; run < runs; ++run) {
        // A hidden owner, as the main window is while it builds its lists.
        HWND parent = ::CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 560, 300,
                                        nullptr, nullptr, nullptr, nullptr);
        for (int row = 0; row < 3; ++row)
            OneList(parent, row, icons, run == 0 && row == 0 ? first : later);
    }
    std::printf("%-12s %10s %10s\n", "step (ms)", "first", "later");
    double sumFirst = 0, sumLater = 0;
    for (int s = 0; s < kStepCount; ++s) {
        sumFirst += Median(first[s]), sumLater += Median(later[s]);
        std::printf("%-12s %10.2f %10.2f\n", kSteps[s], Median(first[s]), Median(later[s]));
    }
    std::printf("%-12s %10.2f %10.2f\n", "total", sumFirst, sumLater);
    return 0;
}
