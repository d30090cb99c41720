// The main window: one row per key (CapsLock, Insert, ScrollLock) with an icon list of the
// functions the key may get, OK to save, Cancel, Restore, and the help and donation pictures.
// Closing it ends the program, after the restart question when something was written.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/help/FHelp.h"
#include "win32/Handles.h"
#include "ui/controls/MivoCboEx.h"
#include "ui/controls/cMIVOImageList.h"

class CScancodeMap;

class FMain {
public:
    // langCode "DE" or "EN"; map: the program's one scancode-map object, read at start.
    FMain(std::string langCode, CScancodeMap& map);
    ~FMain();
    FMain(const FMain&) = delete;
    FMain& operator=(const FMain&) = delete;

    // Creates the window hidden and runs the load handler.
    void Load();
    // Shows the window modeless, without owner, in the centre of the screen.
    void Show();
    HWND Hwnd() const noexcept { return hwnd_; }
    // The one help window of the program; the first start opens it too.
    FHelp& Help() noexcept { return *help_; }

    // For the message loop: F1 and the dialog navigation (Tab, Escape, access keys). True
    // when the message was handled and must not be dispatched.
    bool PreTranslateMessage(MSG& msg);

    // Design units to pixels at the window's DPI.
    int Twips(int twips) const noexcept;

private:
    static constexpr int kRows = 3;

    // An image control: an owner-drawn static showing one bitmap scaled by the DPI.
    struct Picture {
        HWND hwnd = nullptr;
        UniqueBitmap bitmap;
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    HWND CreateChild(const wchar_t* cls, DWORD style, int id, int left, int top, int width,
                     int height, const wchar_t* text = L"");
    // clickable: the picture takes the mouse (a picture button); others let it through.
    void CreatePicture(Picture& picture, int id, int bitmapId, bool visible, bool clickable,
                       int left, int top, int width, int height);
    void DrawPicture(const DRAWITEMSTRUCT& dis) const;
    void PaintBackground(HDC dc) const;

    // Event handlers, named after the controls they belong to.
    void Form_Load();
    void SelectCurrentSetting(MivoCboEx& cbo, int row, const std::string& code);
    void cboKey_Change(int row);
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdRestore_Click();
    // Runs a save or a restore; when the map changed behind the window it tells the user and
    // returns false, with nothing written and the window left as it was.
    bool WrittenUnlessChanged(const std::function<void()>& write);
    void imgHelp_Click();
    void imgPaypal_Click();
    // Unload handler, window destruction, then the end handler.
    void Unload();
    void Form_Unload();
    void Form_Terminate();

    // The text of the current language: German for "DE", English otherwise.
    const char* Tr(const char* de, const char* en) const;

    std::string langCode_;
    CScancodeMap& map_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    bool unloading_ = false;

    cMIVOImageList imageList_;
    UniqueBitmap picImgListSource_; // the 880 x 30 icon strip
    std::array<std::unique_ptr<MivoCboEx>, kRows> cboKey_;
    std::array<HWND, kRows> lbKey_{};
    std::array<Picture, kRows> imgButton_;
    std::array<Picture, kRows> imgArrow_;
    std::array<Picture, kRows> imgDisabled_;
    std::array<HWND, kRows> lbDisabled_{};
    Picture imgHelp_;
    std::array<Picture, 2> imgPaypal_;
    Picture imgDecoration_;
    HWND lbOrvanDe_ = nullptr;
    HWND cmdOK_ = nullptr;
    HWND cmdCancel_ = nullptr;
    HWND cmdRestore_ = nullptr;
    HWND toolTip_ = nullptr;
    RECT picFrame_{}; // the blue band along the bottom, behind OK and Cancel

    UniqueFont font_;
    UniqueFont boldFont_;
    UniqueBrush backBrush_;
    UniqueBrush frameBrush_;
    HCURSOR handCursor_ = nullptr;

    std::array<std::int32_t, kRows> lInitialIndex{};
    bool bRebootPending = false;

    std::unique_ptr<FHelp> help_;
};
