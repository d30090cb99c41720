#include "ui/main/FMain.h"

#include <commctrl.h>

#include <utility>

#include "keymap/CScancodeMap.h"
#include "system/DonationAddress.h"
#include "ui/main/FMainIds.h"
#include "win32/Fatal.h"
#include "win32/StartupTrace.h"
#include "core/KeyCatalogue.h"
#include "ui/msgbox/MCenterMBX.h"
#include "system/MEventLog.h"
#include "system/MShellExec.h"
#include "system/MShutdown.h"
#include "core/Product.h"
#include "win32/Text.h"
#include "resources/pictures.h"

namespace {

constexpr wchar_t kClassName[] = L"TavelinMain";
constexpr COLORREF kBackColour = RGB(247, 247, 247);
constexpr COLORREF kFrameColour = RGB(122, 150, 223);

// Layout in twips, client coordinates.
constexpr int kClientWidth = 8295, kClientHeight = 5235;
constexpr int kRowPitch = 1215;
constexpr int kDisabledIconTop[] = {1080, 2295, 3465};
constexpr int kDisabledLabelTop[] = {1125, 2340, 3510};
// The notices start under the key cap (designed: icon 3465, text 3780 and 4110/4155 wide) and
// reach the lists' right edge: the German notice needs one line of that length.
constexpr int kDisabledIconLeft = 2430, kDisabledLabelLeft = 2745, kDisabledLabelWidth = 5190;
constexpr int kFrameTop = 4485;

void SetText(HWND hwnd, const std::string& utf8) {
    ::SetWindowTextW(hwnd, Utf8ToWide(utf8).c_str());
}

// The program's own icon in the caption (small) and in the task switcher (big). Shared icons
// live as long as the program.
void SetProgramIcon(HWND hwnd) {
    const struct {
        WPARAM which;
        int cx, cy;
    } sizes[] = {{ICON_SMALL, SM_CXSMICON, SM_CYSMICON}, {ICON_BIG, SM_CXICON, SM_CYICON}};
    for (const auto& size : sizes)
        ::SendMessageW(hwnd, WM_SETICON, size.which,
                       reinterpret_cast<LPARAM>(::LoadImageW(
                           ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TAVELIN), IMAGE_ICON,
                           ::GetSystemMetrics(size.cx), ::GetSystemMetrics(size.cy), LR_SHARED)));
}

} // namespace

FMain::FMain(std::string langCode, CScancodeMap& map)
    : langCode_(std::move(langCode)), map_(map), help_(std::make_unique<FHelp>(langCode_)) {}

const char* FMain::Tr(const char* de, const char* en) const {
    return langCode_ == "DE" ? de : en;
}

FMain::~FMain() {
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

int FMain::Twips(int twips) const noexcept { return ::MulDiv(twips, dpi_, 1440); }

void FMain::Load() {
    if (hwnd_)
        return;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!::GetClassInfoExW(instance, kClassName, &wc)) {
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &FMain::WindowProc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_TAVELIN));
        wc.lpszClassName = kClassName;
        if (!::RegisterClassExW(&wc))
            throw AppError(static_cast<std::int32_t>(::GetLastError()), ExeName() + ".FMain",
                           "The main window class cannot be registered.");
    }

    {
        WindowDc screen(nullptr);
        dpi_ = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    }
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame = {0, 0, Twips(kClientWidth), Twips(kClientHeight)};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    HWND hwnd = ::CreateWindowExW(0, kClassName, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, instance, this);
    if (!hwnd)
        throw AppError(static_cast<std::int32_t>(::GetLastError()), ExeName() + ".FMain",
                       "The main window cannot be created.");
    SetProgramIcon(hwnd);
    CreateControls();
    StartupTrace::Mark("controls");
    Form_Load();
}

void FMain::Show() {
    Load();
    RECT work{}, window{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(hwnd_, &window);
    const int w = window.right - window.left, h = window.bottom - window.top;
    ::SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + (work.bottom - work.top - h) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    // Keyboard users start in the first list that can take the focus.
    if (HWND first = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE))
        ::SetFocus(first);
    ::UpdateWindow(hwnd_);
}

bool FMain::PreTranslateMessage(MSG& msg) {
    if (!hwnd_ || (msg.hwnd != hwnd_ && !::IsChild(hwnd_, msg.hwnd)))
        return false;
    // F1 does what the help picture does: the picture itself cannot take the focus.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
        RunGuarded([this] { imgHelp_Click(); });
        return true;
    }
    return ::IsDialogMessageW(hwnd_, &msg) != FALSE;
}

LRESULT CALLBACK FMain::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<FMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FMain*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY && self) {
        // Late messages must not reach an object whose window is gone.
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    LRESULT result = 0;
    bool handled = RunGuarded([&] { result = self->HandleMessage(hwnd, msg, wParam, lParam); });
    return handled ? result : 0;
}

LRESULT FMain::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        PaintBackground(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        ::SetBkColor(dc, kBackColour);
        if (reinterpret_cast<HWND>(lParam) == lbOrvanDe_) {
            // The maker's line reaches into the blue band: let the background show through.
            ::SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        }
        return reinterpret_cast<LRESULT>(backBrush_.get());
    }
    case WM_DRAWITEM:
        DrawPicture(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_SETCURSOR: {
        HWND over = reinterpret_cast<HWND>(wParam);
        if (handCursor_ && (over == imgHelp_.hwnd || over == imgPaypal_[0].hwnd ||
                            over == imgPaypal_[1].hwnd)) {
            ::SetCursor(handCursor_);
            return TRUE;
        }
        break;
    }
    case WM_HELP:
        imgHelp_Click();
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDC_CMDOK && code == BN_CLICKED) {
            // Enter reaches here through the dialog navigation even while OK is disabled.
            if (::IsWindowEnabled(cmdOK_))
                cmdOK_Click();
        } else if (id == IDC_CMDCANCEL && code == BN_CLICKED) {
            cmdCancel_Click();
        } else if (id == IDC_CMDRESTORE && code == BN_CLICKED) {
            if (::IsWindowEnabled(cmdRestore_))
                cmdRestore_Click();
        } else if (id == IDC_IMGHELP && code == STN_CLICKED) {
            imgHelp_Click();
        } else if ((id == IDC_IMGPAYPAL_FIRST || id == IDC_IMGPAYPAL_FIRST + 1) &&
                   code == STN_CLICKED) {
            imgPaypal_Click();
        }
        return 0;
    }
    case WM_CLOSE:
        Unload();
        return 0;
    case WM_DESTROY:
        // Destroyed without going through Unload (for example at log-off): end all the same.
        if (!unloading_)
            ::PostQuitMessage(0);
        return 0;
    }
    // The handle given, not hwnd_: that is already cleared at WM_NCDESTROY.
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND FMain::CreateChild(const wchar_t* cls, DWORD style, int id, int left, int top, int width,
                        int height, const wchar_t* text) {
    HWND child = ::CreateWindowExW(0, cls, text, WS_CHILD | style, Twips(left), Twips(top),
                                   Twips(width), Twips(height), hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (!child)
        throw AppError(static_cast<std::int32_t>(::GetLastError()), ExeName() + ".FMain",
                       "A control of the main window cannot be created.");
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return child;
}

void FMain::CreatePicture(Picture& picture, int id, int bitmapId, bool visible, bool clickable,
                          int left, int top, int width, int height) {
    picture.bitmap.reset(static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0,
                     LR_CREATEDIBSECTION)));
    // Without SS_NOTIFY a static is transparent to the mouse: its clicks go to what lies below.
    // A picture that only shows leaves the picture buttons above it unpainted.
    const DWORD input = clickable ? SS_NOTIFY : WS_CLIPSIBLINGS;
    const DWORD style = SS_OWNERDRAW | input | (visible ? WS_VISIBLE : 0);
    picture.hwnd = CreateChild(L"STATIC", style, id, left, top, width, height);
}

void FMain::CreateControls() {
    const int fontHeight = -::MulDiv(825, dpi_, 7200); // 8.25 points
    font_.reset(::CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
    boldFont_.reset(::CreateFontW(fontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
    backBrush_.reset(::CreateSolidBrush(kBackColour));
    frameBrush_.reset(::CreateSolidBrush(kFrameColour));
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    picFrame_ = {0, Twips(kFrameTop), Twips(kClientWidth), Twips(kClientHeight)};

    // Creation order is the tab order: the three lists, Restore, OK, Cancel.
    // The first child created lies on top: the picture buttons before the decoration under them.
    CreatePicture(imgHelp_, IDC_IMGHELP, IDB_HELP, true, true, 180, 135, 480, 480);
    for (int i = 0; i < 2; ++i)
        CreatePicture(imgPaypal_[i], IDC_IMGPAYPAL_FIRST + i, IDB_DONATE_FIRST + i, false, true,
                      1125, 135, 990, 570);
    CreatePicture(imgDecoration_, IDC_IMGDECORATION, IDB_DECORATION, true, false, 0, 0, 2550, 4500);
    lbOrvanDe_ = CreateChild(L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, IDC_LBORVANDE, 45,
                             4275, 2085, 375, L"\u00A9 2026 Tavelin project");

    const MivoCboExProps listProps = MainWindowListProps();
    for (int k = 0; k < kRows; ++k) {
        const int top = kRowPitch * k;
        // Wider than designed (3435): the German headings in bold need the room up to the
        // list's right edge, and nothing else stands there.
        lbKey_[k] = CreateChild(L"STATIC", WS_VISIBLE | SS_LEFT, IDC_LBKEY_FIRST + k, 2430,
                                225 + top, 5505, 330);
        ::SendMessageW(lbKey_[k], WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), FALSE);
        CreatePicture(imgButton_[k], IDC_IMGBUTTON_FIRST + k, IDB_KEYCAP_FIRST + k, true, false,
                      2430, 540 + top, 660, 450);
        CreatePicture(imgArrow_[k], IDC_IMGARROW_FIRST + k, IDB_ARROW, true, false, 3195, 630 + top,
                      135, 255);
        CreatePicture(imgDisabled_[k], IDC_IMGDISABLED_FIRST + k, IDB_INFO, false, false,
                      kDisabledIconLeft, kDisabledIconTop[k], 240, 240);
        lbDisabled_[k] = CreateChild(L"STATIC", SS_LEFT, IDC_LBDISABLED_FIRST + k,
                                     kDisabledLabelLeft, kDisabledLabelTop[k], kDisabledLabelWidth,
                                     240);
        cboKey_[k] = std::make_unique<MivoCboEx>(hwnd_, Twips(3420), Twips(495 + top),
                                                 Twips(4515), Twips(330), listProps);
        HWND cbo = cboKey_[k]->hwnd();
        ::SetWindowLongPtrW(cbo, GWLP_ID, IDC_CBOKEY_FIRST + k);
        ::SetWindowLongPtrW(cbo, GWL_STYLE, ::GetWindowLongPtrW(cbo, GWL_STYLE) | WS_TABSTOP);
        cboKey_[k]->OnChange = [this, k] { cboKey_Change(k); };
    }

    // As wide as the lists above it (designed 4410/3525): the German caption needs the room.
    cmdRestore_ = CreateChild(L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, IDC_CMDRESTORE,
                              3420, 3870, 4515, 375);
    cmdOK_ = CreateChild(L"BUTTON", WS_VISIBLE | WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON,
                         IDC_CMDOK, 5175, kFrameTop + 180, 1320, 420, L"&OK");
    cmdCancel_ = CreateChild(L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, IDC_CMDCANCEL,
                             6615, kFrameTop + 180, 1320, 420);

    toolTip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP, 0, 0, 0,
                                 0, hwnd_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

void FMain::PaintBackground(HDC dc) const {
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    ::FillRect(dc, &client, backBrush_.get());
    ::FillRect(dc, &picFrame_, frameBrush_.get());
}

void FMain::DrawPicture(const DRAWITEMSTRUCT& dis) const {
    const Picture* all[] = {&imgDecoration_, &imgHelp_, &imgPaypal_[0], &imgPaypal_[1],
                            &imgButton_[0],  &imgButton_[1], &imgButton_[2], &imgArrow_[0],
                            &imgArrow_[1],   &imgArrow_[2],  &imgDisabled_[0], &imgDisabled_[1],
                            &imgDisabled_[2]};
    const Picture* picture = nullptr;
    for (const Picture* p : all)
        if (p->hwnd == dis.hwndItem)
            picture = p;
    ::FillRect(dis.hDC, &dis.rcItem, backBrush_.get());
    if (!picture || !picture->bitmap)
        return;
    BITMAP bm{};
    ::GetObjectW(picture->bitmap.get(), sizeof(bm), &bm);
    UniqueMemoryDc memory(::CreateCompatibleDC(dis.hDC));
    SelectedObject selected(memory.get(), picture->bitmap.get());
    // Pictures are drawn for 96 DPI and scaled like the layout; the control clips them (the
    // decoration is narrower than its picture).
    const int w = ::MulDiv(bm.bmWidth, dpi_, 96), h = ::MulDiv(bm.bmHeight, dpi_, 96);
    if (w == bm.bmWidth && h == bm.bmHeight) {
        ::BitBlt(dis.hDC, 0, 0, w, h, memory.get(), 0, 0, SRCCOPY);
    } else {
        ::SetStretchBltMode(dis.hDC, HALFTONE);
        ::SetBrushOrgEx(dis.hDC, 0, 0, nullptr);
        ::StretchBlt(dis.hDC, 0, 0, w, h, memory.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    }
}

void FMain::Form_Load() {
    // 1. Caption: the title by which a second copy finds this one.
    SetText(hwnd_, Product::MainWindowTitle());
    // 2. Only the left part of the decoration shows.
    ::SetWindowPos(imgDecoration_.hwnd, nullptr, 0, 0, Twips(2200), Twips(4500),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // 3. The picture buttons show a pointing hand.
    handCursor_ = ::LoadCursorW(::GetModuleHandleW(nullptr), L"CURSORHAND");

    // 4. Texts by language.
    SetText(lbKey_[0], Tr("Funktion für CapsLock-Taste festlegen", "Select CapsLock key function"));
    SetText(lbKey_[1], Tr("Funktion für Einfügen-Taste festlegen", "Select Insert key function"));
    SetText(lbKey_[2], Tr("Funktion für Rollen-Taste festlegen", "Select ScrollLock key function"));
    SetText(cmdCancel_, Tr("&Abbrechen", "&Cancel"));
    SetText(cmdRestore_, Tr("&Standard-Einstellungen wiederherstellen", "&Restore original settings"));
    const std::wstring tip = Utf8ToWide(Tr("Hilfe", "Help"));
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(imgHelp_.hwnd);
    ti.lpszText = const_cast<wchar_t*>(tip.c_str());
    ::SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    for (HWND notice : lbDisabled_)
        SetText(notice, Tr("Nicht verfügbar aufgrund Treiber-spezifischer Belegung",
                           "Option not available due to driver-specific settings"));
    ::ShowWindow(imgPaypal_[langCode_ == "DE" ? 0 : 1].hwnd, SW_SHOWNA);

    // 5. The icons of all options, cut from the strip.
    picImgListSource_.reset(static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_ICON_STRIP), IMAGE_BITMAP,
                     0, 0, LR_CREATEDIBSECTION)));
    imageList_.SetIconSizeX(44);
    imageList_.SetIconSizeY(30);
    imageList_.SetColourDepth(24);
    imageList_.Create();
    imageList_.AddFromHandle(picImgListSource_.get(), 0, "", static_cast<std::int32_t>(kBackColour));
    StartupTrace::Mark("images");

    // 6. A fresh catalogue, identical to the one built at start.
    MKeys::BuildKeyCatalogue();

    // 7-8. Fill the lists from the options offered for each key.
    // The lists redraw once, when the window first shows, not after each step of the filling.
    for (auto& cbo : cboKey_)
        cbo->SetRedraw(false);
    for (int row = 0; row < kRows; ++row) {
        MivoCboEx& cbo = *cboKey_[row];
        cbo.SetImageList(MivoImageListArg(&imageList_));
        // The designed height fits a line of text; with the 30-pixel icons the selection field
        // is taller, so the list grows to show it whole, as the control sizes itself at design
        // time (field height plus 6 pixels).
        const int field = static_cast<int>(::SendMessageW(cbo.hWndCombo(), CB_GETITEMHEIGHT,
                                                          static_cast<WPARAM>(-1), 0)) + 6;
        RECT rect{};
        ::GetWindowRect(cbo.hwnd(), &rect);
        if (field > rect.bottom - rect.top)
            ::SetWindowPos(cbo.hwnd(), nullptr, 0, 0, rect.right - rect.left, field,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const std::string padding(100, ' ');
    for (int row = 0; row < kRows; ++row) {
        for (const KeyOption* option : KeyCatalogue().OfferedFor(row)) {
            const std::int32_t id = option->ID;
            cboKey_[row]->AddItemAndData(std::string(option->DisplayName(langCode_)) +
                                             padding,
                                         id, id, id);
        }
    }
    for (auto& cbo : cboKey_)
        cbo->SetRedraw(true);
    StartupTrace::Mark("filled");

    // 9-10. Preselect each key's current function and remember where each list started.
    for (int row = 0; row < kRows; ++row)
        SelectCurrentSetting(*cboKey_[row], row, std::string(OwnCodeOf(row)));
    for (int row = 0; row < kRows; ++row)
        lInitialIndex[row] = cboKey_[row]->ListIndex();

    // 11. Restore is offered when a backup existed at load.
    ::EnableWindow(cmdRestore_, map_.BackupMapExists());
}

void FMain::SelectCurrentSetting(MivoCboEx& cbo, int row, const std::string& code) {
    const std::int32_t id = map_.GetCurrentKeySetting(code);
    // Also locked: a key whose entry sends a code its list cannot show (ScrollLock turned off,
    // CapsLock sending Insert); showing the default would drop that entry at the next save.
    if (id == -1 || map_.KeyNeedsLock(row)) {
        cbo.SetEnabled(false);
        ::ShowWindow(imgDisabled_[row].hwnd, SW_SHOWNA);
        ::ShowWindow(lbDisabled_[row], SW_SHOWNA);
        return;
    }
    std::int32_t index = 0;
    for (std::int32_t i = 0; i < cbo.ListCount(); ++i) {
        if (cbo.ItemData(i) == id) {
            index = i;
            break;
        }
    }
    cbo.SetListIndex(index);
}

void FMain::cboKey_Change(int row) {
    if (cboKey_[row]->ListIndex() != lInitialIndex[row])
        ::EnableWindow(cmdOK_, TRUE);
}

void FMain::cmdOK_Click() {
    CScancodeMap& map = map_;
    map.SetNewSettingString(map.CurrentSettingString());
    for (int row = 0; row < kRows; ++row) {
        MivoCboEx& cbo = *cboKey_[row];
        // A locked list keeps the key's entries as found, and so does a list without a
        // selection: "nothing selected" must never be saved as catalogue row 0.
        if (cbo.Enabled() && cbo.ListIndex() >= 0)
            map.BuildNewSettingString(row, cbo.ItemData(cbo.ListIndex()));
    }
    if (!WrittenUnlessChanged([&] { map.SaveNewSetting(); }))
        return;
    bRebootPending = true;

    const char* prefix[] = {
        Tr("Belegung der CapsLock-Taste geändert zu: ", "CapsLock key mapped to: "),
        Tr("Belegung der Einfügen-Taste geändert zu: ", "Insert key mapped to: "),
        Tr("Belegung der Rollen-Taste geändert zu: ", "ScrollLock key mapped to: ")};
    for (int row = 0; row < kRows; ++row)
        MEventLog::WriteInformation(prefix[row] + cboKey_[row]->Text());
    Unload();
}

void FMain::cmdCancel_Click() { Unload(); }

void FMain::cmdRestore_Click() {
    std::string title;
    const int answer = MCenterMBX::CenteredMsgBox(
        Tr("Ursprüngliche Einstellungen wiederherstellen?", "Restore original key settings?"),
        MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3, title, hwnd_);
    if (answer != IDYES)
        return;
    if (!WrittenUnlessChanged([&] { map_.RestoreMap(); }))
        return;
    bRebootPending = true;
    Unload();
}

bool FMain::WrittenUnlessChanged(const std::function<void()>& write) {
    try {
        write();
        return true;
    } catch (const AppError& e) {
        if (e.Number() != CScancodeMap::kErrChangedSinceStart)
            throw;
    }
    // The lists show a map that is no longer there: say so, and leave the window as it is.
    std::string title;
    MCenterMBX::CenteredMsgBox(
        Tr("Die Tastaturbelegung wurde seit dem Start von Tavelin von einem anderen Programm "
           "geändert. Es wurde nichts gespeichert.",
           "The keyboard map was changed by another program since Tavelin started. Nothing was "
           "saved."),
        MB_OK | MB_ICONEXCLAMATION, title, hwnd_);
    return false;
}

void FMain::imgHelp_Click() {
    help_->Load();
    RECT main{};
    ::GetWindowRect(hwnd_, &main);
    help_->Move(main.left - Twips(1600), main.top - Twips(1600));
    help_->Show();
}

void FMain::imgPaypal_Click() {
    OpenDonationPage(langCode_, hwnd_);
}

void FMain::Unload() {
    if (unloading_ || !hwnd_)
        return;
    unloading_ = true;
    Form_Unload();
    ::DestroyWindow(hwnd_);
    Form_Terminate();
}

void FMain::Form_Unload() {
    help_->Unload();
    // A fault during the rest of the shutdown shows no system error dialog.
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
}

void FMain::Form_Terminate() {
    if (bRebootPending) {
        const std::string message =
            std::string(Tr("Sie müssen den Rechner neu starten, damit die Änderungen wirksam "
                           "werden.",
                           "You have to reboot the computer for the settings to take effect.")) +
            "\r\n\r\n" + Tr("Möchten Sie den Rechner jetzt neu starten?", "Do you want to reboot now?");
        const int answer =
            ::MessageBoxW(nullptr, Utf8ToWide(message).c_str(), Utf8ToWide(Product::kName).c_str(),
                          MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        if (answer == IDYES)
            MShutdown::ShutdownSystem(MShutdown::GetMachineName(), false, true, true);
    }
    ::PostQuitMessage(0);
}
