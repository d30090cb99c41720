#include <gtest/gtest.h>

#include "core/KeyCatalogue.h"

// A rebuild keeps rows a reader holds in place; codes match as exact text.
TEST(KeyCatalogueTest, SelectionsByKeyNumberAndCode) {
    MKeys::BuildKeyCatalogue();
    const std::vector<const KeyOption*> held = KeyCatalogue().OfferedFor(kCapsLock);
    MKeys::BuildKeyCatalogue(); // a rebuild leaves rows a reader holds in place
    const KeyCatalogueTable& c = KeyCatalogue();
    EXPECT_EQ(held, c.OfferedFor(kCapsLock));
    EXPECT_EQ(held.back()->EN,
              c.Rows().back().EN); // read through a held row: ASan sees a freed one
    EXPECT_TRUE(!c.ById(15) && !c.ByCode("1D00") && !c.ByCode("2a00")); // codes: exact text
}
