#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <future>

#include "keymap/CScancodeMap.h"
#include "support/MsgBoxWatcher.h"
#include "system/MShutdown.h"
#include "ui/help/FHelp.h"
#include "ui/main/FMain.h"
#include "ui/main/FMainIds.h"
#include "win32/MDpi.h"
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

// A refused restart is told, not waited for: the request's refusal in the program's words, a
// privilege step's in Windows' words (Wine never refuses: the seam does).
TEST(FMain, RefusedRestartIsTold) {
    for (const auto& [tokenRefused, told] :
         {std::pair(false, "Tavelin: The restart could not be requested. Please restart the "
                           "computer yourself."),
          std::pair(true, "Error: OpenProcessToken Error: 5")}) {
        SCOPED_TRACE(told);
        // Restore offered: an empty backup, no map; the restore removes both again.
        ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, "Scancode Map");
        ::SHSetValueA(HKEY_LOCAL_MACHINE, kLayout, "TVLN Backup", REG_BINARY, "", 0);
        Seam<MShutdown::Calls>::Override refuse( // never a restart from a test
            {.openProcessToken = tokenRefused ? &OpenRefused : &::OpenProcessToken,
             .initiateSystemShutdown = &RequestRefused});
        CScancodeMap map;
        FMain window(Language::English, map);
        window.Show();
        auto boxes = AnswerInTurn({IDYES, IDYES, IDOK});
        ::SendMessageW(::GetDlgItem(window.Hwnd(), IDC_CMDRESTORE), BM_CLICK, 0, 0);
        const std::vector<std::string> seen = boxes.get();
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[2], told);
        MSG quit; // the end handler ends the program's loop
        EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
}

// The window at 96 DPI as designed, measured: its client area and every control's rectangle in
// client pixels. A control moved or resized, or a picture stretched, shows here; the end-to-end
// suite measures 144 DPI against 96.
TEST(FMain, LayoutAt96Dpi) {
    ASSERT_EQ(MDpi::WindowDpi(), 96);
    ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, "Scancode Map");
    CScancodeMap map;
    FMain window(Language::English, map);
    window.Load();
    RECT client{};
    ::GetClientRect(window.Hwnd(), &client);
    EXPECT_EQ(std::to_string(client.right) + "x" + std::to_string(client.bottom), "553x349");
    std::vector<std::pair<int, std::string>> designed = {
        {IDC_IMGDISABLED_FIRST, "162,72,16x16"},
        {IDC_LBDISABLED_FIRST, "183,75,346x16"},
        {IDC_IMGDISABLED_FIRST + 1, "162,153,16x16"},
        {IDC_LBDISABLED_FIRST + 1, "183,156,346x16"},
        {IDC_IMGDISABLED_FIRST + 2, "162,231,16x16"},
        {IDC_LBDISABLED_FIRST + 2, "183,234,346x16"},
        {IDC_CMDRESTORE, "228,258,301x25"},
        {IDC_CMDOK, "345,311,88x28"},
        {IDC_CMDCANCEL, "441,311,88x28"},
        {IDC_IMGHELP, "12,9,32x32"},
        {IDC_IMGPAYPAL_FIRST, "75,9,66x38"},
        {IDC_IMGPAYPAL_FIRST + 1, "75,9,66x38"},
        {IDC_IMGDECORATION, "0,0,147x300"},
        {IDC_LBORVANDE, "3,285,139x25"},
        {IDC_LBRESTART, "162,284,367x14"},
    };
    // Each key's heading, list, picture and arrow: the first key's, 81 pixels lower a key.
    for (int k = 0; k < 3; ++k)
        for (const auto& [id, x, y, size] : {std::tuple(IDC_LBKEY_FIRST, 162, 15, "367x22"),
                                             std::tuple(IDC_CBOKEY_FIRST, 228, 33, "301x38"),
                                             std::tuple(IDC_IMGBUTTON_FIRST, 162, 36, "44x30"),
                                             std::tuple(IDC_IMGARROW_FIRST, 213, 42, "9x17")})
            designed.emplace_back(id + k, std::to_string(x) + "," + std::to_string(y + 81 * k) +
                                              "," + size);
    for (const auto& [id, rect] : designed) {
        RECT r{};
        ::GetWindowRect(::GetDlgItem(window.Hwnd(), id), &r);
        ::MapWindowPoints(nullptr, window.Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                      std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top),
                  rect)
            << "control " << id;
    }
}

// The help its picture opened has no owner; closing the window still closes it and releases its
// browser control: later, at the program's end, COM would already be gone.
TEST(FMain, HelpGoesWithTheWindow) {
    const Seam<HelpBrowserCalls>::Override silent( // the control waits for a page that never comes
        {.navigate = [](IWebBrowser2*, const wchar_t*) noexcept { return S_OK; },
         .documentWaitMs = 60000});
    CScancodeMap map;
    FMain window(Language::English, map);
    window.Load();
    window.ShowHelp(nullptr);
    ASSERT_TRUE(window.Help().Browser()) << "no browser control hosted";
    ::SendMessageW(window.Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(window.Help().Browser());
    EXPECT_FALSE(window.Help().Hwnd());
    MSG quit; // the end handler ends the program's loop
    ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}
