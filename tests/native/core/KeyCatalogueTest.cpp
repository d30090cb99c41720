#include <gtest/gtest.h>

#include "core/KeyCatalogue.h"

// Codes match as exact text; numbers past the table name nothing.
TEST(KeyCatalogueTest, LookupsFindOnlyExactEntries) {
    const KeyCatalogueTable& c = KeyCatalogue();
    EXPECT_EQ(c.ById(15), nullptr);
    EXPECT_EQ(c.ByCode("1D00"), nullptr);
    EXPECT_EQ(c.ByCode("2a00"), nullptr);
    EXPECT_EQ(c.ByCode("2A00")->NAME, "LSHIFT");
}

// German on the five German system locales only, English on every other.
TEST(LanguageTest, GermanOnlyOnGermanSystemLocales) {
    for (const std::uint32_t lcid : {1031u, 2055u, 3079u, 4103u, 5127u})
        EXPECT_EQ(LanguageOfLocale(lcid), Language::German) << lcid;
    for (const std::uint32_t lcid : {1033u, 2067u, 0u})
        EXPECT_EQ(LanguageOfLocale(lcid), Language::English) << lcid;
}
