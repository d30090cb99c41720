#include "app/OpenWindows.h"

#include <memory>

#include "app/MMain.h"
#include "core/Product.h"
#include "system/MSettings.h"
#include "ui/main/FMain.h"
#include "win32/MLanguage.h"
#include "win32/StartupTrace.h"

namespace MMain {

namespace {

std::unique_ptr<FMain> g_main;

} // namespace

void OpenWindows() {
    g_main = std::make_unique<FMain>(MLanguage::Current(), ScancodeMap());
    g_main->Load();
    StartupTrace::Mark("selected");
    g_main->Show();
    StartupTrace::Mark("shown");

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
