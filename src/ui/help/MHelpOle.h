// The small OLE container the help window hosts its browser control in: one site object that is
// client site, in-place site, in-place frame and document host at once, event sinks that hand
// each event to a callback, and the advise/unadvise pairing of a sink with its source.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <mshtmdid.h>
#include <mshtmhst.h>

#include <functional>

#include "win32/ComObject.h"
#include "win32/ComPtr.h"

namespace MHelpOle {

// What the site answers to the control's ambient download-control question. The program runs
// with the full administrator token: the page is written from the resources and needs nothing
// the control could fetch or run, so scripts, Java, ActiveX controls, behaviours, frames,
// pictures and refresh-redirects stay off, and errors raise no dialog.
inline constexpr long kDownloadControl =
    DLCTL_NO_SCRIPTS | DLCTL_NO_JAVA | DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS |
    DLCTL_NO_BEHAVIORS | DLCTL_NO_FRAMEDOWNLOAD | DLCTL_NO_CLIENTPULL | DLCTL_SILENT;

// A COM object whose IDispatch carries no type information: its callers know the member ids
// (ambient properties, event ids) and only Invoke.
template <typename... Others> class PlainDispatch : public ComObject<Others..., IDispatch> {
  public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) noexcept override {
        if (pctinfo)
            *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) noexcept override {
        if (ppTInfo)
            *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                            DISPID*) noexcept override {
        return E_NOTIMPL;
    }
};

// CSite of the one control of a window. The control takes the window's whole client area; menus,
// toolbars, status text, context menus and the control's own accelerators are not offered.
class CSite final
    : public PlainDispatch<IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IDocHostUIHandler> {
  public:
    explicit CSite(HWND hwnd) noexcept : hwnd_(hwnd) {}

    // The window is going away: later calls from the control no longer reach it.
    void Detach() noexcept { hwnd_ = nullptr; }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() noexcept override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** ppmk) noexcept override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) noexcept override;
    HRESULT STDMETHODCALLTYPE ShowObject() noexcept override;
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) noexcept override;
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() noexcept override;

    // IOleWindow (shared by the in-place site and the frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) noexcept override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) noexcept override;

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() noexcept override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() noexcept override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() noexcept override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** ppFrame,
                                               IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                               LPRECT lprcClipRect,
                                               LPOLEINPLACEFRAMEINFO lpFrameInfo) noexcept override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) noexcept override;
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) noexcept override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() noexcept override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() noexcept override;
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() noexcept override;
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT lprcPosRect) noexcept override;

    // IOleInPlaceUIWindow
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) noexcept override;
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) noexcept override;
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) noexcept override;
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*,
                                              LPCOLESTR) noexcept override;

    // IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) noexcept override;
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) noexcept override;
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) noexcept override;
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) noexcept override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) noexcept override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) noexcept override;

    // IDispatch: the ambient properties the control asks its site for
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                     UINT*) noexcept override;

    // IDocHostUIHandler (EnableModeless is shared with the frame)
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*,
                                              IDispatch*) noexcept override;
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* pInfo) noexcept override;
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                     IOleInPlaceFrame*, IOleInPlaceUIWindow*) noexcept override;
    HRESULT STDMETHODCALLTYPE HideUI() noexcept override;
    HRESULT STDMETHODCALLTYPE UpdateUI() noexcept override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) noexcept override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) noexcept override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG lpMsg, const GUID*,
                                                   DWORD) noexcept override;
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* pchKey, DWORD) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*,
                                            IDropTarget** ppDropTarget) noexcept override;
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** ppDispatch) noexcept override;
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* ppchURLOut) noexcept override;
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*,
                                               IDataObject** ppDORet) noexcept override;

  private:
    ~CSite() override = default;
    void* OtherInterface(REFIID riid) noexcept override;

    HWND hwnd_;
};

// Receives the calls of one event dispinterface. Each call goes to the handler; a handler that
// throws is reported through MFatal::RunGuarded, never to the caller.
using EventHandler = std::function<void(DISPID id, DISPPARAMS& params, VARIANT* result)>;

class CEventSink final : public PlainDispatch<> {
  public:
    CEventSink(const IID& events, EventHandler handler)
        : events_(events), handler_(std::move(handler)) {}

    // Events that still arrive after this are ignored.
    void Disconnect() noexcept { handler_ = nullptr; }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                     UINT*) noexcept override;

  private:
    ~CEventSink() override = default;
    // The event dispinterface is answered by the sink's IDispatch.
    void* OtherInterface(REFIID riid) noexcept override {
        return riid == events_ ? static_cast<IDispatch*>(this) : nullptr;
    }

    IID events_;
    EventHandler handler_;
};

// One sink advised to one connection point of a source, unadvised on Reset or destruction.
class CSinkConnection {
  public:
    CSinkConnection() = default;
    ~CSinkConnection() { Reset(); }
    CSinkConnection(const CSinkConnection&) = delete;
    CSinkConnection& operator=(const CSinkConnection&) = delete;

    HRESULT Connect(IUnknown* source, const IID& events, IUnknown* sink) noexcept;
    void Reset() noexcept;

  private:
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

// Argument i of an event, counted from the first parameter as declared; by-reference variants
// are looked through. Null when the event carried fewer arguments.
VARIANT* EventArg(DISPPARAMS& params, UINT i) noexcept;

// Text of a string argument ("" when it is none).
const wchar_t* ArgText(const VARIANT* v) noexcept;

// Sets a by-reference boolean argument (Cancel).
void SetArgBool(VARIANT* v, bool value) noexcept;

} // namespace MHelpOle
