#include "e2e/MainWindowDriver.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <fstream>
#include <sstream>

#include "ui/main/FMainIds.h"
#include "win32/Handles.h"
#include "support/Mouse.h"
#include "support/MsgBoxWatcher.h"
#include "win32/Text.h"

namespace e2e {

namespace {

constexpr char kLayoutKey[] = "System\\CurrentControlSet\\Control\\Keyboard Layout\\";
constexpr char kSettingsKey[] = "Software\\Tavelin\\Settings";

template <typename Pred> bool WaitFor(DWORD timeoutMs, Pred pred) {
    for (DWORD start = ::GetTickCount(); !pred(); ::Sleep(20))
        if (::GetTickCount() - start >= timeoutMs)
            return false;
    return true;
}

} // namespace

Bytes FromHex(std::string hex) {
    std::erase(hex, ' ');
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes MapOf(const std::vector<std::string>& entries) {
    std::string body;
    for (const auto& e : entries)
        body += e;
    char count[9];
    snprintf(count, sizeof count, "%02X000000", static_cast<unsigned>(body.size() / 8 + 1));
    return FromHex("0000000000000000" + std::string(count) + body + "00000000");
}

Value ReadLayoutValue(const char* name) {
    Bytes bytes(4096);
    DWORD size = static_cast<DWORD>(bytes.size());
    if (::SHGetValueA(HKEY_LOCAL_MACHINE, kLayoutKey, name, nullptr, bytes.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

void WriteLayoutValue(const char* name, const Value& value) {
    if (value)
        ::SHSetValueA(HKEY_LOCAL_MACHINE, kLayoutKey, name, REG_BINARY, value->data(),
                      static_cast<DWORD>(value->size()));
    else
        ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayoutKey, name);
}

void SetShowStartupInfo(const std::optional<std::string>& value) {
    if (value)
        ::SHSetValueA(HKEY_CURRENT_USER, kSettingsKey, "ShowStartupInfo", REG_SZ, value->c_str(),
                      static_cast<DWORD>(value->size() + 1));
    else
        ::SHDeleteValueA(HKEY_CURRENT_USER, kSettingsKey, "ShowStartupInfo");
}

std::optional<std::string> ShowStartupInfo() {
    char text[64] = {};
    DWORD size = sizeof(text) - 1;
    if (::SHGetValueA(HKEY_CURRENT_USER, kSettingsKey, "ShowStartupInfo", nullptr, text, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::string(text);
}

std::optional<std::string> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string TempPath(const std::string& name) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    return temp + name;
}

RunResult RunTavelin(const std::string& args, const testsupport::Env& unixEnv) {
    testsupport::ChildProcess child(TAVELIN_EXE, args, unixEnv);
    RunResult run;
    run.code = child.Wait(20000);
    run.output = child.Output();
    return run;
}

Tavelin::Tavelin(const testsupport::Env& unixEnv) : process_(TAVELIN_EXE, "", unixEnv) {}

HWND Tavelin::FindWindowTitled(const std::string& title, DWORD timeoutMs) const {
    return testsupport::FindTopLevel(Pid(), nullptr, Utf8ToWide(title).c_str(), timeoutMs);
}

std::string Tavelin::Answer(int button) {
    auto box = testsupport::FindMsgBox("Tavelin", Pid(), 5000);
    if (!box)
        return "";
    testsupport::ClickWindow(::GetDlgItem(box->hwnd, button));
    WaitFor(5000, [&] { return !::IsWindow(box->hwnd); });
    return box->text;
}

HWND Tavelin::Main(DWORD timeoutMs) {
    if (main_)
        return main_;
    HWND hwnd = FindWindowTitled("Tavelin 2.0", timeoutMs);
    if (!hwnd)
        return nullptr;
    main_ = hwnd;
    // The window shows once its load handler has filled every list.
    for (int row = 0; row < 3; ++row)
        if (!ComboEx(row) || ::SendMessageW(ComboEx(row), CB_GETCOUNT, 0, 0) <= 0)
            return main_ = nullptr;
    return main_;
}

HWND Tavelin::ComboEx(int row) {
    return ::FindWindowExW(::GetDlgItem(main_, IDC_CBOKEY_FIRST + row), nullptr, L"ComboBoxEx32",
                           nullptr);
}

std::vector<std::string> Tavelin::Items(int row) {
    HWND combo = ComboEx(row);
    const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    UniqueHandle process(
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, Pid()));
    // The item record and its text buffer live in the driven process: the message carries
    // pointers.
    constexpr int kChars = 512;
    struct Remote {
        COMBOBOXEXITEMW item;
        wchar_t text[kChars];
    };
    auto* remote = static_cast<Remote*>(
        ::VirtualAllocEx(process.get(), nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i) {
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT;
        item.iItem = i;
        item.pszText = remote->text;
        item.cchTextMax = kChars;
        ::WriteProcessMemory(process.get(), &remote->item, &item, sizeof(item), nullptr);
        ::SendMessageW(combo, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&remote->item));
        wchar_t text[kChars + 1] = {};
        ::ReadProcessMemory(process.get(), remote->text, text, sizeof(remote->text), nullptr);
        items.push_back(WideToUtf8(text));
    }
    ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return items;
}

std::string Tavelin::SelectedText(int row) {
    const int selection = Selection(row);
    return selection < 0 ? std::string() : Items(row).at(static_cast<size_t>(selection));
}

bool Tavelin::NoticeVisible(int row) {
    return Visible(IDC_LBDISABLED_FIRST + row) && Visible(IDC_IMGDISABLED_FIRST + row);
}

void Tavelin::PressDown(int row) {
    HWND inner = reinterpret_cast<HWND>(::SendMessageW(ComboEx(row), CBEM_GETCOMBOCONTROL, 0, 0));
    auto press = [inner](WPARAM key) {
        ::SendMessageW(inner, WM_KEYDOWN, key, 1);
        ::SendMessageW(inner, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
    };
    // The lists use the extended keyboard interface: Down opens the list, the next Down moves
    // to the following item, Enter takes it.
    press(VK_DOWN);
    press(VK_DOWN);
    press(VK_RETURN);
}

bool Tavelin::Pick(int row, const std::string& text) {
    const std::vector<std::string> items = Items(row);
    int index = 0;
    while (index < static_cast<int>(items.size()) && !items[index].starts_with(text))
        ++index;
    HWND inner = reinterpret_cast<HWND>(::SendMessageW(ComboEx(row), CBEM_GETCOMBOCONTROL, 0, 0));
    testsupport::ClickWindow(inner);
    HWND list = testsupport::FindTopLevel(Pid(), L"ComboLBox", nullptr, 2000);
    RECT item{}, shown{};
    if (!list || index == static_cast<int>(items.size()) ||
        ::SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) == LB_ERR)
        return false;
    // Only an item the open list shows can be clicked.
    ::GetClientRect(list, &shown);
    POINT centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    if (!::PtInRect(&shown, centre))
        return false;
    ::ClientToScreen(list, &centre);
    testsupport::ClickMouse(centre);
    return WaitFor(2000, [&] { return !::IsWindowVisible(list) && Selection(row) == index; });
}

void Tavelin::PressF1() {
    ::PostMessageW(Main(), WM_KEYDOWN, VK_F1, 1);
    ::PostMessageW(Main(), WM_KEYUP, VK_F1, 1 | (1u << 30) | (1u << 31));
}

std::string Tavelin::Text(int id) {
    wchar_t text[512] = {};
    ::GetWindowTextW(Control(id), text, 512);
    return WideToUtf8(text);
}

int Tavelin::ControlAt(int id) {
    return ::GetDlgCtrlID(::WindowFromPoint(testsupport::CentreOf(Control(id))));
}

HCURSOR Tavelin::CursorOver(int id) {
    // A real move onto the control: the cursor shape is set again only when the mouse moves.
    POINT centre = testsupport::CentreOf(Control(id));
    testsupport::MoveMouse({centre.x + 1, centre.y + 1});
    ::Sleep(50);
    testsupport::MoveMouse(centre);
    ::Sleep(200);
    CURSORINFO info{};
    info.cbSize = sizeof(info);
    ::GetCursorInfo(&info);
    return info.hCursor;
}

std::string Tavelin::ToolTipOver(int id) {
    // From elsewhere onto the control, as a person's mouse arrives.
    testsupport::MoveMouse(testsupport::CentreOf(Main()));
    ::Sleep(100);
    testsupport::MoveMouse(testsupport::CentreOf(Control(id)));
    HWND tip = testsupport::FindTopLevel(Pid(), TOOLTIPS_CLASSW, nullptr, 1000);
    return tip ? testsupport::TextOf(tip) : std::string();
}

void Tavelin::CloseWindow() {
    TITLEBARINFO bar{};
    bar.cbSize = sizeof(bar);
    ::GetTitleBarInfo(Main(), &bar);
    // The close box is the caption's last button.
    const RECT& caption = bar.rcTitleBar;
    testsupport::ClickMouse(
        {caption.right - ::GetSystemMetrics(SM_CXSIZE) / 2, (caption.top + caption.bottom) / 2});
}

} // namespace e2e
