#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "win32/MText.h"
#include "ui/help/MHelpPage.h"
#include "ui/help/MHelpResource.h"

// Web and mail links going outside: FHelp's link case.
TEST(MHelpPage, OnlyTheBlankPageLoads) {
    using MHelpPage::Navigation;
    const std::pair<const wchar_t*, Navigation> cases[] = {
        {L"about:blank", Navigation::Allow},
        {L"ABOUT:Blank", Navigation::Allow},
        {L"about:blank?x", Navigation::Cancel},
        {L"http://", Navigation::Cancel},
        {L"file:///C:/Windows/win.ini", Navigation::Cancel},
    };
    for (const auto& [url, expected] : cases)
        EXPECT_EQ(MHelpPage::ClassifyNavigation(url), expected) << MText::WideToUtf8(url);
}

// The shipped Windows-1252 bytes per language; the page links exactly to the addresses the
// window opens (a link missing from the list would go nowhere).
TEST(MHelpPage, AssembledPagePerLanguage) {
    ASSERT_EQ(::GetACP(), 1252u) << "these checks assume the ANSI code page 1252";
    // Each language's words and the shared style; no other language's heading, no placeholder.
    struct Case {
        Language lang;
        std::vector<std::string> present;
        const char* absent;
    };
    const Case cases[] = {
        {.lang = Language::German,
         .present = {"Wichtige Informationen", "ändert", "lässt", "möglich", "Änderungen",
                     "schließlich"},
         .absent = "Important information"},
        {.lang = Language::English,
         .present = {"Important information", "screwdriver"},
         .absent = "Wichtige Informationen"},
    };
    for (auto [lang, present, absent] : cases) {
        const std::string page = MHelpPage::AssemblePage(
            MHelpResource::Text("CSS"), MHelpResource::Text(MHelpPage::BodyResourceName(lang)));
        present.push_back("background-color: 7A96DF");
        for (const std::string& text : present)
            EXPECT_NE(page.find(text), std::string::npos) << LanguageCode(lang) << ": " << text;
        EXPECT_EQ(page.find(absent), std::string::npos) << LanguageCode(lang);
        EXPECT_EQ(page.find("{{"), std::string::npos) << LanguageCode(lang);
        std::vector<std::string> links;
        for (size_t at = page.find("href=\""); at != std::string::npos;
             at = page.find("href=\"", at + 1))
            links.push_back(page.substr(at + 6, page.find('"', at + 6) - at - 6));
        EXPECT_EQ(links, MHelpPage::PageLinks()) << LanguageCode(lang);
    }
}
