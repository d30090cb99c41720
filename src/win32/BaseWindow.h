// One way to make a window, and one to end it. The class is registered once per process;
// Windows enters through one noexcept procedure that runs the handler under the fatal-error
// guard, so no exception reaches Windows; the object is attached at WM_NCCREATE and detached at
// WM_NCDESTROY, so no late message reaches an object whose window is gone. The window lives no
// longer than its object. Messages that carry pointers reach the handler only from the window's
// own thread (MForeignMessages).
//
// Derived supplies:
//   static const wchar_t* ClassName();
//   LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
// which passes what it does not handle, WM_NCDESTROY included, to Default();
// and may supply static void CustomizeClass(WNDCLASSEXW&) (cursor, background, icon).
// A derived class whose handler uses its own members calls Destroy() in its destructor, while
// they still exist.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/ErrorSource.h"
#include "win32/MFatal.h"
#include "win32/MForeignMessages.h"

template <typename Derived> class BaseWindow {
  public:
    HWND Hwnd() const noexcept { return hwnd_; }

    BaseWindow(const BaseWindow&) = delete;
    BaseWindow& operator=(const BaseWindow&) = delete;

  protected:
    BaseWindow() = default;
    // What is left of the window goes with the object, detached first: the derived part is
    // gone, so no message may reach it.
    ~BaseWindow() {
        if (HWND hwnd = hwnd_) {
            Detach(hwnd);
            ::DestroyWindow(hwnd);
        }
    }

    static void CustomizeClass(WNDCLASSEXW&) noexcept {}

    // Registers the class on first use and creates the window with this object attached.
    // Raises the system error from `source` when either fails.
    HWND CreateWin(const ErrorSource& source, DWORD exStyle, const wchar_t* title, DWORD style,
                   int x, int y, int width, int height, HWND parent, HMENU menu = nullptr) {
        MForeignMessages::GuardThisThread();
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        if (!::GetClassInfoExW(instance, Derived::ClassName(), &wc)) {
            wc = WNDCLASSEXW{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &BaseWindow::WindowProc;
            wc.hInstance = instance;
            wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
            wc.lpszClassName = Derived::ClassName();
            Derived::CustomizeClass(wc);
            if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
                RaiseLastError(source);
        }
        if (!::CreateWindowExW(exStyle, Derived::ClassName(), title, style, x, y, width, height,
                               parent, menu, instance, static_cast<Derived*>(this)))
            RaiseLastError(source);
        return hwnd_;
    }

    // Destroys the window: the handler sees WM_DESTROY and WM_NCDESTROY, then the object is
    // detached. Nothing when there is no window (never made, closed, or gone with its parent).
    void Destroy() noexcept {
        if (hwnd_)
            ::DestroyWindow(hwnd_);
    }

    // Passes a message on to Windows' default handling.
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam) const noexcept {
        return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
    }

  private:
    [[noreturn]] static void RaiseLastError(const ErrorSource& source) {
        source.Raise(static_cast<std::int32_t>(::GetLastError()), "The window cannot be created.");
    }

    void Detach(HWND hwnd) noexcept {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        if (MForeignMessages::Refused(msg))
            return 0;
        if (msg == WM_NCCREATE) {
            auto* created = reinterpret_cast<CREATESTRUCTW*>(lParam);
            auto* self = static_cast<Derived*>(created->lpCreateParams);
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self)
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        LRESULT result = 0;
        const bool ok =
            MFatal::RunGuarded([&] { result = self->HandleMessage(msg, wParam, lParam); });
        if (msg == WM_NCDESTROY) {
            // Detached after the handler, which passes this message on like any other.
            self->Detach(hwnd);
            if (!ok)
                return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        }
        return ok ? result : 0;
    }

    HWND hwnd_ = nullptr;
};
