#include "app/OpenWindows.h"

#include <memory>

#include "app/MMain.h"
#include "core/Product.h"
#include "system/MSettings.h"
#include "ui/main/FMain.h"
#include "win32/StartupTrace.h"

namespace MMain {

namespace {

std::unique_ptr<FMain> g_main;

} // namespace

void OpenWindows() {
    g_main = std::make_unique<FMain>(LangCode, ScancodeMap());
    g_main->Load();
    StartupTrace::Mark("selected");
    g_main->Show();
    StartupTrace::Mark("shown");

    if (MSettings::GetSetting(Product::kName, "Settings", "ShowStartupInfo", "1") != "1")
        return;
    // Written before the help window shows, so that it opens by itself only once even if
    // showing it fails.
    MSettings::SaveSetting(Product::kName, "Settings", "ShowStartupInfo", "0");
    FHelp& help = g_main->Help();
    help.Load();
    RECT main{};
    ::GetWindowRect(g_main->Hwnd(), &main);
    help.Move(main.left - g_main->Twips(1600), main.top - g_main->Twips(1600));
    help.Show(g_main->Hwnd());
}

bool PreTranslateMessage(MSG& msg) {
    return g_main && g_main->PreTranslateMessage(msg);
}

} // namespace MMain
