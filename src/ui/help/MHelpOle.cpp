#include "ui/help/MHelpOle.h"

#include "win32/MFatal.h"
#include "ui/help/MHelpPage.h"

namespace MHelpOle {

namespace {
// DISPID_AMBIENT_SILENT, which MinGW-w64's headers lack.
constexpr DISPID kAmbientSilent = -5502;
} // namespace

// ---- CSite ----

// The base interfaces that two of the site's interfaces share.
void* CSite::OtherInterface(REFIID riid) noexcept {
    if (riid == IID_IOleWindow)
        return static_cast<IOleInPlaceSite*>(this);
    if (riid == IID_IOleInPlaceUIWindow)
        return static_cast<IOleInPlaceFrame*>(this);
    return nullptr;
}

HRESULT CSite::SaveObject() noexcept {
    return E_NOTIMPL;
}
HRESULT CSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk) noexcept {
    if (ppmk)
        *ppmk = nullptr;
    return E_NOTIMPL;
}
HRESULT CSite::GetContainer(IOleContainer** ppContainer) noexcept {
    if (ppContainer)
        *ppContainer = nullptr;
    return E_NOINTERFACE;
}
HRESULT CSite::ShowObject() noexcept {
    return S_OK;
}
HRESULT CSite::OnShowWindow(BOOL) noexcept {
    return S_OK;
}
HRESULT CSite::RequestNewObjectLayout() noexcept {
    return E_NOTIMPL;
}

HRESULT CSite::GetWindow(HWND* phwnd) noexcept {
    if (!phwnd)
        return E_POINTER;
    *phwnd = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
}
HRESULT CSite::ContextSensitiveHelp(BOOL) noexcept {
    return E_NOTIMPL;
}

HRESULT CSite::CanInPlaceActivate() noexcept {
    return hwnd_ ? S_OK : S_FALSE;
}
HRESULT CSite::OnInPlaceActivate() noexcept {
    return S_OK;
}
HRESULT CSite::OnUIActivate() noexcept {
    return S_OK;
}

HRESULT CSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                LPRECT lprcPosRect, LPRECT lprcClipRect,
                                LPOLEINPLACEFRAMEINFO lpFrameInfo) noexcept {
    if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect || !lpFrameInfo)
        return E_POINTER;
    *ppFrame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *ppDoc = nullptr;
    RECT client = {};
    if (hwnd_)
        ::GetClientRect(hwnd_, &client);
    *lprcPosRect = client;
    *lprcClipRect = client;
    lpFrameInfo->fMDIApp = FALSE;
    lpFrameInfo->hwndFrame = hwnd_;
    lpFrameInfo->haccel = nullptr;
    lpFrameInfo->cAccelEntries = 0;
    return S_OK;
}

HRESULT CSite::Scroll(SIZE) noexcept {
    return E_NOTIMPL;
}
HRESULT CSite::OnUIDeactivate(BOOL) noexcept {
    return S_OK;
}
HRESULT CSite::OnInPlaceDeactivate() noexcept {
    return S_OK;
}
HRESULT CSite::DiscardUndoState() noexcept {
    return E_NOTIMPL;
}
HRESULT CSite::DeactivateAndUndo() noexcept {
    return E_NOTIMPL;
}
// The control keeps filling the client area; the window's resize handler places it.
HRESULT CSite::OnPosRectChange(LPCRECT) noexcept {
    return S_OK;
}

HRESULT CSite::GetBorder(LPRECT) noexcept {
    return INPLACE_E_NOTOOLSPACE;
}
HRESULT CSite::RequestBorderSpace(LPCBORDERWIDTHS) noexcept {
    return INPLACE_E_NOTOOLSPACE;
}
HRESULT CSite::SetBorderSpace(LPCBORDERWIDTHS) noexcept {
    return OLE_E_INVALIDRECT;
}
HRESULT CSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) noexcept {
    return S_OK;
}

HRESULT CSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) noexcept {
    return E_NOTIMPL;
}
HRESULT CSite::SetMenu(HMENU, HOLEMENU, HWND) noexcept {
    return S_OK;
}
HRESULT CSite::RemoveMenus(HMENU) noexcept {
    return E_NOTIMPL;
}
HRESULT CSite::SetStatusText(LPCOLESTR) noexcept {
    return S_OK;
}
HRESULT CSite::EnableModeless(BOOL) noexcept {
    return S_OK;
}
HRESULT CSite::TranslateAccelerator(LPMSG, WORD) noexcept {
    return S_FALSE;
}

HRESULT CSite::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* pVarResult,
                      EXCEPINFO*, UINT*) noexcept {
    if (!pVarResult)
        return E_POINTER;
    switch (dispIdMember) {
    case DISPID_AMBIENT_DLCONTROL:
        ::VariantInit(pVarResult);
        pVarResult->vt = VT_I4;
        pVarResult->lVal = kDownloadControl;
        return S_OK;
    case kAmbientSilent:
        ::VariantInit(pVarResult);
        pVarResult->vt = VT_BOOL;
        pVarResult->boolVal = VARIANT_TRUE;
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

// S_OK: the host has shown its menu, which is none.
HRESULT CSite::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) noexcept {
    return S_OK;
}
HRESULT CSite::GetHostInfo(DOCHOSTUIINFO* pInfo) noexcept {
    if (!pInfo)
        return E_POINTER;
    pInfo->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DISABLE_HELP_MENU |
                     DOCHOSTUIFLAG_DISABLE_SCRIPT_INACTIVE;
    pInfo->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}
// S_OK: the host shows its own menus and toolbars (none), so the control shows none either.
HRESULT CSite::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) noexcept {
    return S_OK;
}
HRESULT CSite::HideUI() noexcept {
    return S_OK;
}
HRESULT CSite::UpdateUI() noexcept {
    return S_OK;
}
HRESULT CSite::OnDocWindowActivate(BOOL) noexcept {
    return S_OK;
}
HRESULT CSite::OnFrameWindowActivate(BOOL) noexcept {
    return S_OK;
}
HRESULT CSite::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept {
    return S_OK;
}
// S_OK swallows the key: only the scrolling keys are left to the control.
HRESULT CSite::TranslateAccelerator(LPMSG lpMsg, const GUID*, DWORD) noexcept {
    if (lpMsg && MHelpPage::RouteKey(lpMsg->message, static_cast<long>(lpMsg->wParam)) ==
                     MHelpPage::KeyTarget::Control)
        return S_FALSE;
    return S_OK;
}
HRESULT CSite::GetOptionKeyPath(LPOLESTR* pchKey, DWORD) noexcept {
    if (pchKey)
        *pchKey = nullptr;
    return S_FALSE;
}
HRESULT CSite::GetDropTarget(IDropTarget*, IDropTarget** ppDropTarget) noexcept {
    if (ppDropTarget)
        *ppDropTarget = nullptr;
    return E_NOTIMPL;
}
// No window.external for the page.
HRESULT CSite::GetExternal(IDispatch** ppDispatch) noexcept {
    if (ppDispatch)
        *ppDispatch = nullptr;
    return E_NOTIMPL;
}
HRESULT CSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* ppchURLOut) noexcept {
    if (ppchURLOut)
        *ppchURLOut = nullptr;
    return S_FALSE;
}
HRESULT CSite::FilterDataObject(IDataObject*, IDataObject** ppDORet) noexcept {
    if (ppDORet)
        *ppDORet = nullptr;
    return S_FALSE;
}

// ---- CEventSink ----

HRESULT CEventSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                           VARIANT* pVarResult, EXCEPINFO*, UINT*) noexcept {
    if (!handler_)
        return S_OK;
    DISPPARAMS none = {};
    DISPPARAMS& params = pDispParams ? *pDispParams : none;
    // The handler may disconnect this sink (the window closing); keep it alive until it returns.
    AddRef();
    EventHandler handler = handler_;
    MFatal::RunGuarded([&] { handler(dispIdMember, params, pVarResult); });
    Release();
    return S_OK;
}

// ---- CSinkConnection ----

HRESULT CSinkConnection::Connect(IUnknown* source, const IID& events, IUnknown* sink) noexcept {
    Reset();
    if (!source || !sink)
        return E_POINTER;
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.put_void());
    if (FAILED(hr))
        return hr;
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(events, point.put());
    if (FAILED(hr))
        return hr;
    DWORD cookie = 0;
    hr = point->Advise(sink, &cookie);
    if (FAILED(hr))
        return hr;
    point_ = point;
    cookie_ = cookie;
    return S_OK;
}

void CSinkConnection::Reset() noexcept {
    if (point_)
        point_->Unadvise(cookie_);
    point_.reset();
    cookie_ = 0;
}

// ---- Arguments ----

VARIANT* EventArg(DISPPARAMS& params, UINT i) noexcept {
    if (!params.rgvarg || i >= params.cArgs)
        return nullptr;
    VARIANT* v = &params.rgvarg[params.cArgs - 1 - i];
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
        v = v->pvarVal;
    return v;
}

const wchar_t* ArgText(const VARIANT* v) noexcept {
    if (v && v->vt == VT_BSTR && v->bstrVal)
        return v->bstrVal;
    if (v && v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal && *v->pbstrVal)
        return *v->pbstrVal;
    return L"";
}

void SetArgBool(VARIANT* v, bool value) noexcept {
    if (v && v->vt == (VT_BYREF | VT_BOOL) && v->pboolVal)
        *v->pboolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

} // namespace MHelpOle
