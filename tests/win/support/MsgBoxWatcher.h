// Finding, reading and closing message boxes from a test: the box of the code under test
// (this process or a child) is found by class and title on a second thread, so that no test
// ever leaves a box waiting.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <thread>

namespace testsupport {

struct MsgBoxInfo {
    HWND hwnd = nullptr;
    std::string title;    // UTF-8
    std::string text;     // UTF-8
    RECT rect{};          // screen coordinates
    HICON icon = nullptr; // comparable with LoadIcon(nullptr, IDI_...) in the same process only
};

// Waits up to timeoutMs for a visible message box (#32770) of process pid (0: this process)
// whose title equals title (empty: any title), then reads it.
std::optional<MsgBoxInfo> FindMsgBox(const std::string& title, DWORD pid = 0,
                                     DWORD timeoutMs = 5000);

// Presses a button of the box: IDOK, IDCANCEL, IDYES, IDNO, ...
void CloseMsgBox(HWND box, int button);

// Watches on a second thread for one box, records it and closes it with button.
class MsgBoxWatcher {
  public:
    MsgBoxWatcher(std::string title, int button, DWORD pid = 0, DWORD timeoutMs = 5000);
    ~MsgBoxWatcher();
    MsgBoxWatcher(const MsgBoxWatcher&) = delete;
    MsgBoxWatcher& operator=(const MsgBoxWatcher&) = delete;

    // Waits for the watching thread: the box seen, or nothing when none came in time.
    const std::optional<MsgBoxInfo>& Result();

  private:
    std::optional<MsgBoxInfo> result_;
    std::thread thread_;
};

} // namespace testsupport
