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
    for (const wchar_t* url : {L"about:blank?x", L"http://"})
        EXPECT_EQ(MHelpPage::ClassifyNavigation(url), Navigation::Cancel) << MText::WideToUtf8(url);
}

// The shipped Windows-1252 bytes per language read as their words; the page links exactly to the
// addresses the window opens (a link missing from the list would go nowhere).
TEST(MHelpPage, PagePerLanguage) {
    ASSERT_EQ(::GetACP(), 1252u) << "these checks assume the ANSI code page 1252";
    const std::pair<Language, std::vector<std::string>> cases[] = {
        {Language::German, {"Ihre Änderungen", "schließlich"}},
        {Language::English, {"screwdriver"}}};
    for (const auto& [lang, words] : cases) {
        const std::string page =
            MHelpPage::PageBody(MHelpResource::Text(MHelpPage::BodyResourceName(lang)));
        for (const std::string& word : words)
            EXPECT_NE(page.find(word), std::string::npos) << word;
        std::vector<std::string> links;
        for (size_t at = 0; (at = page.find("href=\"", at + 1)) != std::string::npos;)
            links.push_back(page.substr(at + 6, page.find('"', at + 6) - at - 6));
        EXPECT_EQ(links, MHelpPage::PageLinks()) << LanguageCode(lang);
    }
}
