#include "ui/help/FHelp.h"

#include <ole2.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>

#include <deque>
#include <string_view>
#include <tuple>

#include "core/AppError.h"
#include "win32/Fatal.h"
#include "win32/OleApartment.h"
#include "system/MShellExec.h"
#include "ui/msgbox/AddressBox.h"
#include "win32/ComPtr.h"
#include "win32/Dpi.h"
#include "win32/Handles.h"
#include "win32/Text.h"
#include "ui/help/HelpIds.h"
#include "ui/help/HelpOle.h"
#include "ui/help/HelpPage.h"
#include "ui/help/HelpResource.h"
#include "resources/pictures.h"

namespace {

constexpr wchar_t kClassName[] = L"TavelinHelp";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;
// Inner area as designed, in twips.
constexpr int kClientWidthTwips = 8265;
constexpr int kClientHeightTwips = 5205;
// Opens the oldest link a browser event has left in the queue.
constexpr UINT kMsgOpenLink = WM_APP + 1;

[[noreturn]] void Raise(HRESULT hr, const char* what) {
    kHelpSource.Raise(static_cast<std::int32_t>(hr), what);
}

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr))
        Raise(hr, what);
}

void ReturnFalse(VARIANT* result) noexcept {
    if (!result)
        return;
    ::VariantClear(result);
    result->vt = VT_BOOL;
    result->boolVal = VARIANT_FALSE;
}

// The help window that target lies inside, or none when target is not one of a help window's
// children (or is the help window itself).
HWND HelpWindowAbove(HWND target) noexcept {
    HWND root = target ? ::GetAncestor(target, GA_ROOT) : nullptr;
    wchar_t cls[32] = {};
    if (!root || root == target || !::GetClassNameW(root, cls, 32) ||
        std::wstring_view(cls) != kClassName)
        return nullptr;
    return root;
}

// Keys are filtered where every message loop takes them from the queue, so that none of them
// reaches the control by a way round its own accelerator handling.
LRESULT CALLBACK KeyFilterProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && msg && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST)
        if (HWND help = HelpWindowAbove(msg->hwnd))
            switch (HelpPage::RouteKey(msg->message, static_cast<long>(msg->wParam))) {
            case HelpPage::KeyTarget::Control:
                break;
            case HelpPage::KeyTarget::Frame:
                msg->hwnd = help;
                break;
            case HelpPage::KeyTarget::Nowhere:
                msg->message = WM_NULL;
                break;
            }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

// The browser control and everything that hangs on it, alive while the window is loaded.
struct FHelp::Hosted {
    explicit Hosted(std::string langCode) : langCode(std::move(langCode)) {}
    ~Hosted();
    Hosted(const Hosted&) = delete;
    Hosted& operator=(const Hosted&) = delete;

    void Create(HWND hwnd);
    void Place(const RECT& rect);
    void Focus();

    void OpenLinkLater(const wchar_t* url);
    void OnBrowserEvent(DISPID id, DISPPARAMS& params);
    void OnDocumentEvent(DISPID id, VARIANT* result);

    void wb_BeforeNavigate2(const wchar_t* url, VARIANT* cancel);
    void wb_NewWindow3(const wchar_t* url, VARIANT* cancel);
    void wb_DocumentComplete(IDispatch* pDisp);
    void wbDoc_oncontextmenu(VARIANT* result);
    void wbDoc_onkeydown();
    void wbDoc_onkeypress(VARIANT* result);
    ComPtr<IHTMLEventObj> CurrentEvent();
    static void KillEvent(ComPtr<IHTMLEventObj> event) noexcept;

    std::string langCode;
    HWND hwnd = nullptr;
    ComPtr<HelpOle::Site> site;
    ComPtr<IOleObject> ole;
    ComPtr<IOleInPlaceObject> inPlace;
    ComPtr<IWebBrowser2> wb;
    ComPtr<IHTMLDocument2> wbDoc;
    ComPtr<HelpOle::EventSink> browserSink;
    ComPtr<HelpOle::EventSink> docSink;
    HelpOle::SinkConnection browserEvents;
    HelpOle::SinkConnection docEvents;
    UniqueHook keyFilter;
    // The page's own links clicked, each with one kMsgOpenLink on its way; they go with the
    // window.
    std::deque<std::string> pendingLinks;
};

FHelp::Hosted::~Hosted() {
    // Sinks first, so that no event reaches a half-released control.
    docEvents.Reset();
    browserEvents.Reset();
    if (docSink)
        docSink->Disconnect();
    if (browserSink)
        browserSink->Disconnect();
    wbDoc.reset();
    wb.reset();
    if (inPlace)
        inPlace->InPlaceDeactivate();
    inPlace.reset();
    if (ole) {
        ole->Close(OLECLOSE_NOSAVE);
        ole->SetClientSite(nullptr);
    }
    ole.reset();
    if (site)
        site->Detach();
    site.reset();
    docSink.reset();
    browserSink.reset();
}

void FHelp::Hosted::Create(HWND window) {
    hwnd = window;
    Check(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                             ole.put_void()),
          "The web browser control could not be created");
    site = ComPtr<HelpOle::Site>::Attach(new HelpOle::Site(hwnd));
    IOleClientSite* clientSite = site.get();
    Check(ole->SetClientSite(clientSite), "The web browser control could not be created");
    ::OleSetContainedObject(ole.get(), TRUE);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    Check(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, hwnd, &client),
          "The web browser control could not be activated");
    inPlace = ole.As<IOleInPlaceObject>();
    wb = ole.As<IWebBrowser2>();
    if (!inPlace || !wb)
        Raise(E_NOINTERFACE, "The web browser control could not be created");
    // Nothing dropped on the page may navigate it.
    Check(wb->put_RegisterAsDropTarget(VARIANT_FALSE),
          "The web browser control could not be set up");
    wb->put_Silent(VARIANT_TRUE);
    keyFilter.reset(
        ::SetWindowsHookExW(WH_GETMESSAGE, &KeyFilterProc, nullptr, ::GetCurrentThreadId()));
    if (!keyFilter)
        Raise(HRESULT_FROM_WIN32(::GetLastError()), "The help window's key filter failed");
    browserSink = ComPtr<HelpOle::EventSink>::Attach(new HelpOle::EventSink(
        DIID_DWebBrowserEvents2,
        [this](DISPID id, DISPPARAMS& params, VARIANT*) { OnBrowserEvent(id, params); }));
    Check(browserEvents.Connect(wb.get(), DIID_DWebBrowserEvents2, browserSink.get()),
          "The web browser control's events could not be connected");
}

void FHelp::Hosted::Place(const RECT& rect) {
    if (inPlace)
        inPlace->SetObjectRects(&rect, &rect);
}

// Keyboard focus belongs in the page, so that the scrolling keys work at once: the control is
// made UI-active and its document window (the control's own window while there is no
// document) takes the focus.
void FHelp::Hosted::Focus() {
    if (!ole)
        return;
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    IOleClientSite* clientSite = site.get();
    ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, clientSite, 0, hwnd, &client);
    HWND target = nullptr;
    if (ComPtr<IOleWindow> docWindow = wbDoc.As<IOleWindow>())
        docWindow->GetWindow(&target);
    if (!target && inPlace)
        inPlace->GetWindow(&target);
    if (target && ::IsWindow(target) && ::GetFocus() != target)
        ::SetFocus(target);
}

// The page's own link that url names, opened once the event has returned (the user may close the
// window meanwhile, and the control must not lose objects it is still using); any other address
// goes nowhere.
void FHelp::Hosted::OpenLinkLater(const wchar_t* url) {
    auto link = HelpPage::PageLinkFor(url);
    if (!link)
        return;
    pendingLinks.push_back(std::move(*link));
    if (!::PostMessageW(hwnd, kMsgOpenLink, 0, 0))
        pendingLinks.pop_back();
}

void FHelp::Hosted::OnBrowserEvent(DISPID id, DISPPARAMS& params) {
    using HelpOle::ArgText;
    using HelpOle::EventArg;
    switch (id) {
    case DISPID_BEFORENAVIGATE2: // pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel
        wb_BeforeNavigate2(ArgText(EventArg(params, 1)), EventArg(params, 6));
        break;
    case DISPID_NEWWINDOW3: // ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl
        wb_NewWindow3(ArgText(EventArg(params, 4)), EventArg(params, 1));
        break;
    case DISPID_NEWWINDOW2: // ppDisp, Cancel
        HelpOle::SetArgBool(EventArg(params, 1), true);
        break;
    case DISPID_DOCUMENTCOMPLETE: { // pDisp, URL
        VARIANT* disp = EventArg(params, 0);
        wb_DocumentComplete(disp && disp->vt == VT_DISPATCH ? disp->pdispVal : nullptr);
        break;
    }
    default:
        break;
    }
}

void FHelp::Hosted::wb_BeforeNavigate2(const wchar_t* url, VARIANT* cancel) {
    switch (HelpPage::ClassifyNavigation(url)) {
    case HelpPage::Navigation::Allow:
        return;
    case HelpPage::Navigation::OpenExternally:
        HelpOle::SetArgBool(cancel, true);
        OpenLinkLater(url);
        return;
    case HelpPage::Navigation::Cancel:
        HelpOle::SetArgBool(cancel, true);
        return;
    }
}

// A link opened in a new window (shift-click): never a second browser window of this process.
void FHelp::Hosted::wb_NewWindow3(const wchar_t* url, VARIANT* cancel) {
    HelpOle::SetArgBool(cancel, true);
    OpenLinkLater(url);
}

void FHelp::Hosted::wb_DocumentComplete(IDispatch* pDisp) {
    if (!pDisp)
        return;
    ComPtr<IWebBrowser2> browser = ComPtr<IDispatch>::Share(pDisp).As<IWebBrowser2>();
    ComPtr<IDispatch> docDispatch;
    if (browser)
        browser->get_Document(docDispatch.put());
    ComPtr<IHTMLDocument2> doc = docDispatch.As<IHTMLDocument2>();
    // No HTML document (Wine without an HTML engine): the window stays blank.
    if (!doc)
        return;

    docEvents.Reset();
    wbDoc = doc;
    if (!docSink)
        docSink = ComPtr<HelpOle::EventSink>::Attach(new HelpOle::EventSink(
            HelpIds::kDiidHtmlDocumentEvents2,
            [this](DISPID id, DISPPARAMS&, VARIANT* result) { OnDocumentEvent(id, result); }));
    Check(docEvents.Connect(wbDoc.get(), HelpIds::kDiidHtmlDocumentEvents2, docSink.get()),
          "The help page's events could not be connected");

    ComPtr<IHTMLElement> body;
    Check(wbDoc->get_body(body.put()), "The help page has no body");
    if (!body)
        Raise(E_FAIL, "The help page has no body");
    ComPtr<IHTMLStyle> style;
    Check(body->get_style(style.put()), "The help page could not be written");
    Check(style->put_border(Bstr(L"none")), "The help page could not be written");

    ComPtr<IHTMLStyleSheet> sheet;
    Check(wbDoc->createStyleSheet(Bstr(L""), -1, sheet.put()),
          "The help page's style sheet could not be created");
    Check(sheet->put_cssText(Bstr(Utf8ToWide(HelpResource::Text("CSS")))),
          "The help page's style sheet could not be written");

    std::string bodyText = HelpResource::Text(HelpPage::BodyResourceName(langCode));
    Check(body->put_innerHTML(Bstr(Utf8ToWide(HelpPage::PageBody(bodyText)))),
          "The help page could not be written");
    // The window took the focus before there was a document to give it to.
    if (::GetActiveWindow() == hwnd)
        Focus();
}

void FHelp::Hosted::OnDocumentEvent(DISPID id, VARIANT* result) {
    switch (id) {
    case HelpIds::kDispidOnContextMenu:
        wbDoc_oncontextmenu(result);
        break;
    case HelpIds::kDispidOnKeyDown:
        wbDoc_onkeydown();
        break;
    case HelpIds::kDispidOnKeyPress:
        wbDoc_onkeypress(result);
        break;
    default:
        break;
    }
}

ComPtr<IHTMLEventObj> FHelp::Hosted::CurrentEvent() {
    ComPtr<IHTMLWindow2> window;
    if (!wbDoc || FAILED(wbDoc->get_parentWindow(window.put())) || !window)
        return {};
    ComPtr<IHTMLEventObj> event;
    window->get_event(event.put());
    return event;
}

// Each step on its own: a key code the browser refuses to change must not keep the event alive.
void FHelp::Hosted::KillEvent(ComPtr<IHTMLEventObj> event) noexcept {
    if (!event)
        return;
    event->put_keyCode(0);
    VARIANT no;
    ::VariantInit(&no);
    no.vt = VT_BOOL;
    no.boolVal = VARIANT_FALSE;
    event->put_returnValue(no);
    event->put_cancelBubble(VARIANT_TRUE);
}

void FHelp::Hosted::wbDoc_oncontextmenu(VARIANT* result) {
    KillEvent(CurrentEvent());
    ReturnFalse(result);
}

void FHelp::Hosted::wbDoc_onkeydown() {
    long keyCode = 0;
    if (ComPtr<IHTMLEventObj> event = CurrentEvent())
        event->get_keyCode(&keyCode);
    if (!HelpPage::KeyPasses(keyCode))
        KillEvent(CurrentEvent());
}

void FHelp::Hosted::wbDoc_onkeypress(VARIANT* result) {
    KillEvent(CurrentEvent());
    ReturnFalse(result);
}

// ---- FHelp ----

FHelp::FHelp(std::string langCode) : langCode_(std::move(langCode)) {}

FHelp::~FHelp() {
    Unload();
}

void FHelp::Load() {
    if (Hwnd())
        return;
    hosted_ = std::make_unique<Hosted>(langCode_);
    try {
        // The program's apartment, opened now on first use and closed at the program's end.
        Check(OleApartment::Open(), "OLE could not be initialised");

        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        try {
            CreateWin(kHelpSource, kExStyle, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
        } catch (const AppError& e) {
            // The help window's own number and text for a window it cannot make.
            Raise(HRESULT_FROM_WIN32(static_cast<DWORD>(e.Number())),
                  "The help window could not be created");
        }
        // The program's icon, as on the main window (none where the resource is not linked in).
        for (auto [which, cx, cy] : {std::tuple{ICON_SMALL, SM_CXSMICON, SM_CYSMICON},
                                     std::tuple{ICON_BIG, SM_CXICON, SM_CYICON}})
            ::SendMessageW(Hwnd(), WM_SETICON, which,
                           reinterpret_cast<LPARAM>(::LoadImageW(
                               instance, MAKEINTRESOURCEW(IDI_TAVELIN), IMAGE_ICON,
                               ::GetSystemMetrics(cx), ::GetSystemMetrics(cy), LR_SHARED)));

        const int dpi = WindowDpi(Hwnd());
        RECT frame = {0, 0, TwipsToPixels(kClientWidthTwips, dpi),
                      TwipsToPixels(kClientHeightTwips, dpi)};
        ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
        ::SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

        hosted_->Create(Hwnd());
        Form_Resize();
        Form_Load();
    } catch (...) {
        Unload();
        throw;
    }
}

void FHelp::Form_Load() {
    VARIANT url;
    ::VariantInit(&url);
    Bstr blank(L"about:blank");
    url.vt = VT_BSTR;
    url.bstrVal = blank;
    VARIANT none;
    ::VariantInit(&none);
    Check(hosted_->wb->Navigate2(&url, &none, &none, &none, &none),
          "The help page could not be opened");
    if (std::optional<std::string> caption = HelpPage::Caption(langCode_))
        ::SetWindowTextW(Hwnd(), Utf8ToWide(*caption).c_str());
}

void FHelp::Form_Resize() {
    if (!Hwnd() || !hosted_)
        return;
    RECT client = {};
    ::GetClientRect(Hwnd(), &client);
    hosted_->Place(client);
}

void FHelp::Move(int x, int y) {
    Load();
    ::SetWindowPos(Hwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FHelp::Show(HWND owner) {
    Load();
    // The window exists before its owner is known; GWLP_HWNDPARENT sets the owner of a
    // top-level window.
    ::SetWindowLongPtrW(Hwnd(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    ::ShowWindow(Hwnd(), SW_SHOW);
    ::SetForegroundWindow(Hwnd());
}

void FHelp::Unload() noexcept {
    Destroy();
    TearDown();
}

IWebBrowser2* FHelp::Browser() const noexcept {
    return hosted_ ? hosted_->wb.get() : nullptr;
}

void FHelp::TearDown() noexcept {
    // reset() clears the pointer before the control is released, so messages sent meanwhile
    // find nothing hosted.
    hosted_.reset();
}

const wchar_t* FHelp::ClassName() noexcept {
    return kClassName;
}

void FHelp::CustomizeClass(WNDCLASSEXW& wc) noexcept {
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
}

LRESULT FHelp::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE:
        Form_Resize();
        return 0;
    case WM_SETFOCUS:
        if (hosted_)
            hosted_->Focus();
        return 0;
    case kMsgOpenLink: {
        if (!hosted_ || hosted_->pendingLinks.empty())
            return 0;
        const std::string link = hosted_->pendingLinks.front();
        hosted_->pendingLinks.pop_front();
        if (!MShellExec::ShellExec("open", link, "", "", SW_SHOWNORMAL))
            AddressBox::Show(link, langCode_, Hwnd());
        return 0;
    }
    case WM_DESTROY:
        // Closing the window unloads it.
        TearDown();
        return 0;
    default:
        return Default(msg, wParam, lParam);
    }
}
