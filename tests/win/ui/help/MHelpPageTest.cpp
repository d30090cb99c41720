#include <gtest/gtest.h>

#include <windows.h>

#include "win32/MText.h"
#include "ui/help/MHelpPage.h"
#include "ui/help/MHelpResource.h"

// Web and mail links going outside: FHelp's link case.
TEST(MHelpPage, OnlyTheBlankPageLoads) {
    using MHelpPage::Navigation;
    for (const wchar_t* url : {L"about:blank", L"ABOUT:Blank"})
        EXPECT_EQ(MHelpPage::ClassifyNavigation(url), Navigation::Allow) << MText::WideToUtf8(url);
    for (const wchar_t* url : {L"about:blank?x", L"http://", L"file:///C:/Windows/win.ini"})
        EXPECT_EQ(MHelpPage::ClassifyNavigation(url), Navigation::Cancel) << MText::WideToUtf8(url);
}

// The shipped Windows-1252 bytes per language: its words, the shared style, no other language's
// heading, no placeholder; the page links exactly to the addresses the window opens (a link
// missing from the list would go nowhere).
TEST(MHelpPage, AssembledPagePerLanguage) {
    ASSERT_EQ(::GetACP(), 1252u) << "these checks assume the ANSI code page 1252";
    const std::pair<Language, std::vector<std::string>> cases[] = {
        {Language::German,
         {"Wichtige Informationen", "ändert", "lässt", "möglich", "Änderungen", "schließlich"}},
        {Language::English, {"Important information", "screwdriver"}}};
    for (const auto& [lang, words] : cases) {
        SCOPED_TRACE(LanguageCode(lang));
        const std::string page = MHelpPage::AssemblePage(
            MHelpResource::Text("CSS"), MHelpResource::Text(MHelpPage::BodyResourceName(lang)));
        for (const std::string& text : words)
            EXPECT_NE(page.find(text), std::string::npos) << text;
        EXPECT_NE(page.find("background-color: 7A96DF"), std::string::npos);
        EXPECT_EQ(page.find(cases[lang == Language::German].second[0]), std::string::npos);
        EXPECT_EQ(page.find("{{"), std::string::npos);
        std::vector<std::string> links;
        for (size_t at = 0; (at = page.find("href=\"", at + 1)) != std::string::npos;)
            links.push_back(page.substr(at + 6, page.find('"', at + 6) - at - 6));
        EXPECT_EQ(links, MHelpPage::PageLinks());
    }
}
