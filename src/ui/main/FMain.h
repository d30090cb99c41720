// The main window: one row per key (CapsLock, Insert, ScrollLock) with an icon list of the
// functions the key may get, OK to save, Cancel, Restore, and the help and donation pictures.
// Closing it ends the program, after the restart question when something was written. What
// each row offers, shows and saves is decided by CKeyRows; this class wires the controls to it.
#pragma once

#include <windows.h>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/CKeyRows.h"
#include "keymap/CKeyEdit.h"
#include "system/MShutdown.h"
#include "ui/controls/MivoCboEx.h"
#include "ui/controls/cMIVOImageList.h"
#include "ui/help/FHelp.h"
#include "ui/main/FMainIds.h"
#include "ui/main/LabelColours.h"
#include "win32/BaseWindow.h"
#include "win32/MDpi.h"
#include "win32/Handles.h"

class CScancodeMap;

class FMain : public BaseWindow<FMain> {
  public:
    // map: the program's one scancode-map object, read at start.
    FMain(Language lang, CScancodeMap& map);
    ~FMain();

    // Creates the window hidden and runs the load handler.
    void Load();
    // Shows the window modeless, without owner, in the centre of the screen.
    void Show();
    // The one help window of the program; the first start opens it too.
    FHelp& Help() noexcept { return *help_; }
    // Shows the help window above and to the left of this one, owned by owner (none when null).
    void ShowHelp(HWND owner);

    // For the message loop: F1 and the dialog navigation (Tab, Escape, access keys). True
    // when the message was handled and must not be dispatched.
    bool PreTranslateMessage(MSG& msg);

    // Design units to pixels at the window's DPI.
    int Twips(int twips) const noexcept { return MDpi::TwipsToPixels(twips, dpi_); }

  private:
    friend class BaseWindow<FMain>;
    static const wchar_t* ClassName() noexcept { return kMainWindowClass; }
    static void CustomizeClass(WNDCLASSEXW& wc) noexcept;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    // font: nullptr for a child that shows no text of its own.
    HWND CreateChild(const wchar_t* cls, DWORD style, int id, const std::string& text = {},
                     HFONT font = nullptr);
    // A picture that only shows; the mouse goes through it.
    void CreatePicture(int id, int bitmapId, bool visible);
    // A button shown as its picture; name: what a screen reader reads.
    void CreatePictureButton(int id, int bitmapId, bool visible, const std::string& name);
    // The control's rectangle from the layout table, in pixels at the window's DPI.
    RECT Bounds(int id) const;
    void BuildImageList();
    void ChooseColours();
    void DrawPicture(const DRAWITEMSTRUCT& dis) const;
    void PaintBackground(HDC dc) const;
    HWND Item(int id) const noexcept { return ::GetDlgItem(Hwnd(), id); }
    // WM_NEXTDLGCTL: direct, wParam is the window to focus; otherwise wParam asks for the
    // previous tab stop instead of the next.
    void NextDlgCtl(WPARAM wParam, bool direct);

    // Event handlers, named after the controls they belong to.
    void Form_Load();
    void cboKey_Change(int row);
    // Tells the model what row's list shows.
    void TakeSelection(int row);
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdRestore_Click();
    // After a save or a restore: closes the window with the restart pending, or shows a refusal
    // and leaves the window as it was; a failure goes on to the error box.
    void Finish(const EditResult& result);
    void imgHelp_Click();
    void imgPaypal_Click();
    // Unload handler, window destruction, then the end handler.
    void Unload();
    void Form_Unload();
    void Form_Terminate();
    // Tells the user when the restart asked for at the end will not come.
    void ShowRestartFailure(const MShutdown::Result& restart) const;

    Language lang_;
    CScancodeMap& map_;
    CKeyEdit edit_;
    int dpi_ = 96;
    bool unloading_ = false;

    std::optional<CKeyRows> rows_;
    cMIVOImageList imageList_;
    std::array<std::unique_ptr<MivoCboEx>, kKeyCount> cboKey_;
    std::map<int, UniqueBitmap> pictures_; // by control id, drawn at the DPI's scale
    HWND toolTip_ = nullptr;
    RECT picFrame_{}; // the blue band along the bottom, behind OK and Cancel

    UniqueFont font_;
    UniqueFont boldFont_;
    LabelColours colours_;
    UniqueBrush backBrush_;
    UniqueBrush frameBrush_;
    HCURSOR handCursor_ = nullptr;

    bool rebootPending_ = false;
    HWND labelFocus_ = nullptr; // the label whose access key is being handled
    HWND lastFocus_ = nullptr;  // the control that had the focus when the window was left

    std::unique_ptr<FHelp> help_;
};
