#include <gtest/gtest.h>

#include "core/Language.h"

// German on the five German system locales only, English on every other.
TEST(LanguageTest, GermanOnlyOnGermanSystemLocales) {
    for (const std::uint32_t lcid : {1031u, 2055u, 3079u, 4103u, 5127u})
        EXPECT_EQ(LanguageOfLocale(lcid), Language::German) << lcid;
    for (const std::uint32_t lcid : {1033u, 2057u, 0u})
        EXPECT_EQ(LanguageOfLocale(lcid), Language::English) << lcid;
}
