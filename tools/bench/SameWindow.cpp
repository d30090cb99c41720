// The yardstick for Tavelin's start: the same window built plainly. It holds what Tavelin's
// main window holds, in the same numbers and places (owner-drawn pictures, headings in bold,
// three icon lists each in a window of its own, hidden notices, three buttons, a tool tip), and
// creates it the plainest way: each control given its font once, redraw off while a list fills,
// a standard message loop. Nothing of Tavelin's code is used.
// With TAVELIN_STARTUP_TRACE naming an inherited pipe, it writes its phase marks there as
// Tavelin does, so that the benchmark can set phase beside phase.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <iterator>

#include "SameWindowIds.h"

namespace {

// Tavelin's layout, in twips at 96 DPI.
constexpr int kClientWidth = 8295, kClientHeight = 5235, kBandTop = 4485, kPitch = 1215;
constexpr int kRows = 3;
constexpr COLORREF kBack = RGB(247, 247, 247), kBand = RGB(122, 150, 223);

enum Kind { Picture, Label, Heading, List, Button };
struct Control {
    Kind kind;
    int left, top, width, height;
    int number = 0;      // a picture's bitmap resource, a list's row
    bool visible = true; // the notices of a locked row and one donation button stay hidden
    bool clickable = false;
    const wchar_t* text = L"";
    bool disabled = false; // OK until a change, Restore without a backup
};

// In creation order, which is the z-order and the tab order, as in Tavelin's window.
// The maker's line reaches into the band: its background shows through.
constexpr const wchar_t* kMakerLine = L"\u00A9 2026 Tavelin project";
constexpr const wchar_t* kNotice = L"Option not available due to driver-specific settings";
const Control kControls[] = {
    {Picture, 180, 135, 480, 480, SW_HELP, true, true},
    {Picture, 1125, 135, 990, 570, SW_DONATE_FIRST, false, true},
    {Picture, 1125, 135, 990, 570, SW_DONATE_FIRST + 1, true, true},
    {Picture, 0, 0, 2200, 4500, SW_DECORATION},
    {Label, 45, 4275, 2085, 375, 0, true, false, kMakerLine},
    {Heading, 2430, 225, 5505, 330, 0, true, false, L"Select CapsLock key function"},
    {Picture, 2430, 540, 660, 450, SW_KEYCAP_FIRST},
    {Picture, 3195, 630, 135, 255, SW_ARROW},
    {Picture, 2430, 1080, 240, 240, SW_INFO, false},
    {Label, 2745, 1125, 5190, 240, 0, false, false, kNotice},
    {List, 3420, 495, 4515, 450, 0},
    {Heading, 2430, 225 + kPitch, 5505, 330, 0, true, false, L"Select Insert key function"},
    {Picture, 2430, 540 + kPitch, 660, 450, SW_KEYCAP_FIRST + 1},
    {Picture, 3195, 630 + kPitch, 135, 255, SW_ARROW},
    {Picture, 2430, 1080 + kPitch, 240, 240, SW_INFO, false},
    {Label, 2745, 1125 + kPitch, 5190, 240, 0, false, false, kNotice},
    {List, 3420, 495 + kPitch, 4515, 450, 1},
    {Heading, 2430, 225 + 2 * kPitch, 5505, 330, 0, true, false, L"Select ScrollLock key function"},
    {Picture, 2430, 540 + 2 * kPitch, 660, 450, SW_KEYCAP_FIRST + 2},
    {Picture, 3195, 630 + 2 * kPitch, 135, 255, SW_ARROW},
    {Picture, 2430, 1080 + 2 * kPitch, 240, 240, SW_INFO, false},
    {Label, 2745, 1125 + 2 * kPitch, 5190, 240, 0, false, false, kNotice},
    {List, 3420, 495 + 2 * kPitch, 4515, 450, 2},
    {Button, 3420, 3870, 4515, 375, 0, true, false, L"&Restore original settings", true},
    {Button, 5175, kBandTop + 180, 1320, 420, 0, true, false, L"&OK", true},
    {Button, 6615, kBandTop + 180, 1320, 420, 0, true, false, L"&Cancel"},
};
constexpr int kFirstId = 2000; // + the control's place in the table

// Each list's items (Tavelin's English option names, padded as Tavelin pads them) with their
// image numbers, and the item selected.
struct Option {
    const wchar_t* text;
    int image;
};
constexpr Option kOptions[] = {
    {L"Default (CapsLock key)", 0},
    {L"Default (Insert key)", 1},
    {L"Default (ScrollLock key)", 2},
    {L"Key turned off", 3},
    {L"Application key", 4},
    {L"Left windows key", 5},
    {L"Right windows key", 6},
    {L"Left shift key", 7},
    {L"Tab key", 8},
    {L"Calculator", 9},
    {L"My Computer", 10},
    {L"Mute", 11},
    {L"Media start/stop", 12},
    {L"Webbrowser", 13},
    {L"Search", 14},
};
constexpr int kOffered[kRows][16] = {
    {0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, -1},
    {1, 3, 4, 9, 10, 11, 12, 13, 14, -1},
    {2, 4, 9, 10, 11, 12, 13, 14, -1},
};

int g_dpi = 96;
HBITMAP g_bitmaps[std::size(kControls)]; // by place in the table
HBRUSH g_backBrush, g_bandBrush;
HCURSOR g_hand;
HWND g_maker;

int Px(int twips) {
    return MulDiv(twips, g_dpi, 1440);
}

LONGLONG g_marks[8];
const char* g_markNames[8];
int g_markCount;
void Mark(const char* name) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    g_markNames[g_markCount] = name;
    g_marks[g_markCount++] = now.QuadPart;
}
void WriteMarks() {
    wchar_t value[24];
    DWORD n = GetEnvironmentVariableW(L"TAVELIN_STARTUP_TRACE", value, std::size(value));
    if (n == 0 || n >= std::size(value))
        return;
    auto pipe = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(_wtoi64(value)));
    if (GetFileType(pipe) != FILE_TYPE_PIPE)
        return;
    char text[512];
    int length = 0;
    for (int i = 0; i < g_markCount; ++i)
        length += std::snprintf(text + length, sizeof text - length, "%s %lld\n", g_markNames[i],
                                g_marks[i]);
    DWORD written;
    WriteFile(pipe, text, length, &written, nullptr);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT client, band;
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, g_backBrush);
        band = {0, Px(kBandTop), client.right, client.bottom};
        FillRect(reinterpret_cast<HDC>(wParam), &band, g_bandBrush);
        return 1;
    }
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == g_maker) {
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        }
        SetBkColor(reinterpret_cast<HDC>(wParam), kBack);
        return reinterpret_cast<LRESULT>(g_backBrush);
    case WM_DRAWITEM: {
        const auto& dis = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        FillRect(dis.hDC, &dis.rcItem, g_backBrush);
        HBITMAP bitmap = g_bitmaps[dis.CtlID - kFirstId];
        BITMAP bm;
        GetObjectW(bitmap, sizeof bm, &bm);
        HDC memory = CreateCompatibleDC(dis.hDC);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(dis.hDC, 0, 0, bm.bmWidth, bm.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        return TRUE;
    }
    case WM_SETCURSOR:
        if (GetWindowLongPtrW(reinterpret_cast<HWND>(wParam), GWL_STYLE) & SS_NOTIFY) {
            SetCursor(g_hand);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Mark("entry");
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    HDC screen = GetDC(nullptr);
    g_dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    g_backBrush = CreateSolidBrush(kBack);
    g_bandBrush = CreateSolidBrush(kBand);
    g_hand = LoadCursorW(instance, L"HAND");

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(SW_ICON));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(SW_ICON), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"BenchSameWindow";
    RegisterClassExW(&wc);
    // The lists' own windows: plain hosts, as many as Tavelin's window has.
    WNDCLASSW host{};
    host.lpfnWndProc = DefWindowProcW;
    host.hInstance = instance;
    host.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    host.lpszClassName = L"BenchListHost";
    RegisterClassW(&host);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame = {0, 0, Px(kClientWidth), Px(kClientHeight)}, work;
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HWND hwnd = CreateWindowExW(0, L"BenchSameWindow", L"Bench Same Window", style,
                                work.left + (work.right - work.left - width) / 2,
                                work.top + (work.bottom - work.top - height) / 2, width, height,
                                nullptr, nullptr, instance, nullptr);

    const int fontHeight = -MulDiv(825, g_dpi, 7200); // 8.25 points
    HFONT font = CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    HFONT bold = CreateFontW(fontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    HIMAGELIST images = ImageList_Create(44, 30, ILC_COLOR24 | ILC_MASK, 20, 0);
    auto strip = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(SW_STRIP), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ImageList_AddMasked(images, strip, kBack);
    DeleteObject(strip);

    HWND lists[kRows] = {};
    HWND help = nullptr;
    for (int i = 0; i < static_cast<int>(std::size(kControls)); ++i) {
        const Control& c = kControls[i];
        const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + i));
        const int x = Px(c.left), y = Px(c.top), w = Px(c.width), h = Px(c.height);
        const DWORD visible = c.visible ? WS_VISIBLE : 0;
        HWND child = nullptr;
        switch (c.kind) {
        case Picture:
            g_bitmaps[i] = static_cast<HBITMAP>(LoadImageW(
                instance, MAKEINTRESOURCEW(c.number), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
            child = CreateWindowExW(0, L"STATIC", L"",
                                    WS_CHILD | visible | SS_OWNERDRAW |
                                        (c.clickable ? SS_NOTIFY : WS_CLIPSIBLINGS),
                                    x, y, w, h, hwnd, id, instance, nullptr);
            if (c.number == SW_HELP)
                help = child;
            break;
        case Label:
        case Heading:
            child = CreateWindowExW(0, L"STATIC", c.text, WS_CHILD | visible | SS_LEFT, x, y, w, h,
                                    hwnd, id, instance, nullptr);
            SendMessageW(child, WM_SETFONT,
                         reinterpret_cast<WPARAM>(c.kind == Heading ? bold : font), FALSE);
            if (c.text == kMakerLine)
                g_maker = child;
            break;
        case Button:
            child = CreateWindowExW(0, L"BUTTON", c.text,
                                    WS_CHILD | visible | WS_TABSTOP | BS_PUSHBUTTON |
                                        (c.disabled ? WS_DISABLED : 0),
                                    x, y, w, h, hwnd, id, instance, nullptr);
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            break;
        case List: {
            // 8 pixels of the list's own frame around the icons' field, as in Tavelin's table.
            HWND listHost =
                CreateWindowExW(0, L"BenchListHost", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                x, y, w, h + 8, hwnd, id, instance, nullptr);
            HWND list = CreateWindowExW(
                0, WC_COMBOBOXEXW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST, 0, 0,
                w, 8 * (h + 8), listHost, reinterpret_cast<HMENU>(1), instance, nullptr);
            SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            SendMessageW(list, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
            lists[c.number] = list;
            break;
        }
        }
    }
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP, 0, 0, 0, 0,
                               hwnd, nullptr, instance, nullptr);
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd;
    ti.uId = reinterpret_cast<UINT_PTR>(help);
    ti.lpszText = const_cast<wchar_t*>(L"Help");
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    Mark("controls");

    for (int row = 0; row < kRows; ++row) {
        HWND list = lists[row];
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        for (const int* option = kOffered[row]; *option >= 0; ++option) {
            wchar_t text[160];
            std::swprintf(text, std::size(text), L"%ls%100ls", kOptions[*option].text, L"");
            COMBOBOXEXITEMW item{};
            item.mask =
                CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_INDENT | CBEIF_LPARAM;
            item.iItem = -1;
            item.pszText = text;
            item.iImage = item.iSelectedImage = kOptions[*option].image;
            item.lParam = *option;
            SendMessageW(list, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        SendMessageW(list, CB_SETCURSEL, 0, 0);
    }
    Mark("filled");

    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetFocus(lists[0]);
    UpdateWindow(hwnd);
    Mark("shown");
    WriteMarks();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(hwnd, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
