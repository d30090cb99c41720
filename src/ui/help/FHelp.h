// The help window: one page of important information in a web-browser control, read-only (no
// context menu, only the scrolling keys). Where the control cannot be created, or reports no
// document for its page, the window shows the page's text in a read-only text view instead. Its
// callers load it, place it and show it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "win32/BaseWindow.h"
#include "win32/Handles.h"

struct IOleObject;
struct IWebBrowser2;

// The real calls behind HelpBrowserCalls.
HRESULT CreateWebBrowser(IOleObject** control) noexcept;
HRESULT NavigateWebBrowser(IWebBrowser2* browser, const wchar_t* url) noexcept;

// What the help window asks of the browser control (Seam<HelpBrowserCalls>); a default-constructed
// table holds the real calls. Tests play a system without the control and a control that never
// answers.
struct HelpBrowserCalls {
    HRESULT (*create)(IOleObject** control) = &CreateWebBrowser;
    HRESULT (*navigate)(IWebBrowser2* browser, const wchar_t* url) = &NavigateWebBrowser;
    // How long the control may take to report its page before the text shows instead.
    UINT documentWaitMs = 10000;
};

class FHelp : public BaseWindow<FHelp> {
  public:
    // lang picks the caption and the page.
    explicit FHelp(Language lang);
    ~FHelp();

    // Creates the window hidden and hosts the browser control, or the text view where the control
    // cannot be created. Does nothing when the window is already loaded. Raises an error when
    // the window or its text view cannot be created.
    void Load();
    // Places the window's top-left corner at (x, y) screen pixels; the size stays. Loads first.
    void Move(int x, int y);
    // Shows the window modeless, owned by owner (none when null). Loads first.
    void Show(HWND owner = nullptr);
    // Destroys the window, as closing it does.
    void Unload() noexcept;

    bool IsLoaded() const noexcept { return Hwnd() != nullptr; }

    // The hosted browser control, none while not loaded or showing the text; for tests that
    // drive it.
    IWebBrowser2* Browser() const noexcept;

  private:
    friend class BaseWindow<FHelp>;
    struct Hosted;

    static const wchar_t* ClassName() noexcept;
    static void CustomizeClass(WNDCLASSEXW& wc) noexcept;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void Form_Load();
    bool OpenBrowser();
    void ShowText();
    void Form_Resize();
    void TearDown() noexcept;

    Language lang_;
    std::unique_ptr<Hosted> hosted_;
    // The text view, where the browser control shows nothing.
    HWND text_ = nullptr;
    UniqueHook keyFilter_;
};
