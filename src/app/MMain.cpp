#include "app/MMain.h"

#include <windows.h>

#include <string_view>

#include "core/AppError.h"
#include "keymap/CScancodeMap.h"
#include "win32/ErrorSource.h"
#include "app/GetLanguageCode.h"
#include "win32/Handles.h"
#include "core/KeyCatalogue.h"
#include "app/MCheckAdmin.h"
#include "app/MGetWinVer.h"
#include "app/MInitComCtls.h"
#include "app/OpenWindows.h"
#include "core/Product.h"
#include "win32/Text.h"
#include "win32/StartupTrace.h"

namespace MMain {

std::string LangCode;

namespace {

std::unique_ptr<CScancodeMap> g_scancodeMap;
// Held until the process ends; its existence is what later copies detect.
UniqueHandle g_instanceMutex;

[[noreturn]] void EndProcess() {
    ::ExitProcess(0);
}

struct TitleSearch {
    std::wstring prefix;
    HWND found;
};

BOOL CALLBACK FindByTitlePrefix(HWND hwnd, LPARAM param) {
    auto& search = *reinterpret_cast<TitleSearch*>(param);
    int length = ::GetWindowTextLengthW(hwnd);
    if (length < static_cast<int>(search.prefix.size()))
        return TRUE;
    // Short titles are compared in a fixed buffer: nothing here may throw into Windows.
    wchar_t text[256] = {};
    ::GetWindowTextW(hwnd, text, 256);
    if (std::wstring_view(text).substr(0, search.prefix.size()) != search.prefix)
        return TRUE;
    search.found = hwnd;
    return FALSE;
}

} // namespace

bool SupportedWindows() {
    return MGetWinVer::IsWinXP() || MGetWinVer::IsWin2000() || MGetWinVer::IsWin2003() ||
           MGetWinVer::IsVista() || MGetWinVer::IsWin2003R2();
}

CScancodeMap& ScancodeMap() {
    if (!g_scancodeMap)
        kProgramSource.Raise(91, "Object variable or With block variable not set");
    return *g_scancodeMap;
}

void SetScancodeMap(std::unique_ptr<CScancodeMap> map) {
    g_scancodeMap = std::move(map);
}

bool PreviousInstanceRunning() {
    UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    bool earlier = mutex && ::GetLastError() == ERROR_ALREADY_EXISTS;
    // Kept also when the name was taken: if this copy starts after all, later ones see it.
    if (!g_instanceMutex)
        g_instanceMutex = std::move(mutex);
    return earlier;
}

void ReleaseInstanceMarker() {
    g_instanceMutex.reset();
}

bool ActivateWindowByTitle(const std::string& title) {
    std::wstring wide = Utf8ToWide(title);
    HWND window = ::FindWindowW(nullptr, wide.c_str());
    if (!window) {
        TitleSearch search{wide, nullptr};
        ::EnumWindows(&FindByTitlePrefix, reinterpret_cast<LPARAM>(&search));
        window = search.found;
    }
    if (!window)
        return false;
    // A minimised window in front would still show nothing.
    if (::IsIconic(window))
        ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
    return true;
}

std::string RefusalText(Refusal reason) {
    const bool german = LangCode == "DE";
    if (reason == Refusal::UnsupportedWindows)
        return german ? "Dieses Programm ist nur unter Windows 2000, XP, 2003 und Vista ausführbar."
                      : "This program runs only on Windows 2000, XP, 2003 and Vista.";
    return german ? "Sie müssen über Administrator-Rechte verfügen, um dieses Programm "
                    "auszuführen."
                  : "You need administrative privileges to run this program.";
}

void ShowRefusal(Refusal reason) {
    const UINT icon =
        reason == Refusal::UnsupportedWindows ? MB_ICONINFORMATION : MB_ICONEXCLAMATION;
    ::MessageBoxW(nullptr, Utf8ToWide(RefusalText(reason)).c_str(),
                  Utf8ToWide(Product::kName).c_str(), MB_OK | icon);
}

void Main() {
    // The common controls are registered explicitly from XP on; a failure there must not stop
    // the start.
    try {
        if (MGetWinVer::IsWinXP() || MGetWinVer::IsWin2003() || MGetWinVer::IsWin2003R2() ||
            MGetWinVer::IsVista())
            MInitComCtls::InitComCtls();
    } catch (...) {
    }
    StartupTrace::Mark("comctl");

    // Fixed before any message can appear, so that every refusal speaks the chosen language.
    LangCode = GetLanguageCode();

    // An earlier copy wins over every other check, silently, once its window is found; one
    // that shows none in time (still refusing, or not Tavelin at all) does not stop this start.
    if (PreviousInstanceRunning()) {
        const std::string title = Product::MainWindowTitle();
        for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < kActivationWaitMs;
             ::Sleep(50)) {
            if (ActivateWindowByTitle(title))
                EndProcess();
        }
    }
    if (!SupportedWindows()) {
        ReleaseInstanceMarker();
        ShowRefusal(Refusal::UnsupportedWindows);
        EndProcess();
    }
    if (!MCheckAdmin::IsAdmin()) {
        ReleaseInstanceMarker();
        ShowRefusal(Refusal::NoAdministratorRights);
        EndProcess();
    }

    StartupTrace::Mark("checks");
    MKeys::BuildKeyCatalogue();
    SetScancodeMap(std::make_unique<CScancodeMap>());
    StartupTrace::Mark("model");

    OpenWindows();
}

} // namespace MMain
