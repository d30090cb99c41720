#include <gtest/gtest.h>

#include "core/KeyCatalogue.h"

// Which options each key offers is the catalogue's data, not repeated here: the lists' lengths
// are checked end to end, and that ScrollLock is never turned off by the key rows.
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
