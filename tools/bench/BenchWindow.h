// The top-level window and message loop the benchmark's yardstick programs share: they differ
// only in what they put into the window.
#pragma once

#include <windows.h>

inline LRESULT CALLBACK BenchWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

inline HWND CreateBenchWindow(HINSTANCE instance, const wchar_t* title, int width, int height,
                              HBRUSH background = nullptr) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = BenchWindowProc;
    wc.hInstance = instance;
    wc.hbrBackground = background;
    wc.lpszClassName = L"BenchWindow";
    RegisterClassW(&wc);
    return CreateWindowW(L"BenchWindow", title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         width, height, nullptr, nullptr, instance, nullptr);
}

inline int ShowAndRun(HWND hwnd) {
    ShowWindow(hwnd, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
