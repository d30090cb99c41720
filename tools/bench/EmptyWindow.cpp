// The yardstick: the least a Win32 program does to show one window.
#include "BenchWindow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return ShowAndRun(CreateBenchWindow(instance, L"Bench Empty Window", 400, 300));
}
