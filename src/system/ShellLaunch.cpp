#include "system/ShellLaunch.h"

#include <ole2.h>
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <utility>

#include "win32/Handles.h"
#include "win32/OleApartment.h"
#include "win32/Text.h"
#include "win32/ComPtr.h"
#include "ui/msgbox/MCenterMBX.h"

namespace ShellLaunch {

namespace {

// TOKEN_INFORMATION_CLASS TokenElevationType, from Vista on; the Windows 2000 headers the
// program is built against need not know it.
constexpr int kTokenElevationType = 18;

unsigned RealMajorVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExA(&info) || info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;
    return info.dwMajorVersion;
}

Elevation RealElevation() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return Elevation::Unknown;
    DWORD type = 0, size = 0;
    if (!::GetTokenInformation(token.get(),
                               static_cast<TOKEN_INFORMATION_CLASS>(kTokenElevationType), &type,
                               sizeof type, &size) ||
        type < 1 || type > 3)
        return Elevation::Unknown;
    return static_cast<Elevation>(type);
}

void RealShellExecute(const Launch& l) {
    // Shell extensions that handle the address may use COM.
    OleApartment::Open();
    const std::string op = Utf8ToAnsi(l.operation), file = Utf8ToAnsi(l.file),
                      parameters = Utf8ToAnsi(l.parameters), directory = Utf8ToAnsi(l.directory);
    // An empty operation means the shell's default verb, which a null pointer asks for on
    // every Windows version.
    ::ShellExecuteA(::GetDesktopWindow(), op.empty() ? nullptr : op.c_str(), file.c_str(),
                    parameters.c_str(), directory.c_str(), l.showCommand);
}

VARIANT TextArg(const Bstr& text) noexcept {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
    return v;
}

// The desktop's view belongs to Explorer, which runs with the user's unelevated token; its
// Shell.Application object starts programs from there.
HRESULT RealDesktopShell(const Launch& l) {
    if (HRESULT hr = OleApartment::Open(); FAILED(hr))
        return hr;
    ComPtr<IShellWindows> windows;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                    windows.put_void());
    if (FAILED(hr))
        return hr;
    VARIANT desktop, none;
    ::VariantInit(&desktop);
    ::VariantInit(&none);
    desktop.vt = VT_I4;
    desktop.lVal = CSIDL_DESKTOP;
    long hwnd = 0;
    ComPtr<IDispatch> found;
    hr = windows->FindWindowSW(&desktop, &none, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, found.put());
    if (hr != S_OK || !found) // S_FALSE: no desktop window registered
        return FAILED(hr) ? hr : E_FAIL;
    ComPtr<IServiceProvider> services = found.As<IServiceProvider>();
    ComPtr<IShellBrowser> browser;
    if (!services || FAILED(hr = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                                        browser.put_void())))
        return services ? hr : E_NOINTERFACE;
    ComPtr<IShellView> view;
    if (FAILED(hr = browser->QueryActiveShellView(view.put())) || !view)
        return FAILED(hr) ? hr : E_FAIL;
    ComPtr<IDispatch> background;
    if (FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void())))
        return hr;
    ComPtr<IShellFolderViewDual> folderView = background.As<IShellFolderViewDual>();
    if (!folderView)
        return E_NOINTERFACE;
    ComPtr<IDispatch> application;
    if (FAILED(hr = folderView->get_Application(application.put())) || !application)
        return FAILED(hr) ? hr : E_FAIL;
    ComPtr<IShellDispatch2> shell = application.As<IShellDispatch2>();
    if (!shell)
        return E_NOINTERFACE;

    const Bstr file(Utf8ToWide(l.file)), parameters(Utf8ToWide(l.parameters)),
        directory(Utf8ToWide(l.directory)), operation(Utf8ToWide(l.operation));
    VARIANT show;
    ::VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = l.showCommand;
    return shell->ShellExecute(file, TextArg(parameters), TextArg(directory), TextArg(operation),
                               show);
}

void RealShowAddress(const Launch& l, HWND owner, const std::string& langCode) {
    std::string title;
    MCenterMBX::CenteredMsgBox(AddressNotice(l.file, langCode), MB_OK | MB_ICONINFORMATION, title,
                               owner);
}

Calls& Current() {
    static Calls calls = RealCalls();
    return calls;
}

} // namespace

Route ChooseRoute(unsigned majorVersion, Elevation elevation) noexcept {
    if (majorVersion < 6)
        return Route::Direct;
    return elevation == Elevation::Full || elevation == Elevation::Unknown ? Route::DesktopShell
                                                                           : Route::Direct;
}

Calls RealCalls() {
    return {&RealMajorVersion, &RealElevation, &RealShellExecute, &RealDesktopShell,
            &RealShowAddress};
}

ScopedCalls::ScopedCalls(Calls calls) : previous_(std::exchange(Current(), std::move(calls))) {}

ScopedCalls::~ScopedCalls() {
    Current() = std::move(previous_);
}

void Open(const Launch& launch, HWND owner, const std::string& langCode) {
    const Calls calls = Current(); // a call may replace the table meanwhile
    const unsigned major = calls.majorVersion();
    // The token is asked only where it can be elevated at all.
    const Elevation elevation = major >= 6 ? calls.elevation() : Elevation::Unknown;
    if (ChooseRoute(major, elevation) == Route::Direct)
        calls.shellExecute(launch);
    else if (FAILED(calls.desktopShell(launch)))
        calls.showAddress(launch, owner, langCode);
}

std::string AddressNotice(const std::string& address, const std::string& langCode) {
    if (langCode == "DE")
        return "Tavelin läuft mit vollen Administratorrechten und öffnet die folgende Adresse "
               "deshalb nicht selbst: ein so gestarteter Browser hätte dieselben Rechte.\r\n\r\n" +
               address +
               "\r\n\r\nStrg+C kopiert den Text dieses Fensters; fügen Sie die Adresse in Ihren "
               "Browser oder Ihr E-Mail-Programm ein.";
    return "Tavelin runs with full administrator rights and therefore does not open the following "
           "address itself: a browser started that way would have the same rights.\r\n\r\n" +
           address +
           "\r\n\r\nCtrl+C copies the text of this box; paste the address into your browser or "
           "e-mail program.";
}

} // namespace ShellLaunch
