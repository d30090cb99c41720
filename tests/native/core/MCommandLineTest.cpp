#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

#include "core/MCommandLine.h"
#include "core/CKeyRows.h"

using namespace MCommandLine;

namespace {

std::vector<std::string> Split(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

// "SET 0=7 1=3 restart", or a failure as "1 message".
std::string Describe(const std::variant<Command, Failure>& parsed) {
    if (const auto* failure = std::get_if<Failure>(&parsed))
        return std::to_string(failure->exitCode) + " " + failure->message;
    const Command& command = std::get<Command>(parsed);
    const char* names[] = {"WINDOW", "USAGE", "STATUS", "SET", "RESTORE", "EXPORT", "CHECK"};
    std::string text = names[static_cast<int>(command.action)];
    for (const KeyChoice& choice : command.choices)
        text += " " + std::to_string(choice.row) + "=" + std::to_string(choice.optionId);
    return text + (command.file.empty() ? "" : " " + command.file) +
           (command.restart ? " restart" : "") + (command.restartCodes ? " codes" : "");
}

} // namespace

// Usage errors without their hint " (usage: tavelin /?)"; an unknown switch: e2e.
TEST(CommandLineTest, Parse) {
    const std::pair<const char*, const char*> cases[] = {
        {"/STATUS /?", "USAGE"},
        {"/Set SCROLL=webSearch /restart", "SET 2=14 restart"},
        {"/export a=b.reg", "EXPORT a=b.reg"},
        {"/restartcodes /restore /RESTART", "RESTORE restart codes"},
        {"/check insert=Mute", "CHECK 1=11"},
        {"-status CAPSLOCK=TAB", "WINDOW"},
        {"/status -status", "1 Expected KEY=OPTION, not: -status"},
        {"/restart CAPSLOCK=TAB",
         "1 Switch missing: /status, /set, /restore, /check, /export or /?"},
        {"/status /check", "1 Only one of /status, /set, /restore, /check, /export may be given"},
        {"/status CAPSLOCK=TAB", "1 Unexpected argument: CAPSLOCK=TAB"},
        {"/export x.reg /restart", "1 /restart goes only with /set or /restore"},
        {"/set", "1 /set needs at least one KEY=OPTION"},
        {"/status /restartcodes", "1 /restartcodes goes only with /set or /restore"},
        {"/set SHIFT=TAB", "1 Unknown key: SHIFT (keys: CAPSLOCK, INSERT, SCROLL)"},
        {"/set CAPSLOCK=7x", "1 Unknown option: 7x"},
        {"/set capslock=7 CAPSLOCK=7", "1 Key named twice: CAPSLOCK"},
        {"/export capslock=TAB", "1 File name missing after /export"},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(Describe(Parse(Split(line), Language::English)),
                  expected + std::string(*expected == '1' ? " (usage: tavelin /?)" : ""))
            << line;
    EXPECT_EQ(Describe(Parse(Split("/set CAPSLOCK=TAB INSERT=X"), Language::German)),
              "1 Unbekannte Funktion: X (Aufruf: tavelin /?)");
}

// The /status lines, /check's every differing key in the order named, the entries written, or
// the refusal (nothing changed, also the choice before the refused one).
TEST(CommandLineTest, AgainstTheMapFound) {
    // clang-format off
    const struct {
        const char* found;
        const char* line;
        std::string answer;
    } cases[] = {
        // Keys not named keep their entries, a key sending itself included.
        {.found = "52E052E01D003800", .line = "/set CAPSLOCK=LSHIFT",
         .answer = "52E052E01D0038002A003A00"},
        {.found = "0F003A002A003A00", .line = "/set CAPSLOCK=APP",
         .answer = "2 CAPSLOCK is locked (new codes 0F00 2A00). Nothing was written."},
        {.found = "", .line = "/set CAPSLOCK=TAB SCROLL=DISABLED",
         .answer = "2 DISABLED is not offered for SCROLL. Nothing was written."},
        {.found = "2A003A0", .line = "/status", .answer = "MAP=NOT WELL FORMED\r\nBACKUP=NO\r\n"},
        {.found = "2A003A00", .line = "/check SCROLL=MUTE CAPSLOCK=8 INSERT=1", .answer =
             "1 SCROLL has the function SCROLL, not MUTE.\r\nCAPSLOCK has the function LSHIFT, "
             "not TAB.\r\n"},
        {.found = "2A003A00", .line = "/check CAPSLOCK=LSHIFT",
         .answer = "0 The keys have these functions.\r\n"},
        {.found = "2A003A0", .line = "/check CAPSLOCK=8",
         .answer = "2 The stored Scancode Map is not well formed.\r\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        CKeyRows rows(MKeys::Catalogue(), c.found, true);
        const Command command = std::get<Command>(Parse(Split(c.line), Language::English));
        if (command.action == Action::Status) {
            EXPECT_EQ(StatusText(rows, false), c.answer);
        } else if (command.action == Action::Check) {
            const CheckResult check = Check(command, rows, Language::English);
            EXPECT_EQ(std::to_string(check.exitCode) + " " + check.text, c.answer);
        } else if (const auto refusal = Apply(command, rows, Language::English)) {
            EXPECT_EQ(Describe(*refusal), c.answer);
            for (int row = 0; row < kKeyCount; ++row)
                EXPECT_EQ(rows.Selection(row), rows.Preselection(row)) << row;
        } else {
            EXPECT_EQ(rows.NewEntries(), c.answer);
        }
    }
}

// Byte for byte what regedit exports (measured with Wine's regedit); what stands in for the bytes
// of a value that is not binary or cannot be read.
TEST(CommandLineTest, RegFileAndStatusDetails) {
    using Kind = MRestartState::MapValue::Kind;
    EXPECT_EQ(
        StatusDetailText(MRestartState::State::No, {Kind::Other, {'a'}}, {Kind::Unreadable, {}}),
        "RESTART=NO\r\nMAPBYTES=NOT BINARY\r\nBACKUPBYTES=UNREADABLE\r\n");
    EXPECT_EQ(StatusDetailText(MRestartState::State::Pending, {Kind::Missing, {}},
                               {Kind::Binary, {0x2A, 0}}),
              "RESTART=PENDING\r\nMAPBYTES=NONE\r\nBACKUPBYTES=2A00\r\n");
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\"
                             "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout]\r\n";
    const std::pair<const char*, const char*> cases[] = {
        {"", "\"Scancode Map\"=hex:\r\n\r\n"},
        {"2A003A0021E052E020E0460000003A0021E052E020E0460000003A0021E052E0",
         "\"Scancode Map\"=hex:00,00,00,00,00,00,00,00,09,00,00,00,2a,00,3a,00,21,e0,52,e0,\\\r\n"
         "  20,e0,46,00,00,00,3a,00,21,e0,52,e0,20,e0,46,00,00,00,3a,00,21,e0,52,e0,00,\\\r\n"
         "  00,00,00\r\n\r\n"},
    };
    for (const auto& [entries, value] : cases)
        EXPECT_EQ(RegFileText(entries), head + value) << entries;
    // Outside the BMP; then overlong, a surrogate and cut short, each byte replaced.
    const std::pair<const char*, std::vector<std::uint8_t>> texts[] = {
        {"ä€\xF0\x9D\x84\x9E", {0xFF, 0xFE, 0xE4, 0x00, 0xAC, 0x20, 0x34, 0xD8, 0x1E, 0xDD}},
        {"\xF4\x8F\xBF\xBF\xF4\x90\x80\x80", // U+10FFFF, then one past the last character
         {0xFF, 0xFE, 0xFF, 0xDB, 0xFF, 0xDF, 0xFD, 0xFF, 0xFD, 0xFF, 0xFD, 0xFF, 0xFD, 0xFF}},
        {"\xC0\x80!\xED\xA0\x80\xC3",
         {0xFF, 0xFE, 0xFD, 0xFF, 0xFD, 0xFF, '!', 0, 0xFD, 0xFF, 0xFD, 0xFF, 0xFD, 0xFF, 0xFD,
          0xFF}},
    };
    for (const auto& [utf8, bytes] : texts)
        EXPECT_EQ(Utf16LeWithBom(utf8), bytes) << utf8;
}

// The usage fits an 80-column console, with CR LF line ends, and lists every option by name,
// number and function.
TEST(CommandLineTest, Usage) {
    for (const Language lang : {Language::English, Language::German}) {
        const std::string text = UsageText(lang);
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_TRUE(line.ends_with('\r')) << line;
            EXPECT_LE(Utf16LeWithBom(line).size(), 2u * 81) << line; // 79, BOM, CR
        }
        for (const KeyOption& option : MKeys::Catalogue().Rows()) {
            const std::string name = "\n  " + std::string(option.NAME) + " ";
            const std::size_t at = text.find(name), end = text.find('\r', at);
            const std::string row = at == std::string::npos ? "" : text.substr(at, end - at);
            EXPECT_NE(row.find(" " + std::to_string(option.ID) + " "), std::string::npos) << name;
            EXPECT_TRUE(row.ends_with(option.DisplayName(lang))) << name;
        }
    }
}

// Only a line with something after the program name goes to the shell's parser (in doubt: yes).
TEST(CommandLineTest, MayHaveArguments) {
    for (const std::wstring line : {L"", L"tavelin.exe  \t", L"\"C:\\Program Files\\tavelin.exe\" ",
                                    L"\"C:\\Program Files\\tavelin.exe"})
        EXPECT_FALSE(MayHaveArguments(line)) << testing::PrintToString(line);
    for (const std::wstring line : {L"tavelin.exe /status", L"\"tavelin\".exe", L" tavelin.exe"})
        EXPECT_TRUE(MayHaveArguments(line)) << testing::PrintToString(line);
}
