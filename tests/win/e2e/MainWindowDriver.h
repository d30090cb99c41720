// Drives a running tavelin.exe from outside as a person does, with the real mouse and keys.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
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

const char* const kLocale[] = {"en_US.UTF-8", "de_DE.UTF-8"}; // [german]
constexpr const char* kMap = "Scancode Map";
constexpr const char* kBackup = "TVLN Backup";
constexpr char kLayoutKey[] = "System\\CurrentControlSet\\Control\\Keyboard Layout";
constexpr char kSettingsKey[] = "Software\\Tavelin\\Settings";
const Value kHelpSeen = Bytes{'0', 0}; // the first-start flag: the help was shown
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

// A restart as the program sees it: the hardware description written anew, the record gone.
inline void NewStart() {
    constexpr char kDescription[] = "HARDWARE\\DESCRIPTION\\System";
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecordKey);
    const DWORD one = 1;
    ::SHSetValueA(HKEY_LOCAL_MACHINE, kDescription, "Tavelin test", REG_DWORD, &one, sizeof one);
    ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kDescription, "Tavelin test");
}

// A well-formed map holding these entries (8 hex digits each, blanks skipped).
inline Bytes MapOf(std::string entries) {
    std::erase(entries, ' ');
    Bytes map(12, 0);
    for (size_t i = 0; i + 1 < entries.size(); i += 2)
        map.push_back(std::uint8_t(std::stoul(entries.substr(i, 2), nullptr, 16)));
    map.resize(map.size() + 4);
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

// The traced entries as the Event Viewer shows them, "|" after each; another type is named.
inline std::string LoggedEntries(const std::string& output) {
    HMODULE exe = ::LoadLibraryExA("Z:" TAVELIN_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    std::string entries;
    for (size_t at = 0; (at = output.find("ReportEventW (", at)) != std::string::npos;) {
        unsigned long type = 0, id = 0;
        std::sscanf(output.c_str() + at, "ReportEventW (%*[^,],%lx,%*[^,],%lx", &type, &id);
        // An entry without text has no text line before the next call's.
        const size_t next = std::min(output.find("ReportEventW (", at + 1), output.size());
        const size_t quote = std::min(output.find("ReportEventW L\"", at), next);
        std::wstring text;
        for (at = quote == next ? quote : quote + 15; at < next && output[at] != '"'; ++at)
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

// /status's answer: the keys' lines, the backup, the restart's state and both values' bytes.
inline std::string Status(const std::string& keys, const std::string& backup,
                          const std::string& restart, const std::string& map,
                          const std::string& backupBytes) {
    return keys + "BACKUP=" + backup + "\r\nRESTART=" + restart + "\r\nMAPBYTES=" + map +
           "\r\nBACKUPBYTES=" + backupBytes + "\r\n";
}
const std::string kPlainKeys = "CAPSLOCK=CAPSLOCK\r\nINSERT=INSERT\r\nSCROLL=SCROLL\r\n",
                  kShiftKeys = "CAPSLOCK=LSHIFT\r\nINSERT=INSERT\r\nSCROLL=SCROLL\r\n",
                  kShiftBytes = "0000000000000000020000002A003A0000000000";

// tavelin.exe (or another build) run: its exit code, output, and that with Wine's own lines.
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

// While it lives, the layout key denies everyone these rights, as a locked-down Windows does.
struct DeniedLayoutKey {
    UniqueHkey key;
    BYTE saved[4096] = {};
    explicit DeniedLayoutKey(DWORD rights) {
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLayoutKey, 0, READ_CONTROL | WRITE_DAC, key.put());
        DWORD size = sizeof saved;
        ::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved, &size);
        PSECURITY_DESCRIPTOR sd = nullptr;
        const std::wstring sddl = L"D:(D;;" + std::to_wstring(rights) + L";;;WD)(A;;KA;;;WD)";
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), 1, &sd, nullptr);
        ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd);
        ::LocalFree(sd);
    }
    ~DeniedLayoutKey() { ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved); }
};

inline POINT CentreOf(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}
// The real mouse through the system's input queue, so that the window under it hears of it.
inline void MoveMouse(POINT at, bool click = false) {
    ::SetCursorPos(at.x, at.y);
    const LONG x = ::MulDiv(at.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1),
               y = ::MulDiv(at.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    const DWORD move = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    INPUT input[] = {{.type = INPUT_MOUSE, .mi = {.dx = x, .dy = y, .dwFlags = move}},
                     {.type = INPUT_MOUSE, .mi = {.dwFlags = MOUSEEVENTF_LEFTDOWN}},
                     {.type = INPUT_MOUSE, .mi = {.dwFlags = MOUSEEVENTF_LEFTUP}}};
    ::SendInput(click ? 3 : 1, input, sizeof(INPUT));
}
// Real keys to the window in front: "Tab", "Shift+Tab", "Alt+S"; each inside the one before.
inline void PressKeys(const std::string& keys) {
    const std::map<std::string, WORD> named = {
        {"Tab", VK_TAB},     {"Shift", VK_SHIFT}, {"Alt", VK_MENU},     {"Enter", VK_RETURN},
        {"Space", VK_SPACE}, {"F1", VK_F1},       {"Escape", VK_ESCAPE}};
    std::vector<INPUT> input;
    std::istringstream parts(keys);
    for (std::string part; std::getline(parts, part, '+');) {
        const WORD key = part.size() == 1 ? WORD(part[0]) : named.at(part);
        input.insert(input.begin() + input.size() / 2,
                     {{.type = INPUT_KEYBOARD, .ki = {.wVk = key}},
                      {.type = INPUT_KEYBOARD, .ki = {.wVk = key, .dwFlags = KEYEVENTF_KEYUP}}});
    }
    ::SendInput(UINT(input.size()), input.data(), sizeof(INPUT));
}

// The running program (its exit code and output as ChildProcess gives them) and its windows.
class Tavelin : public testsupport::ChildProcess {
  public:
    explicit Tavelin(const testsupport::Env& unixEnv) : ChildProcess(TAVELIN_EXE, "", unixEnv) {}

    // Waits for the main window ("Tavelin 2.0"), shown once its lists are filled; nullptr: none.
    HWND Main() { return main_ ? main_ : (main_ = FindWindowTitled("Tavelin 2.0", 15000)); }
    HWND FindWindowTitled(const std::string& title, DWORD timeoutMs) const {
        const std::wstring wide = MText::Utf8ToWide(title);
        return Pid() ? testsupport::FindTopLevel(Pid(), nullptr, wide.c_str(), timeoutMs) : nullptr;
    }
    // Clicks a button of the program's box, or kEnter presses Enter; its text ("": no box).
    static constexpr int kEnter = 0;
    int lastDefault = 0; // the default button of the last box answered, which Enter presses
    std::string Answer(int button) {
        const auto box = Pid() ? testsupport::FindMsgBox("Tavelin", Pid(), 5000) : std::nullopt;
        if (!box)
            return "";
        lastDefault = 0;
        for (HWND b = nullptr; (b = ::FindWindowExW(box->hwnd, b, L"Button", nullptr));)
            if ((::GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                lastDefault = ::GetDlgCtrlID(b);
        HWND pressed = button == kEnter ? nullptr : ::GetDlgItem(box->hwnd, button);
        if (pressed)
            MoveMouse(CentreOf(pressed), true);
        else if (button == kEnter && Activate(box->hwnd))
            PressKeys("Enter");
        else
            return box->text; // no such button, or the box did not come to the front
        testsupport::HandleMessagesUntil([&] { return !::IsWindow(box->hwnd); }, 5000);
        return box->text;
    }
    // Item texts and pictures (-1: another when selected), read through the program's memory.
    std::vector<std::string> Items(int row, std::vector<int>* pictures = nullptr) {
        const UniqueHandle process(
            ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, Pid()));
        struct Remote {
            COMBOBOXEXITEMW item;
            wchar_t text[512];
        } local{};
        auto* remote = static_cast<Remote*>(
            ::VirtualAllocEx(process.get(), nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
        std::vector<std::string> items;
        for (int i = 0; i < ::SendMessageW(ComboEx(row), CB_GETCOUNT, 0, 0); ++i) {
            local.item = {CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE, i, remote->text, 512};
            ::WriteProcessMemory(process.get(), remote, &local, sizeof(local), nullptr);
            ::SendMessageW(ComboEx(row), CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&remote->item));
            ::ReadProcessMemory(process.get(), remote, &local, sizeof(local), nullptr);
            items.push_back(MText::WideToUtf8(local.text));
            if (pictures)
                pictures->push_back(
                    local.item.iImage == local.item.iSelectedImage ? local.item.iImage : -1);
        }
        ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
        return items;
    }
    int Selection(int row) { return int(::SendMessageW(ComboEx(row), CB_GETCURSEL, 0, 0)); }
    // The item starting with text picked with the real mouse: one click opens, one takes it.
    bool Pick(int row, const std::string& text) {
        const std::vector<std::string> items = Items(row);
        const int index =
            int(std::ranges::find_if(items, [&](auto& i) { return i.starts_with(text); }) -
                items.begin());
        MoveMouse(CentreOf(Inner(row)), true);
        HWND list = testsupport::FindTopLevel(Pid(), L"ComboLBox", nullptr, 2000);
        RECT item{};
        if (!list ||
            ::SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) == LB_ERR)
            return false;
        ::MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&item), 2);
        MoveMouse({(item.left + item.right) / 2, (item.top + item.bottom) / 2}, true);
        return testsupport::HandleMessagesUntil(
            [&] { return !::IsWindowVisible(list) && Selection(row) == index; }, 2000);
    }
    // hwnd (default: the main window) in front, where real keys go; false when it did not come.
    bool Activate(HWND hwnd = nullptr) {
        hwnd = hwnd ? hwnd : Main();
        return testsupport::HandleMessagesUntil(
            [&] { return ::SetForegroundWindow(hwnd) && ::GetForegroundWindow() == hwnd; }, 5000);
    }
    // The main window's control that holds the focus (a list for its inner windows); 0: none.
    int Focused() {
        GUITHREADINFO info{sizeof(info)};
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(Main(), nullptr), &info);
        HWND control = info.hwndFocus;
        while (control && ::GetParent(control) != Main())
            control = ::GetParent(control);
        return control ? ::GetDlgCtrlID(control) : 0;
    }

    bool Visible(int id) { return ::IsWindowVisible(Control(id)); }
    // The cursor shown on control id after a real move onto it (the shape is set on moves only).
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
    // A click on the close box, the caption's last button.
    void CloseWindow() {
        TITLEBARINFO bar{sizeof(bar), {}, {}};
        ::GetTitleBarInfo(Main(), &bar);
        const RECT& r = bar.rcTitleBar;
        MoveMouse({r.right - ::GetSystemMetrics(SM_CXSIZE) / 2, (r.top + r.bottom) / 2}, true);
    }

    HWND ComboEx(int row) {
        return ::FindWindowExW(Control(IDC_CBOKEY_FIRST + row), nullptr, L"ComboBoxEx32", nullptr);
    }
    HWND Inner(int row) {
        return reinterpret_cast<HWND>(::SendMessageW(ComboEx(row), CBEM_GETCOMBOCONTROL, 0, 0));
    }
    HWND Control(int id) { return ::GetDlgItem(Main(), id); }

  private:
    HWND main_ = nullptr;
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
