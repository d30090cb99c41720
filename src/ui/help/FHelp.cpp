#include "ui/help/FHelp.h"

#include <ole2.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>

#include <deque>
#include <string_view>
#include <tuple>

#include "core/AppError.h"
#include "win32/MFatal.h"
#include "win32/MOleApartment.h"
#include "system/MShellExec.h"
#include "ui/msgbox/MAddressBox.h"
#include "win32/ComPtr.h"
#include "win32/MDpi.h"
#include "win32/Handles.h"
#include "win32/Seam.h"
#include "win32/MText.h"
#include "ui/help/HelpIds.h"
#include "ui/help/MHelpOle.h"
#include "ui/help/MHelpPage.h"
#include "ui/help/MHelpResource.h"
#include "ui/help/MHelpText.h"
#include "ui/help/MHelpTextView.h"
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
// The browser control has reported that it has no document: the text takes its place.
constexpr UINT kMsgShowText = WM_APP + 2;
// Bounds the wait for the control's document.
constexpr UINT_PTR kTimerDocument = 1;
// The text view's control id, by which the key filter knows it.
constexpr int kTextViewId = 100;

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
        if (HWND help = HelpWindowAbove(msg->hwnd)) {
            const long key = static_cast<long>(msg->wParam);
            const bool text =
                ::GetParent(msg->hwnd) == help && ::GetDlgCtrlID(msg->hwnd) == kTextViewId;
            switch (text ? MHelpPage::RouteTextKey(msg->message, key, ::GetKeyState(VK_CONTROL) < 0)
                         : MHelpPage::RouteKey(msg->message, key)) {
            case MHelpPage::KeyTarget::Control:
                break;
            case MHelpPage::KeyTarget::Frame:
                msg->hwnd = help;
                break;
            case MHelpPage::KeyTarget::Nowhere:
                msg->message = WM_NULL;
                break;
            }
        }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

HRESULT CreateWebBrowser(IOleObject** control) noexcept {
    return ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(control));
}

HRESULT NavigateWebBrowser(IWebBrowser2* browser, const wchar_t* url) noexcept {
    VARIANT target;
    ::VariantInit(&target);
    Bstr text(url);
    target.vt = VT_BSTR;
    target.bstrVal = text;
    VARIANT none;
    ::VariantInit(&none);
    return browser->Navigate2(&target, &none, &none, &none, &none);
}

// The browser control and everything that hangs on it, alive while the window is loaded.
struct FHelp::Hosted {
    explicit Hosted(Language lang) : lang(lang) {}
    ~Hosted();
    Hosted(const Hosted&) = delete;
    Hosted& operator=(const Hosted&) = delete;

    HRESULT Create(HWND hwnd);
    void Place(const RECT& rect);
    void Focus();
    void NoDocument();

    void OpenLinkLater(const wchar_t* url);
    void OnBrowserEvent(DISPID id, DISPPARAMS& params);
    void OnDocumentEvent(DISPID id, VARIANT* result);

    void wb_BeforeNavigate2(const wchar_t* url, VARIANT* cancel);
    void wb_NewWindow3(const wchar_t* url, VARIANT* cancel);
    void wb_DocumentComplete(IDispatch* pDisp);
    void WritePage(const ComPtr<IHTMLDocument2>& doc);
    void wbDoc_oncontextmenu(VARIANT* result);
    void wbDoc_onkeydown();
    void wbDoc_onkeypress(VARIANT* result);
    ComPtr<IHTMLEventObj> CurrentEvent();
    static void KillEvent(ComPtr<IHTMLEventObj> event) noexcept;

    Language lang;
    HWND hwnd = nullptr;
    ComPtr<MHelpOle::CSite> site;
    ComPtr<IOleObject> ole;
    ComPtr<IOleInPlaceObject> inPlace;
    ComPtr<IWebBrowser2> wb;
    ComPtr<IHTMLDocument2> wbDoc;
    ComPtr<MHelpOle::CEventSink> browserSink;
    ComPtr<MHelpOle::CEventSink> docSink;
    MHelpOle::CSinkConnection browserEvents;
    MHelpOle::CSinkConnection docEvents;
    // The page is in the control's document; until then the window waits for it.
    bool pageWritten = false;
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

// S_OK when the control is in place and set up, else the first failure: a control that cannot
// be kept from navigating or from taking drops is not used.
HRESULT FHelp::Hosted::Create(HWND window) {
    hwnd = window;
    HRESULT hr = Seam<HelpBrowserCalls>::Current().create(ole.put());
    if (FAILED(hr) || !ole)
        return FAILED(hr) ? hr : E_NOINTERFACE;
    site = ComPtr<MHelpOle::CSite>::Attach(new MHelpOle::CSite(hwnd));
    IOleClientSite* clientSite = site.get();
    if (FAILED(hr = ole->SetClientSite(clientSite)))
        return hr;
    ::OleSetContainedObject(ole.get(), TRUE);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    if (FAILED(hr = ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, hwnd, &client)))
        return hr;
    inPlace = ole.As<IOleInPlaceObject>();
    wb = ole.As<IWebBrowser2>();
    if (!inPlace || !wb)
        return E_NOINTERFACE;
    // Nothing dropped on the page may navigate it.
    if (FAILED(hr = wb->put_RegisterAsDropTarget(VARIANT_FALSE)))
        return hr;
    wb->put_Silent(VARIANT_TRUE);
    browserSink = ComPtr<MHelpOle::CEventSink>::Attach(new MHelpOle::CEventSink(
        DIID_DWebBrowserEvents2,
        [this](DISPID id, DISPPARAMS& params, VARIANT*) { OnBrowserEvent(id, params); }));
    return browserEvents.Connect(wb.get(), DIID_DWebBrowserEvents2, browserSink.get());
}

// Asks the window for the text, once the event has returned: the control must not be released
// while it is still calling out.
void FHelp::Hosted::NoDocument() {
    if (!pageWritten)
        ::PostMessageW(hwnd, kMsgShowText, 0, 0);
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
    auto link = MHelpPage::PageLinkFor(url);
    if (!link)
        return;
    pendingLinks.push_back(std::move(*link));
    if (!::PostMessageW(hwnd, kMsgOpenLink, 0, 0))
        pendingLinks.pop_back();
}

void FHelp::Hosted::OnBrowserEvent(DISPID id, DISPPARAMS& params) {
    using MHelpOle::ArgText;
    using MHelpOle::EventArg;
    switch (id) {
    case DISPID_BEFORENAVIGATE2: // pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel
        wb_BeforeNavigate2(ArgText(EventArg(params, 1)), EventArg(params, 6));
        break;
    case DISPID_NEWWINDOW3: // ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl
        wb_NewWindow3(ArgText(EventArg(params, 4)), EventArg(params, 1));
        break;
    case DISPID_NEWWINDOW2: // ppDisp, Cancel
        MHelpOle::SetArgBool(EventArg(params, 1), true);
        break;
    case DISPID_DOCUMENTCOMPLETE: { // pDisp, URL
        VARIANT* disp = EventArg(params, 0);
        wb_DocumentComplete(disp && disp->vt == VT_DISPATCH ? disp->pdispVal : nullptr);
        break;
    }
    case DISPID_NAVIGATEERROR: // the blank page failed: a control without an HTML engine
        NoDocument();
        break;
    default:
        break;
    }
}

void FHelp::Hosted::wb_BeforeNavigate2(const wchar_t* url, VARIANT* cancel) {
    switch (MHelpPage::ClassifyNavigation(url)) {
    case MHelpPage::Navigation::Allow:
        return;
    case MHelpPage::Navigation::OpenExternally:
        MHelpOle::SetArgBool(cancel, true);
        OpenLinkLater(url);
        return;
    case MHelpPage::Navigation::Cancel:
        MHelpOle::SetArgBool(cancel, true);
        return;
    }
}

// A link opened in a new window (shift-click): never a second browser window of this process.
void FHelp::Hosted::wb_NewWindow3(const wchar_t* url, VARIANT* cancel) {
    MHelpOle::SetArgBool(cancel, true);
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
    if (!doc)
        return NoDocument();
    try {
        WritePage(doc);
    } catch (const AppError&) {
        // A document the page cannot be written into is as good as none.
        return NoDocument();
    }
    pageWritten = true;
    ::KillTimer(hwnd, kTimerDocument);
    // The window took the focus before there was a document to give it to.
    if (::GetActiveWindow() == hwnd)
        Focus();
}

void FHelp::Hosted::WritePage(const ComPtr<IHTMLDocument2>& doc) {
    docEvents.Reset();
    wbDoc = doc;
    if (!docSink)
        docSink = ComPtr<MHelpOle::CEventSink>::Attach(new MHelpOle::CEventSink(
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
    Check(sheet->put_cssText(Bstr(MText::Utf8ToWide(MHelpResource::Text("CSS")))),
          "The help page's style sheet could not be written");

    std::string bodyText = MHelpResource::Text(MHelpPage::BodyResourceName(lang));
    Check(body->put_innerHTML(Bstr(MText::Utf8ToWide(MHelpPage::PageBody(bodyText)))),
          "The help page could not be written");
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
    if (!MHelpPage::KeyPasses(keyCode))
        KillEvent(CurrentEvent());
}

void FHelp::Hosted::wbDoc_onkeypress(VARIANT* result) {
    KillEvent(CurrentEvent());
    ReturnFalse(result);
}

// ---- FHelp ----

FHelp::FHelp(Language lang) : lang_(lang) {}

FHelp::~FHelp() {
    Unload();
}

void FHelp::Load() {
    if (Hwnd())
        return;
    try {
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

        const int dpi = MDpi::WindowDpi(Hwnd());
        RECT frame = {0, 0, MDpi::TwipsToPixels(kClientWidthTwips, dpi),
                      MDpi::TwipsToPixels(kClientHeightTwips, dpi)};
        ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
        ::SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

        keyFilter_.reset(
            ::SetWindowsHookExW(WH_GETMESSAGE, &KeyFilterProc, nullptr, ::GetCurrentThreadId()));
        if (!keyFilter_)
            Raise(HRESULT_FROM_WIN32(::GetLastError()), "The help window's key filter failed");
        Form_Load();
    } catch (...) {
        Unload();
        throw;
    }
}

// The caption, then the page in the browser control, or its text where the control cannot show
// it.
void FHelp::Form_Load() {
    ::SetWindowTextW(Hwnd(), MText::Utf8ToWide(MHelpPage::Caption(lang_)).c_str());
    if (!OpenBrowser())
        ShowText();
}

// The browser control in place, asked for its blank page and given a bounded time to report
// its document. False where the control cannot be created or set up (Windows Server Core has
// none) or refuses to navigate.
bool FHelp::OpenBrowser() {
    const HelpBrowserCalls calls = Seam<HelpBrowserCalls>::Current();
    // The program's apartment, opened now on first use and closed at the program's end.
    if (FAILED(MOleApartment::Open()))
        return false;
    hosted_ = std::make_unique<Hosted>(lang_);
    if (FAILED(hosted_->Create(Hwnd()))) {
        hosted_.reset();
        return false;
    }
    Form_Resize();
    // Set before the page is asked for: the control may report at once.
    if (!::SetTimer(Hwnd(), kTimerDocument, calls.documentWaitMs, nullptr) ||
        FAILED(calls.navigate(hosted_->wb.get(), L"about:blank"))) {
        hosted_.reset();
        return false;
    }
    return true;
}

// The page's text in a read-only text view, in place of a browser control that shows nothing.
void FHelp::ShowText() {
    ::KillTimer(Hwnd(), kTimerDocument);
    hosted_.reset();
    if (text_)
        return;
    const std::string body = MHelpResource::Text(MHelpPage::BodyResourceName(lang_));
    text_ =
        MHelpTextView::Create(Hwnd(), kTextViewId, MHelpText::Blocks(MHelpPage::PageBody(body)));
    if (::GetActiveWindow() == Hwnd())
        ::SetFocus(text_);
}

void FHelp::Form_Resize() {
    if (!Hwnd())
        return;
    RECT client = {};
    ::GetClientRect(Hwnd(), &client);
    if (hosted_)
        hosted_->Place(client);
    if (text_)
        ::MoveWindow(text_, 0, 0, client.right, client.bottom, TRUE);
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
    text_ = nullptr;
    keyFilter_.reset();
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
        if (text_)
            ::SetFocus(text_);
        else if (hosted_)
            hosted_->Focus();
        return 0;
    case WM_TIMER:
        if (wParam != kTimerDocument)
            return Default(msg, wParam, lParam);
        ::KillTimer(Hwnd(), kTimerDocument);
        // The control has not reported its document in time.
        if (hosted_ && !hosted_->pageWritten)
            ShowText();
        return 0;
    case kMsgShowText:
        if (hosted_ && !hosted_->pageWritten)
            ShowText();
        return 0;
    case kMsgOpenLink: {
        if (!hosted_ || hosted_->pendingLinks.empty())
            return 0;
        const std::string link = hosted_->pendingLinks.front();
        hosted_->pendingLinks.pop_front();
        if (!MShellExec::ShellExec("open", link, "", "", SW_SHOWNORMAL))
            MAddressBox::Show(link, lang_, Hwnd());
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
