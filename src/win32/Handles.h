// Move-only owners, one per handle kind: each releases its handle exactly once, also when an
// error unwinds. Copying is deleted so that no handle can be released twice.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

template <typename Traits> class UniqueHandleOf {
  public:
    using Handle = typename Traits::Handle;

    UniqueHandleOf() noexcept = default;
    explicit UniqueHandleOf(Handle h) noexcept : h_(h) {}
    ~UniqueHandleOf() { reset(); }

    UniqueHandleOf(const UniqueHandleOf&) = delete;
    UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;
    UniqueHandleOf(UniqueHandleOf&& other) noexcept : h_(other.release()) {}
    UniqueHandleOf& operator=(UniqueHandleOf&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Handle get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return Traits::IsValid(h_); }
    // For functions that return a handle through a pointer; releases the current one first.
    Handle* put() noexcept {
        reset();
        return &h_;
    }
    Handle release() noexcept { return std::exchange(h_, Traits::Invalid()); }
    void reset(Handle h = Traits::Invalid()) noexcept {
        Handle old = std::exchange(h_, h);
        if (Traits::IsValid(old))
            Traits::Close(old);
    }

  private:
    Handle h_ = Traits::Invalid();
};

namespace handle_traits {

struct Kernel {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

struct RegKey {
    using Handle = HKEY;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};

struct Sid {
    using Handle = PSID;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::FreeSid(h); }
};

struct Hook {
    using Handle = HHOOK;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::UnhookWindowsHookEx(h); }
};

struct ImageList {
    using Handle = HIMAGELIST;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::ImageList_Destroy(h); }
};

template <typename T> struct Gdi {
    using Handle = T;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

struct Icon {
    using Handle = HICON;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};

struct MemoryDc {
    using Handle = HDC;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::DeleteDC(h); }
};

struct Window {
    using Handle = HWND;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::DestroyWindow(h); }
};

struct EventSource {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::DeregisterEventSource(h); }
};

} // namespace handle_traits

using UniqueHandle = UniqueHandleOf<handle_traits::Kernel>;
using UniqueHkey = UniqueHandleOf<handle_traits::RegKey>;
using UniqueSid = UniqueHandleOf<handle_traits::Sid>;
using UniqueHook = UniqueHandleOf<handle_traits::Hook>;
using UniqueImageList = UniqueHandleOf<handle_traits::ImageList>;
using UniqueBitmap = UniqueHandleOf<handle_traits::Gdi<HBITMAP>>;
using UniqueFont = UniqueHandleOf<handle_traits::Gdi<HFONT>>;
using UniqueBrush = UniqueHandleOf<handle_traits::Gdi<HBRUSH>>;
using UniqueIcon = UniqueHandleOf<handle_traits::Icon>;
using UniqueMemoryDc = UniqueHandleOf<handle_traits::MemoryDc>;
using UniqueWindow = UniqueHandleOf<handle_traits::Window>;
using UniqueEventSource = UniqueHandleOf<handle_traits::EventSource>;

// A window DC from GetDC, given back with ReleaseDC.
class WindowDc {
  public:
    explicit WindowDc(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~WindowDc() {
        if (dc_)
            ::ReleaseDC(hwnd_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }

  private:
    HWND hwnd_;
    HDC dc_;
};

// Selects a GDI object into a DC for one scope and puts the previous one back.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ~SelectedObject() {
        if (old_)
            ::SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};
