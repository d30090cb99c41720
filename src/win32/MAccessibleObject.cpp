#include "win32/MAccessibleObject.h"

#include <oleacc.h>

#include <new>
#include <string>

#include "win32/ComObject.h"
#include "win32/ComPtr.h"
#include "win32/MFatal.h"
#include "win32/MOleApartment.h"
#include "win32/MText.h"

// The interface's identifier is always __uuidof's: MinGW's import library resolves IID_IAccessible
// to an import thunk instead of the identifier.

namespace {

// oleacc is not a known DLL: it is loaded by its full path in the system folder, only when a
// reader first asks, and stays loaded for the objects handed out.
struct Oleacc {
    decltype(&::CreateStdAccessibleObject) createStandard = nullptr;
    decltype(&::LresultFromObject) lresultFromObject = nullptr;
};

template <typename F> F As(FARPROC proc) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

const Oleacc& LoadOleacc() {
    static const Oleacc oleacc = [] {
        Oleacc found;
        wchar_t folder[MAX_PATH] = {};
        const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return found;
        HMODULE dll = ::LoadLibraryW((std::wstring(folder, length) + L"\\oleacc.dll").c_str());
        if (!dll)
            return found;
        found.createStandard =
            As<decltype(found.createStandard)>(::GetProcAddress(dll, "CreateStdAccessibleObject"));
        found.lresultFromObject =
            As<decltype(found.lresultFromObject)>(::GetProcAddress(dll, "LresultFromObject"));
        return found;
    }();
    return oleacc;
}

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// A text handed out as a BSTR; the caller frees it.
HRESULT Give(const std::string& text, BSTR* out) {
    if (!out)
        return E_POINTER;
    const std::wstring wide = MText::Utf8ToWide(text);
    *out = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The window's standard object with the owner's texts on the object itself; its children and
// every other question go to the standard object unchanged.
class Wrapper final : public ComObject<IAccessible, IOleWindow, IEnumVARIANT> {
  public:
    Wrapper(ComPtr<IAccessible> standard, AccessibleTexts texts) noexcept
        : standard_(std::move(standard)), texts_(std::move(texts)),
          window_(standard_.As<IOleWindow>()), children_(standard_.As<IEnumVARIANT>()) {}

    // Only what the standard object offers too: a reader that finds an interface relies on it.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        if ((riid == __uuidof(IOleWindow) && !window_) ||
            (riid == __uuidof(IEnumVARIANT) && !children_)) {
            if (ppv)
                *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return ComObject::QueryInterface(riid, ppv);
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        return standard_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) noexcept override {
        return standard_->GetTypeInfo(i, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) noexcept override {
        return standard_->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argError) noexcept override {
        return standard_->Invoke(id, riid, lcid, flags, params, result, exception, argError);
    }

    // IAccessible: the owner's texts
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) noexcept override {
        if (IsSelf(child) && !texts_.name.empty())
            return Guarded([&] { return Give(texts_.name, name); });
        return standard_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) noexcept override {
        if (!IsSelf(child) || !texts_.value)
            return standard_->get_accValue(child, value);
        return Guarded([&] {
            if (!value)
                return E_POINTER;
            *value = nullptr;
            const std::optional<std::string> text = texts_.value();
            return text ? Give(*text, value) : S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) noexcept override {
        if (IsSelf(child) && !texts_.description.empty())
            return Guarded([&] { return Give(texts_.description, text); });
        return standard_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) noexcept override {
        if (IsSelf(child) && !texts_.shortcut.empty())
            return Guarded([&] { return Give(texts_.shortcut, keys); });
        return standard_->get_accKeyboardShortcut(child, keys);
    }

    // IAccessible: Windows' own
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) noexcept override {
        return standard_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) noexcept override {
        return standard_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) noexcept override {
        return standard_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) noexcept override {
        return standard_->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) noexcept override {
        return standard_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) noexcept override {
        return standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child,
                                               long* topic) noexcept override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) noexcept override {
        return standard_->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) noexcept override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) noexcept override {
        return standard_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) noexcept override {
        return standard_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) noexcept override {
        return standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start,
                                          VARIANT* end) noexcept override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) noexcept override {
        return standard_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) noexcept override {
        return standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) noexcept override {
        return standard_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) noexcept override {
        return standard_->put_accValue(child, value);
    }

    // IOleWindow: the window, from which a reader learns its class and place
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) noexcept override {
        return window_->GetWindow(hwnd);
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) noexcept override {
        return window_->ContextSensitiveHelp(enter);
    }

    // IEnumVARIANT: the children
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) noexcept override {
        return children_->Next(count, items, fetched);
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override { return children_->Skip(count); }
    HRESULT STDMETHODCALLTYPE Reset() noexcept override { return children_->Reset(); }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) noexcept override {
        return children_->Clone(copy);
    }

  private:
    void* OtherInterface(REFIID riid) noexcept override {
        return riid == __uuidof(IDispatch) ? static_cast<IAccessible*>(this) : nullptr;
    }

    // A reader's question is a COM call: nothing may unwind into it.
    template <typename Body> static HRESULT Guarded(Body&& body) noexcept {
        HRESULT result = E_FAIL;
        MFatal::RunGuarded([&] { result = body(); });
        return result;
    }

    ComPtr<IAccessible> standard_;
    AccessibleTexts texts_;
    ComPtr<IOleWindow> window_;
    ComPtr<IEnumVARIANT> children_;
};

} // namespace

namespace MAccessibleObject {

LRESULT Answer(HWND hwnd, WPARAM wParam, LPARAM lParam, const AccessibleTexts& texts) {
    // The object identifier travels as a 32-bit value, whatever the width of lParam.
    if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT)
        return 0;
    const Oleacc& oleacc = LoadOleacc();
    // The object is handed to the reader through COM: this thread needs its apartment.
    if (!oleacc.createStandard || !oleacc.lresultFromObject || FAILED(MOleApartment::Open()))
        return 0;
    ComPtr<IAccessible> standard;
    if (FAILED(oleacc.createStandard(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                     standard.put_void())) ||
        !standard)
        return 0;
    auto wrapper = ComPtr<Wrapper>::Attach(new Wrapper(std::move(standard), texts));
    // The reader's reference is the object's only one once this returns.
    const LRESULT result = oleacc.lresultFromObject(__uuidof(IAccessible), wParam,
                                                    static_cast<IAccessible*>(wrapper.get()));
    return result > 0 ? result : 0;
}

} // namespace MAccessibleObject
