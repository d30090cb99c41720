// The floor for Tavelin's start: a window with what Tavelin's window must have (the common
// controls 6 manifest, three drop-down ComboBoxEx lists of 15 items with a 44 x 30 image list,
// labels and buttons), and nothing of Tavelin's own code.
#include <windows.h>
#include <commctrl.h>

#include "BenchWindow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    HWND hwnd = CreateBenchWindow(instance, L"Bench Three Lists", 540, 420,
                                  reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HIMAGELIST images = ImageList_Create(44, 30, ILC_COLOR24, 15, 0);
    for (int row = 0; row < 3; ++row) {
        HWND label =
            CreateWindowExW(0, L"STATIC", L"Select the key's function", WS_CHILD | WS_VISIBLE, 10,
                            10 + 80 * row, 300, 20, hwnd, nullptr, instance, nullptr);
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        HWND list = CreateWindowExW(
            0, WC_COMBOBOXEXW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST, 10,
            35 + 80 * row, 300, 300, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(100 + row)),
            instance, nullptr);
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageW(list, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
        for (int i = 0; i < 15; ++i) {
            wchar_t text[32];
            wsprintfW(text, L"Function %d", i + 1);
            COMBOBOXEXITEMW item{};
            item.mask = CBEIF_TEXT;
            item.iItem = -1;
            item.pszText = text;
            SendMessageW(list, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        SendMessageW(list, CB_SETCURSEL, 0, 0);
    }
    const wchar_t* buttons[] = {L"OK", L"Cancel"};
    for (int i = 0; i < 2; ++i) {
        HWND button = CreateWindowExW(0, L"BUTTON", buttons[i],
                                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                      330 + 95 * i, 340, 85, 28, hwnd, nullptr, instance, nullptr);
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return ShowAndRun(hwnd);
}
