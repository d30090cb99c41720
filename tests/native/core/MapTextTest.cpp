#include <gtest/gtest.h>

#include "core/KeyCatalogue.h"
#include "core/MapText.h"

using namespace MapText;

// Well-formedness, counts and the first-entry edits are checked against a model by the seeded
// random test; here what it never feeds in: bad hex, bad keys, and the reasons for a lock.
TEST(MapTextTest, RefusedInputAndReadoutOfEachKey) {
    const KeyCatalogueTable& c = KeyCatalogue();
    EXPECT_EQ(BytesToHex(HexToBytes("00FF0a7B").value()), "00FF0A7B");
    EXPECT_FALSE(HexToBytes("ABC") || HexToBytes("0G") || HexToBytes("0 "));
    EXPECT_FALSE(IsEntryList("2A003A0") || IsEntryList("2A003A0X"));
    // Key types are 0 to 2 only: row 3 (key off, code 0000) is an option, never a key.
    EXPECT_FALSE(WithKeySetting(c, "", 0, 15) || WithKeySetting(c, "", -1, 0) ||
                 WithKeySetting(c, "", 3, 0) || WithKeySetting(c, "", 14, 7) ||
                 WithKeySetting(c, "2A003A", 0, 7));
    const std::tuple<const char*, std::int32_t, std::int32_t, bool> cases[] = {
        {"2A003A00", kInsert, 1, false},
        {"1D003A00", kCapsLock, -1, true},        // unknown code
        {"00004600", kScrollLock, 3, true},       // ScrollLock off: not in its list
        {"52E03A00", kCapsLock, 1, true},         // CapsLock sends Insert: looks like no entry
        {"52E052E0", kInsert, 1, false},          // Insert sends itself
        {"0F003A002A003A00", kCapsLock, 8, true}, // two entries: the first reads, both stay
        {"0F003A001D0038000F003A00", kCapsLock, 8, true}, // even when they agree
        {"1D0038000F003A00", kCapsLock, 8, false},        // another key's entry does not count
    };
    for (const auto& [list, key, setting, needsLock] : cases) {
        EXPECT_EQ(KeySetting(c, list, OwnCodeOf(key)), setting) << list << " " << key;
        EXPECT_EQ(KeyNeedsLock(c, list, key), needsLock) << list << " " << key;
    }
}
