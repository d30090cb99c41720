// Drives a running tavelin.exe from outside, as a user would: finds its windows by title, reads
// the key lists across the process boundary, selects with keyboard input or the mouse, clicks
// with the real mouse and answers its message boxes by clicking their buttons.
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
#include "support/Mouse.h"
#include "support/MsgBoxWatcher.h"
#include "ui/main/FMainIds.h"
#include "win32/Text.h"

#include <gtest/gtest.h>

namespace e2e {

using Bytes = std::vector<std::uint8_t>;
using Value = std::optional<Bytes>;

// The two values under the keyboard layout key that the program reads and writes, and the
// per-user first-start flag ("0": the help was shown).
constexpr const char* kMap = "Scancode Map";
constexpr const char* kBackup = "TVLN Backup";
constexpr char kLayoutKey[] = "System\\CurrentControlSet\\Control\\Keyboard Layout";
constexpr char kSettingsKey[] = "Software\\Tavelin\\Settings";
const Value kHelpSeen = Bytes{'0', 0};

// A registry value's bytes (by default the keyboard layout's), read and written with the real
// registry; writing nothing deletes it.
inline Value ReadValue(const char* name, HKEY root = HKEY_LOCAL_MACHINE,
                       const char* key = kLayoutKey) {
    Bytes bytes(4096);
    DWORD size = static_cast<DWORD>(bytes.size());
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

inline Bytes FromHex(std::string hex) { // blanks are skipped
    std::erase(hex, ' ');
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// A well-formed map holding these entries (8 hex digits each, blank-separated).
inline Bytes MapOf(std::string entries) {
    std::erase(entries, ' ');
    char count[9];
    snprintf(count, sizeof count, "%02X000000", static_cast<unsigned>(entries.size() / 8 + 1));
    return FromHex("0000000000000000" + std::string(count) + entries + "00000000");
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

// The writers' lock held by this thread as another Tavelin holds it (its name, owner and access
// list), or made first by someone else (sddl: that one's descriptor).
struct WriterLock {
    UniqueHandle mutex;
    explicit WriterLock(const wchar_t* sddl = nullptr) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            sddl ? sddl : L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &sd, nullptr);
        SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
        mutex.reset(::CreateMutexW(&sa, TRUE, L"Global\\Tavelin.KeyboardLayout.Writer"));
        ::LocalFree(sd);
    }
    ~WriterLock() { ::ReleaseMutex(mutex.get()); }
};

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
        ::RegSetKeySecurity(Open().get(), DACL_SECURITY_INFORMATION, rights ? sd : saved);
        ::LocalFree(sd);
    }
    ~DeniedLayoutKey() { ::RegSetKeySecurity(Open().get(), DACL_SECURITY_INFORMATION, saved); }
    static UniqueHkey Open() {
        UniqueHkey key;
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLayoutKey, 0, READ_CONTROL | WRITE_DAC, key.put());
        return key;
    }
};

// Wine stores no event-log entries; with this WINEDEBUG it traces each one's type and ID, then
// its text (non-ASCII as \xxxx).
const std::pair<const std::string, std::string> kLogTrace = {"WINEDEBUG",
                                                             "-all,fixme+advapi,+eventlog"};

// The information entries a run traced, each as the Event Viewer shows it: the program's message
// table renders the entry's ID with its text; "|" after each.
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
            else if (std::isxdigit(static_cast<unsigned char>(output[at + 1])))
                text += wchar_t(std::stoul(output.substr(at + 1, 4), nullptr, 16)), at += 4;
            else
                text += wchar_t(output[++at]);
        const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
        wchar_t shown[1024] = L"no message";
        ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe, id, 0,
                         shown, 1024, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
        entries +=
            (type == EVENTLOG_INFORMATION_TYPE ? "" : "type " + std::to_string(type) + ": ") +
            WideToUtf8(shown) + "|";
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

class Tavelin {
  public:
    // unixEnv: variables for Wine itself, such as LC_ALL for the system locale.
    explicit Tavelin(const testsupport::Env& unixEnv = {}, const char* exe = TAVELIN_EXE)
        : process_(exe, "", unixEnv) {}

    // Waits for the main window ("Tavelin 2.0"), shown once its lists are filled; nullptr: none.
    HWND Main() { return main_ ? main_ : (main_ = FindWindowTitled("Tavelin 2.0", 15000)); }
    // None at once when the program ended before it was seen.
    HWND FindWindowTitled(const std::string& title, DWORD timeoutMs) const {
        return Pid()
                   ? testsupport::FindTopLevel(Pid(), nullptr, Utf8ToWide(title).c_str(), timeoutMs)
                   : nullptr;
    }
    DWORD Pid() const { return process_.Pid(); }
    std::optional<DWORD> Wait(DWORD timeoutMs) { return process_.Wait(timeoutMs); }
    std::string Output() { return process_.Output(); } // with Wine's messages; after Wait
    // Clicks a button of the program's message box and returns the box's text ("": no box).
    std::string Answer(int button) {
        auto box = Pid() ? testsupport::FindMsgBox("Tavelin", Pid(), 5000) : std::nullopt;
        if (!box)
            return "";
        testsupport::ClickWindow(::GetDlgItem(box->hwnd, button));
        testsupport::HandleMessagesUntil([&] { return !::IsWindow(box->hwnd); }, 5000);
        return box->text;
    }

    std::vector<std::string> Items(int row) {
        UniqueHandle process(
            ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, Pid()));
        // The message carries pointers: the item record and its text live in the driven process.
        struct Remote {
            COMBOBOXEXITEMW item;
            wchar_t text[512];
        };
        auto* remote = static_cast<Remote*>(
            ::VirtualAllocEx(process.get(), nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
        std::vector<std::string> items;
        for (int i = 0; i < ::SendMessageW(ComboEx(row), CB_GETCOUNT, 0, 0); ++i) {
            Remote local{{CBEIF_TEXT, i, remote->text, 512}, {}};
            ::WriteProcessMemory(process.get(), remote, &local, sizeof(local), nullptr);
            ::SendMessageW(ComboEx(row), CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&remote->item));
            ::ReadProcessMemory(process.get(), remote, &local, sizeof(local), nullptr);
            items.push_back(WideToUtf8(local.text));
        }
        ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
        return items;
    }
    int Selection(int row) { return int(::SendMessageW(ComboEx(row), CB_GETCURSEL, 0, 0)); }
    std::string SelectedText(int row) { // "": none
        return Selection(row) < 0 ? std::string() : Items(row).at(size_t(Selection(row)));
    }
    bool ListEnabled(int row) { return ::IsWindowEnabled(ComboEx(row)); }
    // Keyboard input to the list: the next item down. The lists use the extended keyboard
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
        testsupport::ClickWindow(Inner(row));
        HWND list = testsupport::FindTopLevel(Pid(), L"ComboLBox", nullptr, 2000);
        RECT item{};
        if (!list ||
            ::SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) == LB_ERR)
            return false;
        POINT centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
        ::ClientToScreen(list, &centre);
        testsupport::ClickMouse(centre);
        return testsupport::HandleMessagesUntil(
            [&] { return !::IsWindowVisible(list) && Selection(row) == index; }, 2000);
    }
    // F1 through the program's message loop.
    void PressF1() { Press(::PostMessageW, Main(), VK_F1); }

    bool Enabled(int id) { return ::IsWindowEnabled(Control(id)); }
    bool Visible(int id) { return ::IsWindowVisible(Control(id)); }
    std::string Text(int id) { return testsupport::TextOf(Control(id)); }
    void Click(int id) { testsupport::ClickWindow(Control(id)); }
    // The control that the mouse reaches at the centre of control id.
    int ControlAt(int id) {
        return ::GetDlgCtrlID(::WindowFromPoint(testsupport::CentreOf(Control(id))));
    }
    // The cursor shown while the mouse rests on control id, after a real move onto it: the
    // cursor shape is set again only when the mouse moves.
    HCURSOR CursorOver(int id) {
        POINT centre = testsupport::CentreOf(Control(id));
        testsupport::MoveMouse({centre.x + 1, centre.y + 1});
        ::Sleep(testsupport::Scaled(50));
        testsupport::MoveMouse(centre);
        ::Sleep(testsupport::Scaled(200));
        CURSORINFO info{sizeof(info)};
        ::GetCursorInfo(&info);
        return info.hCursor;
    }
    // The text of a tool tip shown within a second (empty: none) once the mouse arrives on
    // control id from elsewhere, as a person's mouse does.
    std::string ToolTipOver(int id) {
        testsupport::MoveMouse(testsupport::CentreOf(Main()));
        ::Sleep(testsupport::Scaled(100));
        testsupport::MoveMouse(testsupport::CentreOf(Control(id)));
        HWND tip = testsupport::FindTopLevel(Pid(), TOOLTIPS_CLASSW, nullptr, 1000);
        return tip ? testsupport::TextOf(tip) : std::string();
    }
    // A click on the window's close box, the caption's last button.
    void CloseWindow() {
        TITLEBARINFO bar{sizeof(bar)};
        ::GetTitleBarInfo(Main(), &bar);
        const RECT& caption = bar.rcTitleBar;
        testsupport::ClickMouse({caption.right - ::GetSystemMetrics(SM_CXSIZE) / 2,
                                 (caption.top + caption.bottom) / 2});
    }

    HWND ComboEx(int row) {
        return ::FindWindowExW(::GetDlgItem(Main(), IDC_CBOKEY_FIRST + row), nullptr,
                               L"ComboBoxEx32", nullptr);
    }

  private:
    HWND Control(int id) { return ::GetDlgItem(Main(), id); }
    HWND Inner(int row) {
        return reinterpret_cast<HWND>(::SendMessageW(ComboEx(row), CBEM_GETCOMBOCONTROL, 0, 0));
    }
    template <typename Send> static void Press(Send send, HWND to, WPARAM key) {
        send(to, WM_KEYDOWN, key, 1);
        send(to, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
    }

    testsupport::ChildProcess process_;
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
    }
};

} // namespace e2e
