#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <future>

#include "keymap/CScancodeMap.h"
#include "support/MsgBoxWatcher.h"
#include "system/MShutdown.h"
#include "ui/main/FMain.h"
#include "ui/main/FMainIds.h"
#include "win32/Seam.h"

namespace {

constexpr char kLayout[] = "System\\CurrentControlSet\\Control\\Keyboard Layout";

// Answers the boxes of this process in turn with these buttons; their texts, in order.
std::future<std::vector<std::string>> AnswerInTurn(std::vector<int> buttons) {
    return std::async(std::launch::async, [buttons] {
        std::vector<std::string> texts;
        for (int button : buttons) {
            auto box = testsupport::FindMsgBox("", 0, 5000);
            if (!box)
                break;
            texts.push_back(box->title + ": " + box->text);
            ::PostMessageW(box->hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            for (int i = 0; i < 250 && ::IsWindow(box->hwnd); ++i)
                ::Sleep(20);
        }
        return texts;
    });
}

BOOL WINAPI OpenRefused(HANDLE, DWORD, PHANDLE) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI RequestRefused(LPSTR, LPSTR, DWORD, BOOL, BOOL) {
    ::SetLastError(ERROR_NOT_READY);
    return FALSE;
}

} // namespace

// A refused restart is told, not waited for: the request's refusal in the window's language, a
// privilege step's in Windows' words (Wine never refuses: the seam does).
TEST(FMain, RefusedRestartIsTold) {
    using enum Language;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_USEREX_CLASSES};
    ::InitCommonControlsEx(&icc);
    const struct {
        Language lang;
        bool tokenRefused = false;
        std::string told;
    } cases[] = {
        {.lang = English,
         .told = "Tavelin: The restart could not be requested. Please restart the computer "
                 "yourself."},
        {.lang = German,
         .told = "Tavelin: Der Neustart konnte nicht angefordert werden. Bitte starten Sie den "
                 "Rechner selbst neu."},
        {.lang = English, .tokenRefused = true, .told = "Error: OpenProcessToken Error: 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told);
        // Restore offered: an empty backup, no map; the restore removes both again.
        ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, "Scancode Map");
        ::SHSetValueA(HKEY_LOCAL_MACHINE, kLayout, "TVLN Backup", REG_BINARY, "", 0);
        Seam<MShutdown::Calls>::Override refuse( // never a restart from a test
            {.openProcessToken = c.tokenRefused ? &OpenRefused : &::OpenProcessToken,
             .initiateSystemShutdown = &RequestRefused});
        CScancodeMap map;
        FMain window(c.lang, map);
        window.Show();
        auto boxes = AnswerInTurn({IDYES, IDYES, IDOK});
        ::SendMessageW(::GetDlgItem(window.Hwnd(), IDC_CMDRESTORE), BM_CLICK, 0, 0);
        const std::vector<std::string> seen = boxes.get();
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[2], c.told);
        MSG quit; // the end handler ends the program's loop
        EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
}
