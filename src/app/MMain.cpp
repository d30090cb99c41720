#include "app/MMain.h"

#include <windows.h>

#include "core/AppError.h"
#include "keymap/CScancodeMap.h"
#include "win32/ModuleSource.h"
#include "app/MCheckAdmin.h"
#include "app/MGetWinVer.h"
#include "app/MSingleInstance.h"
#include "system/MSettings.h"
#include "ui/main/FMain.h"
#include "core/Product.h"
#include "win32/MText.h"
#include "win32/MLanguage.h"
#include "win32/MStartupTrace.h"

namespace MMain {

namespace {

std::unique_ptr<CScancodeMap> g_scancodeMap;
std::unique_ptr<FMain> g_main;

[[noreturn]] void EndProcess() {
    ::ExitProcess(0);
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

std::string RefusalText(Refusal reason, Language lang) {
    if (reason == Refusal::UnsupportedWindows)
        return Pick(lang,
                    "Dieses Programm ist nur unter Windows 2000, XP, 2003 und Vista ausführbar.",
                    "This program runs only on Windows 2000, XP, 2003 and Vista.");
    return Pick(lang,
                "Sie müssen über Administrator-Rechte verfügen, um dieses Programm auszuführen.",
                "You need administrative privileges to run this program.");
}

void ShowRefusal(Refusal reason, Language lang) {
    const UINT icon =
        reason == Refusal::UnsupportedWindows ? MB_ICONINFORMATION : MB_ICONEXCLAMATION;
    ::MessageBoxW(nullptr, MText::Utf8ToWide(RefusalText(reason, lang)).c_str(),
                  MText::Utf8ToWide(Product::kName).c_str(), MB_OK | icon);
}

void Main() {
    // Fixed before any message can appear, so that every refusal speaks the chosen language.
    MLanguage::Decide();

    // An earlier copy wins over every other check, silently, once its window is found; one
    // that shows none in time (still refusing, or not Tavelin at all) does not stop this start.
    if (MSingleInstance::PreviousInstanceRunning()) {
        const std::string title = Product::MainWindowTitle();
        for (DWORD start = ::GetTickCount();
             ::GetTickCount() - start < MSingleInstance::kActivationWaitMs; ::Sleep(50)) {
            if (MSingleInstance::ActivateEarlierCopy(title))
                EndProcess();
        }
    }
    if (!SupportedWindows()) {
        MSingleInstance::ReleaseMarker();
        ShowRefusal(Refusal::UnsupportedWindows, MLanguage::Current());
        EndProcess();
    }
    if (!MCheckAdmin::IsAdmin()) {
        MSingleInstance::ReleaseMarker();
        ShowRefusal(Refusal::NoAdministratorRights, MLanguage::Current());
        EndProcess();
    }

    MStartupTrace::Mark("checks");
    SetScancodeMap(std::make_unique<CScancodeMap>());
    MStartupTrace::Mark("model");

    OpenWindows();
}

void OpenWindows() {
    g_main = std::make_unique<FMain>(MLanguage::Current(), ScancodeMap());
    g_main->Load();
    MStartupTrace::Mark("selected");
    g_main->Show();
    MStartupTrace::Mark("shown");

    if (MSettings::GetSetting(Product::kName, "Settings", "ShowStartupInfo", "1") != "1")
        return;
    // Written before the help window shows, so that it opens by itself only once even if
    // showing it fails.
    MSettings::SaveSetting(Product::kName, "Settings", "ShowStartupInfo", "0");
    g_main->ShowHelp(g_main->Hwnd());
}

bool PreTranslateMessage(MSG& msg) {
    return g_main && g_main->PreTranslateMessage(msg);
}

} // namespace MMain
