#include "ui/main/FMain.h"

#include <commctrl.h>

#include <utility>

#include "core/MKeys.h"
#include "core/Product.h"
#include "keymap/CScancodeMap.h"
#include "keymap/MRestartRecord.h"
#include "resources/pictures.h"
#include "system/MDonation.h"
#include "system/MShutdown.h"
#include "ui/main/FMainIds.h"
#include "ui/msgbox/MAddressBox.h"
#include "ui/msgbox/MCenterMBX.h"
#include "win32/ModuleSource.h"
#include "win32/MFatal.h"
#include "win32/MStartupTrace.h"
#include "win32/MText.h"

namespace {

constexpr ErrorSource kSource = ModuleSource("FMain");
constexpr COLORREF kFrameColour = RGB(122, 150, 223);
// The icon strip's background, masked out of every icon.
constexpr COLORREF kStripBackColour = RGB(247, 247, 247);
constexpr int kIconWidth = 44, kIconHeight = 30; // pixels at 96 DPI

// The layout, in twips and client coordinates, designed at 96 DPI. The key rows lie 1215 apart.
constexpr int kClientWidth = 8295, kClientHeight = 5235;
constexpr int kFrameTop = 4485; // the blue band, to the bottom
constexpr int kPitch = 1215;

struct Placement {
    int id;
    int left, top, width, height;
    int framePixels = 0; // added to the height unscaled: a control's own frame
};

// Every control's rectangle. The first child created lies on top and creation order is the tab
// order (see CreateControls); the table's order does not matter.
constexpr Placement kLayout[] = {
    {IDC_IMGHELP, 180, 135, 480, 480},
    {IDC_IMGPAYPAL_FIRST, 1125, 135, 990, 570},
    {IDC_IMGPAYPAL_FIRST + 1, 1125, 135, 990, 570},
    // Only the left part of the decoration shows (designed 2550 wide, the picture is wider).
    {IDC_IMGDECORATION, 0, 0, 2200, 4500},
    // The maker's line reaches into the blue band.
    {IDC_LBORVANDE, 45, 4275, 2085, 375},
    // Headings wider than designed (3435): the German headings in bold need the room up to the
    // list's right edge, and nothing else stands there.
    {IDC_LBKEY_FIRST, 2430, 225, 5505, 330},
    {IDC_LBKEY_FIRST + 1, 2430, 225 + kPitch, 5505, 330},
    {IDC_LBKEY_FIRST + 2, 2430, 225 + 2 * kPitch, 5505, 330},
    {IDC_IMGBUTTON_FIRST, 2430, 540, 660, 450},
    {IDC_IMGBUTTON_FIRST + 1, 2430, 540 + kPitch, 660, 450},
    {IDC_IMGBUTTON_FIRST + 2, 2430, 540 + 2 * kPitch, 660, 450},
    {IDC_IMGARROW_FIRST, 3195, 630, 135, 255},
    {IDC_IMGARROW_FIRST + 1, 3195, 630 + kPitch, 135, 255},
    {IDC_IMGARROW_FIRST + 2, 3195, 630 + 2 * kPitch, 135, 255},
    // The lists: designed 330 high, a line of text. The icons (450, 30 pixels at 96 DPI) make
    // the selection field taller, and the list shows it whole, as the control sized itself at
    // design time: the field 2 pixels taller than an icon, the list 6 more (measured).
    {IDC_CBOKEY_FIRST, 3420, 495, 4515, 450, 8},
    {IDC_CBOKEY_FIRST + 1, 3420, 495 + kPitch, 4515, 450, 8},
    {IDC_CBOKEY_FIRST + 2, 3420, 495 + 2 * kPitch, 4515, 450, 8},
    // A locked row's notice starts under the key cap (designed: icon 3465, text 3780 and
    // 4110/4155 wide) and reaches the list's right edge: the German notice needs one line of
    // that length.
    {IDC_IMGDISABLED_FIRST, 2430, 1080, 240, 240},
    {IDC_IMGDISABLED_FIRST + 1, 2430, 2295, 240, 240},
    {IDC_IMGDISABLED_FIRST + 2, 2430, 3465, 240, 240},
    {IDC_LBDISABLED_FIRST, 2745, 1125, 5190, 240},
    {IDC_LBDISABLED_FIRST + 1, 2745, 2340, 5190, 240},
    {IDC_LBDISABLED_FIRST + 2, 2745, 3510, 5190, 240},
    // As wide as the lists above it (designed 4410/3525): the German caption needs the room.
    {IDC_CMDRESTORE, 3420, 3870, 4515, 375},
    // OK and Cancel stand in the blue band.
    {IDC_CMDOK, 5175, kFrameTop + 180, 1320, 420},
    {IDC_CMDCANCEL, 6615, kFrameTop + 180, 1320, 420},
    // A line of text between Restore and the blue band, as wide as the headings.
    {IDC_LBRESTART, 2430, 4260, 5505, 210},
};

// The stored settings of the three key lists: drop-down list without edit field, 8.25-point
// "MS Sans Serif", everything else at its default; a locked key's list is disabled.
MivoCboExProps MainWindowListProps(bool locked) {
    MivoCboExProps bag;
    bag.Write(MivoCboExKey::Style, std::int32_t{2});
    bag.Write(MivoCboExKey::Font, MivoFont{"MS Sans Serif", 8.25});
    if (locked)
        bag.Write(MivoCboExKey::Enabled, false);
    return bag;
}

// Each key row's heading, German and English. Its access key moves into the row's list; none is
// a button's (German S, O, A; English R, O, C).
constexpr std::pair<const char*, const char*> kHeadings[] = {
    {"Funktion für &CapsLock-Taste festlegen", "Select C&apsLock key function"},
    {"Funktion für &Einfügen-Taste festlegen", "Select &Insert key function"},
    {"Funktion für &Rollen-Taste festlegen", "Select &ScrollLock key function"},
};
static_assert(std::size(kHeadings) == kKeyCount);

UniqueBitmap LoadBitmapResource(int id, int width = 0, int height = 0) {
    // With a size, the bitmap is stretched to it while loading.
    return UniqueBitmap(
        static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                          IMAGE_BITMAP, width, height, LR_CREATEDIBSECTION)));
}

} // namespace

FMain::FMain(Language lang, CScancodeMap& map)
    : lang_(lang), map_(map), edit_(map, lang), help_(std::make_unique<FHelp>(lang)) {}

FMain::~FMain() {
    Destroy(); // while the lists and pictures its handler reaches still exist
}

void FMain::CustomizeClass(WNDCLASSEXW& wc) noexcept {
    // The program's own icon in the task switcher (big) and in the caption (small). Shared
    // icons live as long as the program.
    wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_TAVELIN));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(wc.hInstance, MAKEINTRESOURCEW(IDI_TAVELIN),
                                                 IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

void FMain::Load() {
    if (Hwnd())
        return;
    // What the window shows is known before it is made, so that each control is made as it
    // shows: the rows of the map.
    rows_.emplace(MKeys::Catalogue(), map_.CurrentSettingString(), map_.MapIsWellFormed());

    dpi_ = MDpi::WindowDpi();
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame = {0, 0, Twips(kClientWidth), Twips(kClientHeight)};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    // Made in the centre of the screen, where it first shows, with the title by which a second
    // copy finds this one.
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    CreateWin(kSource, 0, MText::Utf8ToWide(Product::MainWindowTitle()).c_str(), style,
              work.left + (work.right - work.left - w) / 2,
              work.top + (work.bottom - work.top - h) / 2, w, h, nullptr);
    CreateControls();
    MStartupTrace::Mark("controls");
    Form_Load();
}

void FMain::Show() {
    Load();
    // As in a dialog box, access keys are underlined and focus rectangles drawn once the keyboard
    // is used (Alt, Tab), unless the user wants them always. A plain window shows them at once.
    BOOL alwaysUnderline = FALSE;
    ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &alwaysUnderline, 0);
    if (!alwaysUnderline)
        ::SendMessageW(Hwnd(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
    ::ShowWindow(Hwnd(), SW_SHOWNORMAL);
    // Keyboard users start in the first list that can take the focus, in its combo box, where
    // the list's own window would hand it on.
    if (HWND first = ::GetNextDlgTabItem(Hwnd(), nullptr, FALSE)) {
        for (const auto& cbo : cboKey_)
            if (cbo->hwnd() == first && cbo->hWndCombo())
                first = cbo->hWndCombo();
        ::SetFocus(first);
    }
    ::UpdateWindow(Hwnd());
}

bool FMain::PreTranslateMessage(MSG& msg) {
    if (!Hwnd() || (msg.hwnd != Hwnd() && !::IsChild(Hwnd(), msg.hwnd)))
        return false;
    // F1 opens the help from anywhere in the window, as the help button does.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
        MFatal::RunGuarded([this] { imgHelp_Click(); });
        return true;
    }
    // Enter presses the button that has the focus, as in a dialog box; the dialog navigation
    // would send OK's command for the picture buttons. A held key presses it once.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && !(msg.lParam & (1 << 30))) {
        HWND focus = ::GetFocus();
        if (focus && ::GetParent(focus) == Hwnd() &&
            (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON)) {
            ::SendMessageW(Hwnd(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(focus), BN_CLICKED),
                           reinterpret_cast<LPARAM>(focus));
            return true;
        }
    }
    const bool handled = ::IsDialogMessageW(Hwnd(), &msg) != FALSE;
    labelFocus_ = nullptr; // a label's access key ends with the message that pressed it
    return handled;
}

void FMain::NextDlgCtl(WPARAM wParam, bool direct) {
    HWND to = nullptr;
    if (direct) {
        to = reinterpret_cast<HWND>(wParam);
        // A label's access key: the dialog navigation names the label, then asks for the control
        // after it. The label itself takes no focus.
        if (::SendMessageW(to, WM_GETDLGCODE, 0, 0) & DLGC_STATIC) {
            labelFocus_ = to;
            return;
        }
    } else if (HWND label = std::exchange(labelFocus_, nullptr)) {
        // The label's own control is the window right after it. A locked list cannot take the
        // focus: the focus stays, rather than landing in another row's list.
        to = ::GetWindow(label, GW_HWNDNEXT);
        if (to && !(::IsWindowVisible(to) && ::IsWindowEnabled(to)))
            to = nullptr;
    } else {
        // The next or previous tab stop, counted from the window of ours that holds the focus.
        HWND from = ::GetFocus();
        while (from && ::GetParent(from) != Hwnd())
            from = ::GetParent(from);
        to = ::GetNextDlgTabItem(Hwnd(), from, wParam != 0);
    }
    if (to)
        ::SetFocus(to); // a list's own window hands it on to its combo box
}

LRESULT FMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        PaintBackground(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, colours_.text);
        ::SetBkColor(dc, colours_.back);
        if (reinterpret_cast<HWND>(lParam) == Item(IDC_LBORVANDE)) {
            // The maker's line reaches into the blue band: let the background show through.
            ::SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        }
        return reinterpret_cast<LRESULT>(backBrush_.get());
    }
    case WM_SYSCOLORCHANGE:
        // A high-contrast theme switched on or off.
        ChooseColours();
        ::InvalidateRect(Hwnd(), nullptr, TRUE);
        break;
    case WM_DRAWITEM:
        DrawPicture(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_SETCURSOR: {
        HWND over = reinterpret_cast<HWND>(wParam);
        if (over == Item(IDC_IMGHELP) || over == Item(IDC_IMGPAYPAL_FIRST) ||
            over == Item(IDC_IMGPAYPAL_FIRST + 1)) {
            // Loaded when the mouse first comes onto a picture button.
            if (!handCursor_)
                handCursor_ = ::LoadCursorW(::GetModuleHandleW(nullptr), L"CURSORHAND");
            ::SetCursor(handCursor_);
            return TRUE;
        }
        break;
    }
    case WM_HELP:
        imgHelp_Click();
        return TRUE;
    case WM_ACTIVATE:
        // As in a dialog box, the control that had the focus gets it back when the window is
        // activated again (after the help, the browser, a box); Windows would focus the window.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            lastFocus_ = focus && ::IsChild(Hwnd(), focus) ? focus : nullptr;
        } else if (lastFocus_ && ::IsChild(Hwnd(), lastFocus_)) {
            ::SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_NEXTDLGCTL:
        // The dialog navigation asks the window to move the focus: a label's access key.
        NextDlgCtl(wParam, LOWORD(lParam) != 0);
        return 0;
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDC_CMDOK && code == BN_CLICKED) {
            // Enter reaches here through the dialog navigation even while OK is disabled.
            if (::IsWindowEnabled(Item(IDC_CMDOK)))
                cmdOK_Click();
        } else if (id == IDC_CMDCANCEL && code == BN_CLICKED) {
            cmdCancel_Click();
        } else if (id == IDC_CMDRESTORE && code == BN_CLICKED) {
            if (::IsWindowEnabled(Item(IDC_CMDRESTORE)))
                cmdRestore_Click();
        } else if (id == IDC_IMGHELP && code == BN_CLICKED) {
            imgHelp_Click();
        } else if ((id == IDC_IMGPAYPAL_FIRST || id == IDC_IMGPAYPAL_FIRST + 1) &&
                   code == BN_CLICKED) {
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
    case WM_NCDESTROY:
        return 0; // the base detaches and passes it on
    }
    return Default(msg, wParam, lParam);
}

HWND FMain::CreateChild(const wchar_t* cls, DWORD style, int id, const std::string& text,
                        HFONT font) {
    const RECT r = Bounds(id);
    HWND child = ::CreateWindowExW(0, cls, MText::Utf8ToWide(text).c_str(), WS_CHILD | style,
                                   r.left, r.top, r.right - r.left, r.bottom - r.top, Hwnd(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (!child)
        kSource.Raise(static_cast<std::int32_t>(::GetLastError()),
                      "A control of the main window cannot be created.");
    if (font)
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

void FMain::CreatePicture(int id, int bitmapId, bool visible) {
    pictures_[id] = LoadBitmapResource(bitmapId);
    // Without SS_NOTIFY a static is transparent to the mouse: its clicks go to what lies below.
    // It leaves the picture buttons above it unpainted.
    CreateChild(L"STATIC", SS_OWNERDRAW | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0), id);
}

void FMain::CreatePictureButton(int id, int bitmapId, bool visible, const std::string& name) {
    pictures_[id] = LoadBitmapResource(bitmapId);
    // A button that draws nothing but its picture: a tab stop that Space presses (Enter: see
    // PreTranslateMessage), whose text is what a screen reader reads.
    CreateChild(L"BUTTON", BS_OWNERDRAW | WS_TABSTOP | (visible ? WS_VISIBLE : 0), id, name);
}

void FMain::CreateControls() {
    const int fontHeight = -::MulDiv(825, dpi_, 7200); // 8.25 points
    font_.reset(::CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
    boldFont_.reset(::CreateFontW(fontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
    ChooseColours();
    frameBrush_.reset(::CreateSolidBrush(kFrameColour));
    picFrame_ = {0, Twips(kFrameTop), Twips(kClientWidth), Twips(kClientHeight)};
    BuildImageList();

    // Every control is made as it shows, with its text, font and state: nothing is set twice.
    // Creation order is the tab order: the three lists, Restore, OK, Cancel, Help, Donate. It is
    // also the z-order, the first child on top: each heading lies right before its list, where a
    // screen reader looks for a control's label, and the row's pictures and notice after it.
    // A locked key's list is disabled, and its notice shows (also as the list's description):
    // its entries are written back as found.
    const std::string notice = Pick(lang_, "Nicht verfügbar aufgrund Treiber-spezifischer Belegung",
                                    "Option not available due to driver-specific settings");
    for (int k = 0; k < kKeyCount; ++k) {
        const bool locked = rows_->Locked(k);
        const std::string heading = Pick(lang_, kHeadings[k].first, kHeadings[k].second);
        CreateChild(L"STATIC", WS_VISIBLE | SS_LEFT, IDC_LBKEY_FIRST + k, heading, boldFont_.get());
        const RECT r = Bounds(IDC_CBOKEY_FIRST + k);
        cboKey_[k] = std::make_unique<MivoCboEx>(Hwnd(), IDC_CBOKEY_FIRST + k, r.left, r.top,
                                                 r.right - r.left, r.bottom - r.top,
                                                 MainWindowListProps(locked), imageList_.hIml());
        // The table's height is Wine's field; another system's field may be taller.
        cboKey_[k]->FitHeightToField();
        cboKey_[k]->OnChange = [this, k] { cboKey_Change(k); };
        cboKey_[k]->SetAccessibleLabel(heading, locked ? notice : std::string());
        CreatePicture(IDC_IMGBUTTON_FIRST + k, IDB_KEYCAP_FIRST + k, true);
        CreatePicture(IDC_IMGARROW_FIRST + k, IDB_ARROW, true);
        CreatePicture(IDC_IMGDISABLED_FIRST + k, IDB_INFO, locked);
        CreateChild(L"STATIC", SS_LEFT | (locked ? WS_VISIBLE : 0), IDC_LBDISABLED_FIRST + k,
                    notice, font_.get());
    }

    // Restore is offered when a backup existed at load.
    CreateChild(
        L"BUTTON",
        WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | (map_.BackupMapExists() ? 0 : WS_DISABLED),
        IDC_CMDRESTORE,
        Pick(lang_, "&Standard-Einstellungen wiederherstellen", "&Restore original settings"),
        font_.get());
    CreateChild(L"BUTTON", WS_VISIBLE | WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, IDC_CMDOK, "&OK",
                font_.get());
    CreateChild(L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, IDC_CMDCANCEL,
                Pick(lang_, "&Abbrechen", "&Cancel"), font_.get());

    // The picture buttons, named as their pictures read; then the decoration under them, and
    // the maker's line.
    CreatePictureButton(IDC_IMGHELP, IDB_HELP, true, Pick(lang_, "Hilfe", "Help"));
    const int donation = Pick(lang_, 0, 1); // the picture of the window's language
    const char* donate[] = {"Spenden", "Donate"};
    for (int i = 0; i < 2; ++i)
        CreatePictureButton(IDC_IMGPAYPAL_FIRST + i, IDB_DONATE_FIRST + i, i == donation,
                            donate[i]);
    CreatePicture(IDC_IMGDECORATION, IDB_DECORATION, true);
    CreateChild(L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, IDC_LBORVANDE,
                "\u00A9 2026 Tavelin project", font_.get());

    toolTip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP, 0, 0, 0, 0,
                                 Hwnd(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    const std::wstring tip = MText::Utf8ToWide(Pick(lang_, "Hilfe", "Help"));
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = Hwnd();
    ti.uId = reinterpret_cast<UINT_PTR>(Item(IDC_IMGHELP));
    ti.lpszText = const_cast<wchar_t*>(tip.c_str());
    ::SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));

    // Made last: a static just before a control in z-order is read as its label, and this line
    // labels nothing. It shows while the map saved waits for a restart.
    const bool pending = MRestartRecord::StateOf(map_.StoredMap()) == MRestartState::State::Pending;
    CreateChild(L"STATIC", SS_LEFT | SS_NOPREFIX | (pending ? WS_VISIBLE : 0), IDC_LBRESTART,
                Pick(lang_, "Neustart ausstehend: Die neue Belegung wirkt erst danach.",
                     "Restart pending: the new functions take effect after it."),
                font_.get());
}

RECT FMain::Bounds(int id) const {
    for (const Placement& p : kLayout)
        if (p.id == id) {
            // Sizes scaled on their own, not as the difference of scaled edges: the pixels
            // stay those of the designed size at every DPI.
            const int left = Twips(p.left), top = Twips(p.top);
            return {left, top, left + Twips(p.width), top + Twips(p.height) + p.framePixels};
        }
    return {};
}

void FMain::BuildImageList() {
    // The strip's icons are drawn for 96 DPI: the strip is scaled as a whole, like the
    // pictures, and cut at the scaled icon size.
    const int width = MDpi::ScaleFrom96(kIconWidth, dpi_),
              height = MDpi::ScaleFrom96(kIconHeight, dpi_);
    UniqueBitmap strip = LoadBitmapResource(IDB_ICON_STRIP);
    BITMAP bm{};
    ::GetObjectW(strip.get(), sizeof bm, &bm);
    if (width != kIconWidth || height != kIconHeight)
        strip = LoadBitmapResource(IDB_ICON_STRIP, bm.bmWidth / kIconWidth * width, height);
    imageList_.SetIconSizeX(width);
    imageList_.SetIconSizeY(height);
    imageList_.SetColourDepth(24);
    imageList_.Create();
    imageList_.AddFromHandle(strip.get(), 0, "", static_cast<std::int32_t>(kStripBackColour));
}

void FMain::ChooseColours() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    const bool high = ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
                      (contrast.dwFlags & HCF_HIGHCONTRASTON);
    colours_ =
        ChooseLabelColours(high, ::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT));
    backBrush_.reset(::CreateSolidBrush(colours_.back));
}

void FMain::PaintBackground(HDC dc) const {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    ::FillRect(dc, &client, backBrush_.get());
    ::FillRect(dc, &picFrame_, frameBrush_.get());
}

void FMain::DrawPicture(const DRAWITEMSTRUCT& dis) const {
    ::FillRect(dis.hDC, &dis.rcItem, backBrush_.get());
    const auto found = pictures_.find(static_cast<int>(dis.CtlID));
    if (found == pictures_.end() || !found->second)
        return;
    HBITMAP bitmap = found->second.get();
    BITMAP bm{};
    ::GetObjectW(bitmap, sizeof(bm), &bm);
    UniqueMemoryDc memory(::CreateCompatibleDC(dis.hDC));
    SelectedObject selected(memory.get(), bitmap);
    // Pictures are drawn for 96 DPI and scaled like the layout; the control clips them (the
    // decoration is narrower than its picture).
    const int w = MDpi::ScaleFrom96(bm.bmWidth, dpi_), h = MDpi::ScaleFrom96(bm.bmHeight, dpi_);
    if (w == bm.bmWidth && h == bm.bmHeight) {
        ::BitBlt(dis.hDC, 0, 0, w, h, memory.get(), 0, 0, SRCCOPY);
    } else {
        ::SetStretchBltMode(dis.hDC, HALFTONE);
        ::SetBrushOrgEx(dis.hDC, 0, 0, nullptr);
        ::StretchBlt(dis.hDC, 0, 0, w, h, memory.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    }
    // A picture button with the focus shows it as other buttons do, unless the window hides
    // focus rectangles until the keyboard is used.
    if ((dis.itemState & ODS_FOCUS) && !(dis.itemState & ODS_NOFOCUSRECT))
        ::DrawFocusRect(dis.hDC, &dis.rcItem);
}

void FMain::Form_Load() {
    // The caption, texts, pictures, lock notices and Restore were made as they show
    // (CreateControls). Fill the lists with the options each key is offered. The lists redraw
    // once, when the window first shows, not after each item.
    const MKeys::Table& catalogue = MKeys::Catalogue();
    for (auto& cbo : cboKey_)
        cbo->SetRedraw(false);
    for (int row = 0; row < kKeyCount; ++row)
        for (const std::int32_t id : rows_->Offered(row))
            cboKey_[row]->AddItemAndData(CKeyRows::ItemText(*catalogue.ById(id), lang_), id, id,
                                         id);
    for (auto& cbo : cboKey_)
        cbo->SetRedraw(true);
    MStartupTrace::Mark("filled");

    // Each unlocked key's current function; a locked one shows no selection.
    for (int row = 0; row < kKeyCount; ++row)
        if (!rows_->Locked(row))
            cboKey_[row]->SetListIndex(rows_->SelectedIndex(row));
}

void FMain::TakeSelection(int row) {
    const MivoCboEx& cbo = *cboKey_[row];
    if (cbo.ListIndex() >= 0)
        rows_->Select(row, cbo.ItemData(cbo.ListIndex())); // refused for a locked row
    else
        rows_->Deselect(row);
}

void FMain::cboKey_Change(int row) {
    TakeSelection(row);
    if (rows_->Changed(row))
        ::EnableWindow(Item(IDC_CMDOK), TRUE);
}

void FMain::cmdOK_Click() {
    // The lists are what the user sees, also a selection changed without a notification.
    for (int row = 0; row < kKeyCount; ++row)
        TakeSelection(row);
    Finish(edit_.Save(rows_->NewEntries(), rows_->LogTexts(lang_), CKeyEdit::Unchanged::Write));
}

void FMain::cmdCancel_Click() {
    Unload();
}

void FMain::cmdRestore_Click() {
    const int answer =
        MCenterMBX::CenteredMsgBox(Pick(lang_, "Ursprüngliche Einstellungen wiederherstellen?",
                                        "Restore original key settings?"),
                                   MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3, {}, Hwnd());
    if (answer == IDYES)
        Finish(edit_.Restore());
}

void FMain::Finish(const EditResult& result) {
    if (IsRefusal(result.outcome)) {
        // Nothing was written: say why, and leave the window as it is.
        MCenterMBX::CenteredMsgBox(result.text, MB_OK | MB_ICONEXCLAMATION, {}, Hwnd());
        return;
    }
    if (result.error)
        throw *result.error;
    rebootPending_ = true;
    Unload();
}

void FMain::ShowHelp(HWND owner) {
    help_->Load();
    RECT main{};
    ::GetWindowRect(Hwnd(), &main);
    help_->Move(main.left - Twips(1600), main.top - Twips(1600));
    help_->Show(owner);
}

void FMain::imgHelp_Click() {
    ShowHelp(nullptr);
}

void FMain::imgPaypal_Click() {
    const std::string code(LanguageCode(lang_));
    if (!MDonation::OpenPage(code))
        MAddressBox::Show(MDonation::Address(code), lang_, Hwnd());
}

void FMain::Unload() {
    if (unloading_ || !Hwnd())
        return;
    unloading_ = true;
    Form_Unload();
    Destroy();
    Form_Terminate();
}

void FMain::Form_Unload() {
    help_->Unload();
    // A fault during the rest of the shutdown shows no system error dialog.
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
}

void FMain::ShowRestartFailure(const MShutdown::Result& restart) const {
    if (restart.requested)
        return;
    // A failed step is shown as Windows names it, in a plain box with the system's title.
    if (!restart.failure.empty()) {
        ::MessageBoxW(nullptr, MText::Utf8ToWide(restart.failure).c_str(), nullptr, MB_OK);
        return;
    }
    // The window is gone: without this the user would wait for a restart that is not coming.
    ::MessageBoxW(
        nullptr,
        MText::Utf8ToWide(Pick(lang_,
                               "Der Neustart konnte nicht angefordert werden. Bitte starten Sie "
                               "den Rechner selbst neu.",
                               "The restart could not be requested. Please restart the computer "
                               "yourself."))
            .c_str(),
        MText::Utf8ToWide(Product::kName).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void FMain::Form_Terminate() {
    if (rebootPending_) {
        const std::string message =
            std::string(Pick(lang_,
                             "Sie müssen den Rechner neu starten, damit die Änderungen wirksam "
                             "werden.",
                             "You have to reboot the computer for the settings to take effect.")) +
            "\r\n\r\n" +
            Pick(lang_, "Möchten Sie den Rechner jetzt neu starten?", "Do you want to reboot now?");
        const int answer = ::MessageBoxW(nullptr, MText::Utf8ToWide(message).c_str(),
                                         MText::Utf8ToWide(Product::kName).c_str(),
                                         MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        if (answer == IDYES)
            ShowRestartFailure(CKeyEdit::Restart());
    }
    ::PostQuitMessage(0);
}
