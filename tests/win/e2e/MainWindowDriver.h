// Drives a running tavelin.exe from outside, as a user would: finds its windows by title, reads
// the key lists across the process boundary, selects with keyboard input or the mouse, clicks
// with the real mouse and answers its message boxes by clicking their buttons.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/Mouse.h"

#include <gtest/gtest.h>

namespace e2e {

// The two values under the keyboard layout key that the program reads and writes.
constexpr const char* kMap = "Scancode Map";
constexpr const char* kBackup = "TVLN Backup";

using Bytes = std::vector<std::uint8_t>;
using Value = std::optional<Bytes>;
Bytes FromHex(std::string hex); // blanks are skipped
// A well-formed map holding these entries (8 hex digits each; an element may hold several).
Bytes MapOf(const std::vector<std::string>& entries);
// A value under the keyboard layout key, read and written with the real registry; writing
// nothing deletes it.
Value ReadLayoutValue(const char* name);
void WriteLayoutValue(const char* name, const Value& value);
// The per-user first-start flag; nullopt deletes it.
void SetShowStartupInfo(const std::optional<std::string>& value);
std::optional<std::string> ShowStartupInfo();
// A file's bytes (nothing when it does not exist), and a path in the temporary folder.
std::optional<std::string> FileBytes(const std::string& path);
std::string TempPath(const std::string& name);

// tavelin.exe run with arguments: its exit code and what it printed. unixEnv as for Tavelin.
struct RunResult {
    std::optional<DWORD> code;
    std::string output;
};
RunResult RunTavelin(const std::string& args, const testsupport::Env& unixEnv = {});

class Tavelin {
  public:
    // unixEnv: variables for Wine itself, such as LC_ALL for the system locale.
    explicit Tavelin(const testsupport::Env& unixEnv = {});

    // Waits for the main window ("Tavelin 2.0") with its lists filled; nullptr on time-out.
    HWND Main(DWORD timeoutMs = 15000);
    // A visible top-level window of this process with exactly this title, or nullptr.
    HWND FindWindowTitled(const std::string& title, DWORD timeoutMs) const;
    DWORD Pid() const { return process_.Pid(); }
    std::optional<DWORD> Wait(DWORD timeoutMs) { return process_.Wait(timeoutMs); }
    // Clicks a button of the program's message box and returns the box's text ("": no box).
    std::string Answer(int button);

    // Row r's list: item texts (UTF-8), selection, enabled state.
    std::vector<std::string> Items(int row);
    int Selection(int row) { return int(::SendMessageW(ComboEx(row), CB_GETCURSEL, 0, 0)); }
    std::string SelectedText(int row); // "": none
    bool ListEnabled(int row) { return ::IsWindowEnabled(ComboEx(row)); }
    bool NoticeVisible(int row);
    // Keyboard input to the list: the next item down.
    void PressDown(int row);
    // Opens row's list with a click and clicks the item whose text begins with text; false when
    // the open list shows no such item.
    bool Pick(int row, const std::string& text);
    // F1 through the program's message loop.
    void PressF1();

    bool Enabled(int id) { return ::IsWindowEnabled(Control(id)); }
    bool Visible(int id) { return ::IsWindowVisible(Control(id)); }
    std::string Text(int id);
    // A real mouse click at the centre of control id, without waiting for what it starts.
    void Click(int id) { testsupport::ClickWindow(Control(id)); }
    // The id of the control that the mouse reaches at the centre of control id (0: none).
    int ControlAt(int id);
    // The cursor shown, and the text of a tool tip shown within a second (empty: none), while
    // the mouse rests on control id.
    HCURSOR CursorOver(int id);
    std::string ToolTipOver(int id);
    // A click on the window's close box.
    void CloseWindow();

  private:
    HWND Control(int id) { return ::GetDlgItem(Main(), id); }
    HWND ComboEx(int row);

    testsupport::ChildProcess process_;
    HWND main_ = nullptr;
};

// Every case starts and ends without a map or backup, and with the first-start help already seen.
class CleanLayout : public ::testing::Test {
  protected:
    void SetUp() override {
        TearDown();
        SetShowStartupInfo("0");
    }
    void TearDown() override {
        WriteLayoutValue(kMap, std::nullopt);
        WriteLayoutValue(kBackup, std::nullopt);
    }
};

} // namespace e2e
