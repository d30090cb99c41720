#include <gtest/gtest.h>

#include "KeyCatalogue.h"

namespace {

std::vector<std::int32_t> IdsOfferedFor(std::int32_t keyType) {
    std::vector<std::int32_t> ids;
    for (const KeyOption* row : KeyCatalogue().OfferedFor(keyType))
        ids.push_back(row->ID);
    return ids;
}

} // namespace

TEST(KeyCatalogueTest, EachKeyIsOfferedItsOptionsInRowOrderDefaultFirst) {
    MKeys::BuildKeyCatalogue();
    EXPECT_EQ(IdsOfferedFor(kCapsLock),
              (std::vector<std::int32_t>{0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(IdsOfferedFor(kInsert), (std::vector<std::int32_t>{1, 3, 4, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(IdsOfferedFor(kScrollLock), (std::vector<std::int32_t>{2, 4, 9, 10, 11, 12, 13, 14}));
    EXPECT_TRUE(IdsOfferedFor(3).empty());
}

TEST(KeyCatalogueTest, RebuildKeepsFifteenRowsAndTheirAddresses) {
    MKeys::BuildKeyCatalogue();
    const KeyOption* mute = KeyCatalogue().ById(11);
    MKeys::BuildKeyCatalogue();
    ASSERT_EQ(KeyCatalogue().Rows().size(), 15u);
    EXPECT_EQ(KeyCatalogue().ById(11), mute);
    for (std::int32_t i = 0; i < 15; ++i)
        EXPECT_EQ(KeyCatalogue().Rows()[i].ID, i);
}

TEST(KeyCatalogueTest, SelectionsByNumberAndByCodeAndDisplayNames) {
    const KeyCatalogueTable& c = KeyCatalogue();
    EXPECT_EQ(c.ById(3)->CODE, "0000");
    EXPECT_EQ(c.ById(15), nullptr);
    EXPECT_EQ(c.ByCode("2A00")->ID, 7);
    EXPECT_EQ(c.ByCode("52E0")->ID, 1);
    EXPECT_EQ(c.ByCode("1D00"), nullptr);
    EXPECT_EQ(c.ByCode("2a00"), nullptr); // exact text
    EXPECT_EQ(c.ById(13)->DisplayName("DE"), c.ById(13)->DisplayName("EN"));
    EXPECT_EQ(c.ById(10)->DisplayName("DE"), "Arbeitsplatz \xC3\xB6"
                                             "ffnen");
}
