// Owners for COM: one interface reference, released exactly once, also when an error unwinds;
// and one BSTR.
#pragma once

#include <unknwn.h>
#include <oleauto.h>

#include <new>
#include <string_view>
#include <utility>

template <typename T> class ComPtr {
  public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr& other) noexcept : p_(other.p_) {
        if (p_)
            p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over a reference the caller already holds.
    static ComPtr Attach(T* p) noexcept {
        ComPtr r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* p) noexcept {
        if (p)
            p->AddRef();
        return Attach(p);
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // For functions that hand out a reference through a pointer.
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void reset() noexcept {
        if (T* old = std::exchange(p_, nullptr))
            old->Release();
    }

    template <typename U> ComPtr<U> As() const noexcept {
        ComPtr<U> r;
        if (p_)
            p_->QueryInterface(__uuidof(U), r.put_void());
        return r;
    }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    explicit Bstr(std::wstring_view text)
        : b_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!b_)
            throw std::bad_alloc();
    }
    ~Bstr() { ::SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const noexcept { return b_; }

  private:
    BSTR b_;
};
