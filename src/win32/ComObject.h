// Reference counting and QueryInterface for an object that implements COM interfaces itself.
// It is created with one reference (take it with ComPtr::Attach) and deleted at the last
// Release; IUnknown is always answered by the first interface, so the object has one identity.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <tuple>

template <typename... Interfaces> class ComObject : public Interfaces... {
  public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (!ppv)
            return E_POINTER;
        *ppv = riid == __uuidof(IUnknown) ? static_cast<First*>(this) : Listed<Interfaces...>(riid);
        if (!*ppv)
            *ppv = OtherInterface(riid);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override {
        return static_cast<ULONG>(::InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const LONG n = ::InterlockedDecrement(&refs_);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }

  protected:
    ComObject() noexcept = default;
    virtual ~ComObject() = default;

    // Identifiers answered besides the listed interfaces (a base interface that two of them
    // share, a dispinterface); null for none.
    virtual void* OtherInterface(REFIID) noexcept { return nullptr; }

  private:
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    template <typename I, typename... Rest> void* Listed(REFIID riid) noexcept {
        if (riid == __uuidof(I))
            return static_cast<I*>(this);
        if constexpr (sizeof...(Rest) > 0)
            return Listed<Rest...>(riid);
        else
            return nullptr;
    }

    LONG refs_ = 1;
};
