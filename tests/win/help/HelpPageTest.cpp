#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AppError.h"
#include "help/HelpPage.h"
#include "help/HelpResource.h"

namespace {

// Tags nest and close, attribute quotes pair up, every '&' starts an entity: enough to tell a
// page that a browser reads as written from one that it has to repair.
::testing::AssertionResult WellFormed(const std::string& page) {
    std::vector<std::string> open;
    for (size_t i = 0; i < page.size(); ++i) {
        if (page[i] == '&' && page.find(';', i) > page.find_first_of(" <\n", i))
            return ::testing::AssertionFailure() << "bare '&' at " << i;
        if (page[i] != '<')
            continue;
        size_t end = page.find('>', i);
        if (end == std::string::npos)
            return ::testing::AssertionFailure() << "unclosed tag at " << i;
        std::string tag = page.substr(i + 1, end - i - 1);
        if (std::count(tag.begin(), tag.end(), '"') % 2 != 0)
            return ::testing::AssertionFailure() << "unpaired quote in <" << tag << ">";
        bool closing = !tag.empty() && tag[0] == '/';
        bool selfClosing = !tag.empty() && tag.back() == '/';
        std::string name = tag.substr(closing ? 1 : 0);
        name = name.substr(0, name.find_first_of(" /"));
        if (closing) {
            if (open.empty() || open.back() != name)
                return ::testing::AssertionFailure()
                       << "</" << name << "> closes <" << (open.empty() ? "" : open.back()) << ">";
            open.pop_back();
        } else if (!selfClosing) {
            open.push_back(name);
        }
        i = end;
    }
    if (!open.empty())
        return ::testing::AssertionFailure() << "<" << open.back() << "> never closed";
    return ::testing::AssertionSuccess();
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(HelpPage, OnlyTheFourScrollingKeysReachThePage) {
    struct Case {
        long code;
        bool passes;
        const char* key;
    } cases[] = {
        {33, true, "Page Up"}, {34, true, "Page Down"}, {38, true, "Up"},     {40, true, "Down"},
        {35, false, "End"},    {36, false, "Home"},     {37, false, "Left"},  {39, false, "Right"},
        {8, false, "Back"},    {9, false, "Tab"},       {13, false, "Enter"}, {116, false, "F5"},
        {32, false, "Space"},  {65, false, "A"},        {93, false, "Apps"},  {0, false, "none"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HelpPage::KeyPasses(c.code), c.passes) << c.key;
}

TEST(HelpPage, OnlyTheBlankPageLoadsAndWebAndMailLinksGoOutside) {
    using HelpPage::Navigation;
    struct Case {
        const wchar_t* url;
        Navigation expected;
    } cases[] = {
        {L"about:blank", Navigation::Allow},
        {L"ABOUT:Blank", Navigation::Allow},
        {L"about:blank?x", Navigation::Cancel},
        {L"about:blan", Navigation::Cancel},
        {L"https://tavelin.example.org", Navigation::OpenExternally},
        {L"HTTP://example.org/a?b=c", Navigation::OpenExternally},
        {L"mailto:info@tavelin.example.org", Navigation::OpenExternally},
        {L"http://", Navigation::Cancel},
        {L"httpx://example.org", Navigation::Cancel},
        {L"file:///C:/Windows/win.ini", Navigation::Cancel},
        {L"javascript:alert(1)", Navigation::Cancel},
        {L"res://ieframe.dll/navcancl.htm", Navigation::Cancel},
        {L"\\\\server\\share\\x.html", Navigation::Cancel},
        {L"", Navigation::Cancel},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HelpPage::ClassifyNavigation(c.url), c.expected)
            << std::string(c.url, c.url + wcslen(c.url));
}

TEST(HelpPage, CaptionPerLanguage) {
    EXPECT_EQ(HelpPage::Caption("DE").value_or("-"), "Tavelin 2.0.4 - Hilfe");
    EXPECT_EQ(HelpPage::Caption("EN").value_or("-"), "Tavelin 2.0.4 - Help");
    for (const char* other : {"de", "FR", ""})
        EXPECT_FALSE(HelpPage::Caption(other).has_value()) << other;
}

// The shipped bytes are Windows-1252 and come out right when that is the ANSI code page.
TEST(HelpPage, AssembledPagePerLanguage) {
    ASSERT_EQ(::GetACP(), 1252u) << "these checks assume the ANSI code page 1252";
    struct Case {
        const char* lang;
        const char* heading;
        const char* otherHeading;
        std::vector<std::string> decoded;
    } cases[] = {
        {"DE",
         "Wichtige Informationen",
         "Important information",
         {"ändert", "lässt", "möglich", "für", "Änderungen", "schließlich"}},
        {"EN", "Important information", "Wichtige Informationen", {"screwdriver"}},
    };
    std::string css = HelpResource::Text("CSS");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        std::string page =
            HelpPage::AssemblePage(css, HelpResource::Text(HelpPage::BodyResourceName(c.lang)));
        EXPECT_TRUE(WellFormed(page));
        EXPECT_EQ(Count(page, c.heading), 1u);
        EXPECT_EQ(Count(page, c.otherHeading), 0u);
        EXPECT_EQ(Count(page, "<li>"), 8u);
        EXPECT_EQ(Count(page, "background-color: 7A96DF"), 2u);
        EXPECT_EQ(Count(page, "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\"
                              "Keyboard Layout\\Scancode Map</span><br />"),
                  1u);
        EXPECT_EQ(Count(page, "{{"), 0u);
        EXPECT_EQ(Count(page, "href=\"https://tavelin.example.org\""), 1u);
        EXPECT_EQ(Count(page, "href=\"mailto:info@tavelin.example.org\""), 1u);
        for (const std::string& word : c.decoded)
            EXPECT_GE(Count(page, word), 1u) << word;
    }
    // Stored as single bytes (ß = DF, ä = E4), not as UTF-8.
    std::string raw = HelpResource::Bytes("HLP_DE");
    EXPECT_NE(raw.find("schlie\xDF"
                       "lich"),
              std::string::npos);
    EXPECT_EQ(raw.find("\xC3"), std::string::npos);
}

TEST(HelpPage, MissingResourceRaises326) {
    try {
        HelpResource::Bytes("HLP_FR");
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), 326);
        EXPECT_NE(e.Description().find("HLP_FR"), std::string::npos);
    }
}
