#include "system/MShellLaunch.h"

#include <ole2.h>
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "win32/ComPtr.h"
#include "win32/MOleApartment.h"
#include "win32/Seam.h"
#include "win32/MText.h"

namespace MShellLaunch {

namespace {

VARIANT TextArg(const Bstr& text) noexcept {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
    return v;
}

} // namespace

void ShellExecuteHere(const Launch& l) {
    // Shell extensions that handle the address may use COM.
    MOleApartment::Open();
    const std::string op = MText::Utf8ToAnsi(l.operation), file = MText::Utf8ToAnsi(l.file),
                      parameters = MText::Utf8ToAnsi(l.parameters),
                      directory = MText::Utf8ToAnsi(l.directory);
    // An empty operation means the shell's default verb, which a null pointer asks for on
    // every Windows version.
    ::ShellExecuteA(::GetDesktopWindow(), op.empty() ? nullptr : op.c_str(), file.c_str(),
                    parameters.c_str(), directory.c_str(), l.showCommand);
}

// The desktop's view belongs to Explorer, which runs with the desktop user's own token; its
// Shell.Application object starts programs from there. Explorer is that user's to control: it is
// reached only as the local server it is, and only with the process's COM security in place.
HRESULT ShellExecuteOnDesktop(const Launch& l) {
    if (HRESULT hr = MOleApartment::Open(); FAILED(hr))
        return hr;
    if (HRESULT hr = MOleApartment::Secured(); FAILED(hr))
        return hr;
    ComPtr<IShellWindows> windows;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                    IID_IShellWindows, windows.put_void());
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

    const Bstr file(MText::Utf8ToWide(l.file)), parameters(MText::Utf8ToWide(l.parameters)),
        directory(MText::Utf8ToWide(l.directory)), operation(MText::Utf8ToWide(l.operation));
    VARIANT show;
    ::VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = l.showCommand;
    return shell->ShellExecute(file, TextArg(parameters), TextArg(directory), TextArg(operation),
                               show);
}

bool Open(const Launch& launch) {
    const Calls calls = Seam<Calls>::Current(); // a call may install another table meanwhile
    if (SameTrust(calls.shellIdentity(), calls.ownIdentity())) {
        calls.shellExecute(launch);
        return true;
    }
    return SUCCEEDED(calls.desktopShell(launch));
}

} // namespace MShellLaunch
