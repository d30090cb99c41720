#include <gtest/gtest.h>

#include "core/KeyCatalogue.h"

TEST(KeyCatalogueTest, SelectionsByKeyNumberAndCode) {
    MKeys::BuildKeyCatalogue();
    const std::vector<const KeyOption*> held = KeyCatalogue().OfferedFor(kCapsLock);
    MKeys::BuildKeyCatalogue(); // a rebuild leaves rows a reader holds in place
    const KeyCatalogueTable& c = KeyCatalogue();
    EXPECT_EQ(held, c.OfferedFor(kCapsLock));
    EXPECT_EQ(held.back()->EN,
              c.Rows().back().EN); // read through a held row: ASan sees a freed one
    const std::pair<std::int32_t, std::vector<std::int32_t>> offered[] = {
        {kCapsLock, {0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        {kInsert, {1, 3, 4, 9, 10, 11, 12, 13, 14}},
        {kScrollLock, {2, 4, 9, 10, 11, 12, 13, 14}},
    };
    for (const auto& [key, ids] : offered) {
        std::vector<std::int32_t> found;
        for (const KeyOption* row : c.OfferedFor(key))
            found.push_back(row->ID);
        EXPECT_EQ(found, ids) << key;
    }
    EXPECT_EQ(c.ById(3)->CODE, "0000");
    EXPECT_EQ(c.ByCode("2A00")->ID, 7);
    EXPECT_TRUE(!c.ById(15) && !c.ByCode("1D00") && !c.ByCode("2a00")); // codes: exact text
    EXPECT_EQ(c.ById(10)->DisplayName("DE"), "Arbeitsplatz \xC3\xB6"
                                             "ffnen");
    EXPECT_EQ(c.ById(10)->DisplayName("EN"), "My Computer");
}
