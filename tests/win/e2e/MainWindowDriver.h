// Drives a running tavelin.exe from outside as a person does: finds its windows by title, reads
// the key lists across the process boundary, moves and clicks the real mouse (headless under
// Wine's null driver too), presses keys and answers its boxes by clicking their buttons.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <sddl.h>
#include <shlwapi.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/MsgBoxWatcher.h"
#include "ui/main/FMainIds.h"
#include "win32/MText.h"

#include <gtest/gtest.h>

namespace e2e {

using Bytes = std::vector<std::uint8_t>;
using Value = std::optional<Bytes>;
using testsupport::Scaled;

// The two values under the keyboard layout key that the program reads and writes, and the
// per-user first-start flag ("0": the help was shown).
constexpr const char* kMap = "Scancode Map";
constexpr const char* kBackup = "TVLN Backup";
constexpr char kLayoutKey[] = "System\\CurrentControlSet\\Control\\Keyboard Layout";
constexpr char kSettingsKey[] = "Software\\Tavelin\\Settings";
const Value kHelpSeen = Bytes{'0', 0};
// Tavelin's record of the map in effect at this start, in a volatile key.
constexpr char kRecordKey[] = "SYSTEM\\CurrentControlSet\\Control\\Tavelin";
inline bool RecordExists() {
    UniqueHkey key;
    return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRecordKey, 0, KEY_READ, key.put()) == 0;
}

// A registry value's bytes (by default the keyboard layout's); writing nothing deletes it.
inline Value ReadValue(const char* name, HKEY root = HKEY_LOCAL_MACHINE,
                       const char* key = kLayoutKey) {
    Bytes bytes(4096);
    DWORD size = DWORD(bytes.size());
    if (::SHGetValueA(root, key, name, nullptr, bytes.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}
inline void WriteValue(const char* name, const Value& value, HKEY root = HKEY_LOCAL_MACHINE,
                       const char* key = kLayoutKey, DWORD type = REG_BINARY) {
    value ? void(::SHSetValueA(root, key, name, type, value->data(), DWORD(value->size())))
          : void(::SHDeleteValueA(root, key, name));
}

// What a restart does to what the program reads, within this one wineserver: the system's
// hardware description written anew (its last write is the start) and the volatile record gone.
// The map stored now is then the one in effect.
inline void NewStart() {
    constexpr char kDescription[] = "HARDWARE\\DESCRIPTION\\System";
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecordKey);
    const DWORD one = 1;
    ::SHSetValueA(HKEY_LOCAL_MACHINE, kDescription, "Tavelin test", REG_DWORD, &one, sizeof one);
    ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kDescription, "Tavelin test");
}

inline Bytes FromHex(std::string hex) { // blanks are skipped
    std::erase(hex, ' ');
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(std::uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}
// A well-formed map holding these entries (8 hex digits each).
inline Bytes MapOf(const std::string& entries) {
    Bytes map = FromHex("0000000000000000 00000000" + entries + "00000000");
    map[8] = std::uint8_t(map.size() / 4 - 3);
    return map;
}

// A file's bytes, nothing when it does not exist.
inline std::optional<std::string> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::optional(std::string(std::istreambuf_iterator<char>(in), {})) : std::nullopt;
}
inline std::string TempPath(const std::string& name) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    return temp + name;
}

// Wine stores no event-log entries; with this WINEDEBUG it traces each one's type and ID, then
// its text (non-ASCII as \xxxx).
const std::pair<const std::string, std::string> kLogTrace = {"WINEDEBUG",
                                                             "-all,fixme+advapi,+eventlog"};

// The entries a run traced as the Event Viewer shows them, "|" after each: the program's message
// table renders each ID with its text; a type other than information is named.
inline std::string LoggedEntries(const std::string& output) {
    HMODULE exe = ::LoadLibraryExA("Z:" TAVELIN_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    std::string entries;
    for (size_t at = 0; (at = output.find("ReportEventW (", at)) != std::string::npos;) {
        unsigned long type = 0, id = 0;
        std::sscanf(output.c_str() + at, "ReportEventW (%*[^,],%lx,%*[^,],%lx", &type, &id);
        std::wstring text;
        for (at = output.find("ReportEventW L\"", at) + 15; output[at] != '"'; ++at)
            if (output[at] != '\\')
                text += wchar_t(output[at]);
            else if (std::isxdigit(static_cast<unsigned char>(output[at + 1]))) {
                text += wchar_t(std::stoul(output.substr(at + 1, 4), nullptr, 16));
                at += 4;
            } else
                text += wchar_t(output[++at]);
        const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
        wchar_t shown[1024] = L"no message";
        ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe, id, 0,
                         shown, 1024, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
        entries +=
            (type == EVENTLOG_INFORMATION_TYPE ? "" : "type " + std::to_string(type) + ": ") +
            MText::WideToUtf8(shown) + "|";
    }
    ::FreeLibrary(exe);
    return entries;
}

// tavelin.exe (or another build of it) run with arguments: its exit code, what it printed, and
// that with Wine's own lines.
struct RunResult {
    std::optional<DWORD> code;
    std::string output, all;
};
inline RunResult RunTavelin(const std::string& args, const testsupport::Env& unixEnv = {},
                            const char* exe = TAVELIN_EXE) {
    testsupport::ChildProcess child(exe, args, unixEnv);
    RunResult run{child.Wait(20000), {}, child.Output()}; // in this order: Wait reads the output
    std::istringstream lines(run.all);
    for (std::string line; std::getline(lines, line);)
        if (line.find(":fixme:") == std::string::npos && line.find(":trace:") == std::string::npos)
            run.output += line + "\n";
    return run;
}

// While it lives, the keyboard layout key's access list denies everyone these rights, so that
// the program's registry calls fail as on a locked-down Windows (Wine enforces a denying entry).
struct DeniedLayoutKey {
    BYTE saved[4096] = {};
    explicit DeniedLayoutKey(DWORD rights) {
        DWORD size = sizeof saved;
        ::RegGetKeySecurity(Open().get(), DACL_SECURITY_INFORMATION, saved, &size);
        PSECURITY_DESCRIPTOR sd = nullptr;
        const std::wstring sddl = L"D:(D;;" + std::to_wstring(rights) + L";;;WD)(A;;KA;;;WD)";
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), 1, &sd, nullptr);
        ::RegSetKeySecurity(Open().get(), DACL_SECURITY_INFORMATION, sd);
        ::LocalFree(sd);
    }
    ~DeniedLayoutKey() { ::RegSetKeySecurity(Open().get(), DACL_SECURITY_INFORMATION, saved); }
    static UniqueHkey Open() {
        UniqueHkey key;
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLayoutKey, 0, READ_CONTROL | WRITE_DAC, key.put());
        return key;
    }
};

// The real mouse: the cursor moved through the system's input queue, so that the window under it
// hears of it, then the left button pressed and released there.
inline POINT CentreOf(HWND hwnd) {
    RECT r{};
    ::GetClientRect(hwnd, &r);
    POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ClientToScreen(hwnd, &centre);
    return centre;
}
inline void MoveMouse(POINT at) {
    ::SetCursorPos(at.x, at.y);
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = ::MulDiv(at.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = ::MulDiv(at.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &move, sizeof(move));
}
inline void ClickMouse(POINT at) {
    MoveMouse(at);
    INPUT press[2] = {};
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, press, sizeof(INPUT));
}
inline void ClickWindow(HWND hwnd) {
    ClickMouse(CentreOf(hwnd));
}
// Real keys through the system's input queue, to the window in front: "Tab", "Shift+Tab",
// "Alt+S", "Enter", "Space", "F1", "Escape"; the modifier held around the key.
inline void PressKeys(const std::string& keys) {
    const std::pair<const char*, WORD> names[] = {
        {"Tab", VK_TAB},     {"Shift", VK_SHIFT}, {"Alt", VK_MENU},     {"Enter", VK_RETURN},
        {"Space", VK_SPACE}, {"F1", VK_F1},       {"Escape", VK_ESCAPE}};
    std::vector<WORD> held;
    std::istringstream parts(keys);
    for (std::string part; std::getline(parts, part, '+');) {
        WORD key = part.size() == 1 ? WORD(part[0]) : 0;
        for (const auto& [name, code] : names)
            key = part == name ? code : key;
        held.push_back(key);
    }
    std::vector<INPUT> input;
    for (size_t i = 0; i < 2 * held.size(); ++i) { // down in order, up in reverse order
        INPUT one{};
        one.type = INPUT_KEYBOARD;
        one.ki.wVk = i < held.size() ? held[i] : held[2 * held.size() - 1 - i];
        one.ki.dwFlags = i < held.size() ? 0 : KEYEVENTF_KEYUP;
        input.push_back(one);
    }
    ::SendInput(UINT(input.size()), input.data(), sizeof(INPUT));
}

// A point on the window's caption: its middle, or its close box, the last button.
inline POINT CaptionPoint(HWND window, bool closeBox) {
    TITLEBARINFO bar{sizeof(bar), {}, {}};
    ::GetTitleBarInfo(window, &bar);
    const RECT& r = bar.rcTitleBar;
    return {closeBox ? r.right - ::GetSystemMetrics(SM_CXSIZE) / 2 : (r.left + r.right) / 2,
            (r.top + r.bottom) / 2};
}

class Tavelin {
  public:
    // unixEnv: variables for Wine itself, such as LC_ALL for the system locale.
    explicit Tavelin(const testsupport::Env& unixEnv = {}, const char* exe = TAVELIN_EXE)
        : process_(exe, "", unixEnv) {}

    // Waits for the main window ("Tavelin 2.0"), shown once its lists are filled; nullptr: none.
    HWND Main() { return main_ ? main_ : (main_ = FindWindowTitled("Tavelin 2.0", 15000)); }
    // None at once when the program ended, also before it was seen.
    HWND FindWindowTitled(const std::string& title, DWORD timeoutMs) const {
        return Pid() ? testsupport::FindTopLevel(Pid(), nullptr, MText::Utf8ToWide(title).c_str(),
                                                 timeoutMs)
                     : nullptr;
    }
    DWORD Pid() const { return process_.Pid(); }
    std::optional<DWORD> Wait(DWORD timeoutMs) { return process_.Wait(timeoutMs); }
    std::string Output() { return process_.Output(); } // with Wine's messages; after Wait
    // For a failed wait: the process, or how it ended, and its visible top-level windows, each
    // marked when it does not answer within two seconds (a hung program).
    std::string Seen() {
        Found found{Pid(), "pid " + std::to_string(Pid())};
        if (const auto code = Wait(0))
            found.text += ", ended with " + std::to_string(*code) + ", output: " + Output();
        ::EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&found));
        return found.text;
    }
    // Clicks a button of the program's message box, or with kEnter presses Enter on it, and
    // returns the box's text ("": no box; a box without that button stays). Its default button
    // is kept for LastDefault.
    static constexpr int kEnter = 0;
    std::string Answer(int button) {
        auto box = Pid() ? testsupport::FindMsgBox("Tavelin", Pid(), 5000) : std::nullopt;
        lastDefault_ = 0;
        for (HWND b = nullptr; box && (b = ::FindWindowExW(box->hwnd, b, L"Button", nullptr));)
            if ((::GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                lastDefault_ = ::GetDlgCtrlID(b);
        if (!box || (button != kEnter && !::GetDlgItem(box->hwnd, button)))
            return box ? box->text : "";
        if (button == kEnter) {
            testsupport::HandleMessagesUntil(
                [&] {
                    return ::SetForegroundWindow(box->hwnd) && ::GetForegroundWindow() == box->hwnd;
                },
                5000);
            PressKeys("Enter");
        } else {
            ClickWindow(::GetDlgItem(box->hwnd, button));
        }
        testsupport::HandleMessagesUntil([&] { return !::IsWindow(box->hwnd); }, 5000);
        return box->text;
    }

    // The button shown as the default on the last box answered, which Enter presses (0: none).
    int LastDefault() const { return lastDefault_; }

    // The list's item texts, and into images each item's picture and its picture when selected,
    // read through memory in the program: the message carries pointers.
    std::vector<std::string> Items(int row, std::vector<std::pair<int, int>>* images = nullptr) {
        UniqueHandle process(
            ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, Pid()));
        struct Remote {
            COMBOBOXEXITEMW item;
            wchar_t text[512];
        };
        auto* remote = static_cast<Remote*>(
            ::VirtualAllocEx(process.get(), nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
        std::vector<std::string> items;
        for (int i = 0; i < ::SendMessageW(ComboEx(row), CB_GETCOUNT, 0, 0); ++i) {
            Remote local{{CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE, i, remote->text, 512},
                         {}};
            ::WriteProcessMemory(process.get(), remote, &local, sizeof(local), nullptr);
            ::SendMessageW(ComboEx(row), CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&remote->item));
            ::ReadProcessMemory(process.get(), remote, &local, sizeof(local), nullptr);
            items.push_back(MText::WideToUtf8(local.text));
            if (images)
                images->push_back({local.item.iImage, local.item.iSelectedImage});
        }
        ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
        return items;
    }
    int Selection(int row) { return int(::SendMessageW(ComboEx(row), CB_GETCURSEL, 0, 0)); }
    // The keyboard on the list: the next item down. The lists use the extended keyboard
    // interface: Down opens the list, the next Down moves to the following item, Enter takes it.
    void PressDown(int row) {
        for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN})
            Press(::SendMessageW, Inner(row), key);
    }
    // Opens row's list with a click and clicks the item whose text begins with text; false when
    // the list has no such item or the click did not select it.
    bool Pick(int row, const std::string& text) {
        const std::vector<std::string> items = Items(row);
        int index = 0;
        while (index < int(items.size()) && !items[index].starts_with(text))
            ++index;
        ClickWindow(Inner(row));
        HWND list = testsupport::FindTopLevel(Pid(), L"ComboLBox", nullptr, 2000);
        RECT item{};
        if (!list ||
            ::SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) == LB_ERR)
            return false;
        POINT centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
        ::ClientToScreen(list, &centre);
        ClickMouse(centre);
        return testsupport::HandleMessagesUntil(
            [&] { return !::IsWindowVisible(list) && Selection(row) == index; }, 2000);
    }
    // F1 through the program's message loop.
    void PressF1() { Press(::PostMessageW, Main(), VK_F1); }
    // The main window in front, where real keys go; false when it did not come.
    bool Activate() {
        return testsupport::HandleMessagesUntil(
            [&] { return ::SetForegroundWindow(Main()) && ::GetForegroundWindow() == Main(); },
            5000);
    }
    // The id of the main window's control that holds the focus, a list's for its inner windows;
    // 0 for none.
    int Focused() {
        GUITHREADINFO info{sizeof(info)};
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(Main(), nullptr), &info);
        HWND control = info.hwndFocus;
        while (control && ::GetParent(control) != Main())
            control = ::GetParent(control);
        return control ? ::GetDlgCtrlID(control) : 0;
    }

    bool Enabled(int id) { return ::IsWindowEnabled(Control(id)); }
    bool Visible(int id) { return ::IsWindowVisible(Control(id)); }
    std::string Text(int id) { return testsupport::TextOf(Control(id)); }
    void Click(int id) { ClickWindow(Control(id)); }
    // The control that the mouse reaches at the centre of control id.
    int ControlAt(int id) { return ::GetDlgCtrlID(::WindowFromPoint(CentreOf(Control(id)))); }
    // The cursor shown while the mouse rests on control id, after a real move onto it: the
    // cursor shape is set again only when the mouse moves.
    HCURSOR CursorOver(int id) {
        const POINT centre = CentreOf(Control(id));
        MoveMouse({centre.x + 1, centre.y + 1});
        ::Sleep(Scaled(50));
        MoveMouse(centre);
        ::Sleep(Scaled(200));
        CURSORINFO info{sizeof(info), 0, nullptr, {}};
        ::GetCursorInfo(&info);
        return info.hCursor;
    }
    // The text of a tool tip shown within a second (empty: none) once the mouse arrives on
    // control id from elsewhere, as a person's mouse does.
    std::string ToolTipOver(int id) {
        MoveMouse(CentreOf(Main()));
        ::Sleep(Scaled(100));
        MoveMouse(CentreOf(Control(id)));
        HWND tip = testsupport::FindTopLevel(Pid(), TOOLTIPS_CLASSW, nullptr, 1000);
        return tip ? testsupport::TextOf(tip) : std::string();
    }
    // A click on the window's close box, the caption's last button.
    void CloseWindow() { ClickMouse(CaptionPoint(Main(), true)); }

    HWND ComboEx(int row) {
        return ::FindWindowExW(::GetDlgItem(Main(), IDC_CBOKEY_FIRST + row), nullptr,
                               L"ComboBoxEx32", nullptr);
    }
    HWND Inner(int row) {
        return reinterpret_cast<HWND>(::SendMessageW(ComboEx(row), CBEM_GETCOMBOCONTROL, 0, 0));
    }
    HWND Control(int id) { return ::GetDlgItem(Main(), id); }

  private:
    struct Found {
        DWORD pid;
        std::string text;
    };
    static BOOL CALLBACK AddWindow(HWND hwnd, LPARAM param) {
        auto& found = *reinterpret_cast<Found*>(param);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner != found.pid || !::IsWindowVisible(hwnd))
            return TRUE;
        wchar_t cls[64] = {}, title[256] = {};
        ::GetClassNameW(hwnd, cls, 64);
        ::GetWindowTextW(hwnd, title, 256); // another process's: read, not sent
        const bool answers =
            ::SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
        found.text += ", window " + MText::WideToUtf8(cls) + " \"" + MText::WideToUtf8(title) +
                      "\"" + (answers ? "" : " not answering");
        return TRUE;
    }
    template <typename Send> static void Press(Send send, HWND to, WPARAM key) {
        send(to, WM_KEYDOWN, key, 1);
        send(to, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
    }

    testsupport::ChildProcess process_;
    HWND main_ = nullptr;
    int lastDefault_ = 0;
};

// Every case starts and ends without a map or backup, and with the first-start help already seen.
class CleanLayout : public ::testing::Test {
  protected:
    void SetUp() override {
        TearDown();
        WriteValue("ShowStartupInfo", kHelpSeen, HKEY_CURRENT_USER, kSettingsKey, REG_SZ);
    }
    void TearDown() override {
        WriteValue(kMap, std::nullopt);
        WriteValue(kBackup, std::nullopt);
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecordKey);
    }
};

} // namespace e2e
