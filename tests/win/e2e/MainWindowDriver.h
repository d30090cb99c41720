// Drives a running tavelin.exe from outside, as a user would: finds its windows by title, reads
// the key lists across the process boundary, selects with keyboard input or the mouse and clicks
// with the real mouse.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

#include <gtest/gtest.h>

namespace e2e {

// The two values under the keyboard layout key that the program reads and writes.
constexpr const char* kMap = "Scancode Map";
constexpr const char* kBackup = "TVLN Backup";

// The keyboard-layout key and its two values, read and written with the real registry.
using Bytes = std::vector<std::uint8_t>;
Bytes FromHex(const std::string& hex);
// A well-formed map holding these entries (8 hex digits each; an element may hold several).
Bytes MapOf(const std::vector<std::string>& entries);
// Clicks a button of a message box with the mouse and waits until the box is gone.
void Answer(HWND box, int button);
std::optional<Bytes> ReadLayoutValue(const char* name);
void WriteLayoutValue(const char* name, const Bytes& bytes);
void DeleteLayoutValue(const char* name);
// The per-user first-start flag; nullopt deletes it.
void SetShowStartupInfo(const std::optional<std::string>& value);
std::optional<std::string> ShowStartupInfo();

class Tavelin {
  public:
    // unixEnv: variables for Wine itself, such as LC_ALL for the system locale.
    explicit Tavelin(const std::map<std::string, std::string>& unixEnv = {});

    // Waits for the main window ("Tavelin 2.0") with its lists filled; nullptr on time-out.
    HWND Main(DWORD timeoutMs = 15000);
    // A top-level window of this process with exactly this title, or nullptr after timeoutMs.
    HWND FindWindowTitled(const std::string& title, DWORD timeoutMs) const;
    DWORD Pid() const { return process_.Pid(); }
    std::optional<DWORD> Wait(DWORD timeoutMs) { return process_.Wait(timeoutMs); }

    // Row r's list: item texts (UTF-8), selection, enabled state.
    std::vector<std::string> Items(int row);
    int Selection(int row);
    std::string SelectedText(int row);
    bool ListEnabled(int row);
    bool NoticeVisible(int row);
    // Keyboard input to the list: the next item down.
    void PressDown(int row);
    // Opens row's list with a click and clicks the item whose text begins with text; false when
    // the open list shows no such item.
    bool Pick(int row, const std::string& text);
    // F1 through the program's message loop.
    void PressF1();

    bool Enabled(int id);
    bool Visible(int id);
    std::string Text(int id);
    // A real mouse click at the centre of control id, without waiting for what it starts (a
    // message box, say).
    void Click(int id);
    // The id of the control that the mouse reaches at the centre of control id (0: none).
    int ControlAt(int id);
    // The cursor shown, and the text of a tool tip shown within a second (empty: none), while
    // the mouse rests on control id.
    HCURSOR CursorOver(int id);
    std::string ToolTipOver(int id);
    // A click on the window's close box.
    void CloseWindow();

  private:
    HWND Control(int id);
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
        DeleteLayoutValue(kMap);
        DeleteLayoutValue(kBackup);
    }
};

} // namespace e2e
