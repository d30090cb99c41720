#include <gtest/gtest.h>

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

// The page links only to the addresses the window opens (another would go nowhere).
TEST(MHelpPage, PageLinksAreTheOnesOpened) {
    for (Language lang : {Language::German, Language::English}) {
        const std::string page =
            MHelpPage::PageBody(MHelpResource::Text(MHelpPage::BodyResourceName(lang)));
        std::vector<std::string> links;
        for (size_t at = 0; (at = page.find("href=\"", at + 1)) != std::string::npos;)
            links.push_back(page.substr(at + 6, page.find('"', at + 6) - at - 6));
        EXPECT_EQ(links, MHelpPage::PageLinks()) << LanguageCode(lang);
    }
}
