// Move-only owners, one per handle kind: each releases its handle exactly once, also when an
// error unwinds. Copying is deleted so that no handle can be released twice.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

// Whether a handle names something to release. Most kinds use null for none; kernel handles
// also come back as INVALID_HANDLE_VALUE (CreateFile).
template <typename H> constexpr bool NotNull(H h) noexcept {
    return h != nullptr;
}
inline bool KernelHandleValid(HANDLE h) noexcept {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

// The owner of one handle of type H, released with Close; Valid tells a handle from none.
template <typename H, auto Close, auto Valid = &NotNull<H>> class UniqueHandleOf {
  public:
    using Handle = H;

    UniqueHandleOf() noexcept = default;
    explicit UniqueHandleOf(H h) noexcept : h_(h) {}
    ~UniqueHandleOf() { reset(); }

    UniqueHandleOf(const UniqueHandleOf&) = delete;
    UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;
    UniqueHandleOf(UniqueHandleOf&& other) noexcept : h_(other.release()) {}
    UniqueHandleOf& operator=(UniqueHandleOf&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    H get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return Valid(h_); }
    // For functions that return a handle through a pointer; releases the current one first.
    H* put() noexcept {
        reset();
        return &h_;
    }
    H release() noexcept { return std::exchange(h_, H{}); }
    void reset(H h = H{}) noexcept {
        if (H old = std::exchange(h_, h); Valid(old))
            Close(old);
    }

  private:
    H h_{};
};

using UniqueHandle = UniqueHandleOf<HANDLE, &::CloseHandle, &KernelHandleValid>;
using UniqueHkey = UniqueHandleOf<HKEY, &::RegCloseKey>;
using UniqueSid = UniqueHandleOf<PSID, &::FreeSid>;
using UniqueHook = UniqueHandleOf<HHOOK, &::UnhookWindowsHookEx>;
using UniqueImageList = UniqueHandleOf<HIMAGELIST, &::ImageList_Destroy>;
using UniqueBitmap = UniqueHandleOf<HBITMAP, &::DeleteObject>;
using UniqueFont = UniqueHandleOf<HFONT, &::DeleteObject>;
using UniqueBrush = UniqueHandleOf<HBRUSH, &::DeleteObject>;
using UniqueIcon = UniqueHandleOf<HICON, &::DestroyIcon>;
using UniqueCursor = UniqueHandleOf<HCURSOR, &::DestroyCursor>;
using UniqueMemoryDc = UniqueHandleOf<HDC, &::DeleteDC>;
using UniqueWindow = UniqueHandleOf<HWND, &::DestroyWindow>;
using UniqueEventSource = UniqueHandleOf<HANDLE, &::DeregisterEventSource>;
using UniqueLocalMemory = UniqueHandleOf<HLOCAL, &::LocalFree>;

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
