// The help window: one page of important information in a web-browser control, read-only (no
// context menu, only the scrolling keys). Its callers load it, place it and show it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "win32/BaseWindow.h"

struct IWebBrowser2;

class FHelp : public BaseWindow<FHelp> {
  public:
    // langCode: "DE" or "EN" (MMain::LangCode); picks the caption and the page.
    explicit FHelp(std::string langCode);
    ~FHelp();

    // Creates the window hidden, hosts the browser control and runs the load handler. Does
    // nothing when the window is already loaded. Raises an error when the control cannot be
    // created.
    void Load();
    // Places the window's top-left corner at (x, y) screen pixels; the size stays. Loads first.
    void Move(int x, int y);
    // Shows the window modeless, owned by owner (none when null). Loads first.
    void Show(HWND owner = nullptr);
    // Destroys the window, as closing it does.
    void Unload() noexcept;

    bool IsLoaded() const noexcept { return Hwnd() != nullptr; }

    // The hosted browser control, none while not loaded; for tests that drive it.
    IWebBrowser2* Browser() const noexcept;

  private:
    friend class BaseWindow<FHelp>;
    struct Hosted;

    static const wchar_t* ClassName() noexcept;
    static void CustomizeClass(WNDCLASSEXW& wc) noexcept;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void Form_Load();
    void Form_Resize();
    void TearDown() noexcept;

    std::string langCode_;
    std::unique_ptr<Hosted> hosted_;
};
