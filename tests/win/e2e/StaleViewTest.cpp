// The real tavelin.exe while the registry changes behind its open window, and maps whose entries
// its lists cannot edit safely: nothing is written that the window did not see.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "ui/main/FMainIds.h"
#include "e2e/MainWindowDriver.h"
#include "support/MsgBoxWatcher.h"

using namespace e2e;
using testsupport::FindMsgBox;

namespace {

std::vector<int> Selections(Tavelin& app) {
    return {app.Selection(0), app.Selection(1), app.Selection(2)};
}

class StaleView : public CleanLayout {
  protected:
    // OK (with Insert changed first), then No to the restart question.
    static void SaveWithOk(Tavelin& app) {
        app.PressDown(1);
        app.Click(IDC_CMDOK);
        auto box = FindMsgBox("Tavelin", app.Pid(), 5000);
        ASSERT_TRUE(box) << "no restart question";
        Answer(box->hwnd, IDNO);
        EXPECT_EQ(app.Wait(5000), 0u);
    }
};

} // namespace

// Another program writes the map or the backup while the window is open: OK and Restore write
// nothing, a centred box says why, the window stays with its lists, and no restart is offered.
TEST_F(StaleView, MapChangedBehindTheOpenWindowIsNotOverwritten) {
    const std::string caps = "2A003A00", tab = "0F003A00";
    const std::string en = "The keyboard map was changed by another program since Tavelin "
                           "started. Nothing was saved.",
                      de = "Die Tastaturbelegung wurde seit dem Start von Tavelin von einem "
                           "anderen Programm geändert. Es wurde nichts gespeichert.";
    const std::tuple<const char*, int, const char*, Bytes, std::string> cases[] = {
        {"en_US.UTF-8", IDC_CMDOK, kMap, MapOf({tab}), en},
        {"de_DE.UTF-8", IDC_CMDOK, kBackup, MapOf({tab}), de},
        {"en_US.UTF-8", IDC_CMDRESTORE, kBackup, {}, en},
        {"de_DE.UTF-8", IDC_CMDRESTORE, kMap, {}, de},
    };
    for (const auto& [locale, button, value, changed, text] : cases) {
        SCOPED_TRACE(std::string(locale) + (button == IDC_CMDOK ? " OK " : " Restore ") + value);
        TearDown();
        WriteLayoutValue(kMap, MapOf({caps}));
        if (button == IDC_CMDRESTORE)
            WriteLayoutValue(kBackup, MapOf({tab}));
        Tavelin app(std::map<std::string, std::string>{{"LC_ALL", locale}});
        ASSERT_TRUE(app.Main());
        if (button == IDC_CMDOK)
            app.PressDown(1);
        const auto lists = Selections(app);
        WriteLayoutValue(value, changed); // the other program
        const auto map = ReadLayoutValue(kMap), backup = ReadLayoutValue(kBackup);

        app.Click(button);
        if (button == IDC_CMDRESTORE) {
            auto question = FindMsgBox("Tavelin", app.Pid(), 5000);
            ASSERT_TRUE(question) << "no restore question";
            Answer(question->hwnd, IDYES);
        }
        auto box = FindMsgBox("Tavelin", app.Pid(), 5000);
        ASSERT_TRUE(box) << "no notice";
        EXPECT_EQ(box->text, text);
        Answer(box->hwnd, IDOK);

        EXPECT_EQ(std::pair(ReadLayoutValue(kMap), ReadLayoutValue(kBackup)),
                  std::pair(map, backup));
        EXPECT_TRUE(::IsWindowVisible(app.Main()));
        EXPECT_EQ(Selections(app), lists);
        app.CloseWindow(); // no restart question: the program ends by itself
        EXPECT_EQ(app.Wait(5000), 0u);
    }
}

// An enabled list that has lost its selection (set from outside here: the user cannot clear it)
// keeps its key's entry; it is never saved as the first catalogue row.
TEST_F(StaleView, ListWithoutSelectionKeepsItsEntry) {
    WriteLayoutValue(kMap, MapOf({"2A003A00"}));
    Tavelin app;
    ASSERT_TRUE(app.Main());
    HWND capsLock = ::FindWindowExW(::GetDlgItem(app.Main(), IDC_CBOKEY_FIRST), nullptr,
                                    L"ComboBoxEx32", nullptr);
    ::SendMessageW(capsLock, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    ASSERT_EQ(app.Selection(0), -1);
    SaveWithOk(app);
    EXPECT_EQ(ReadLayoutValue(kMap), MapOf({"2A003A00", "000052E0"}));
}
