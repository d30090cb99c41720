#include <gtest/gtest.h>

#include "core/KeyCatalogue.h"
#include "core/MapText.h"

using namespace MapText;

// Only the layout Windows honours counts as well formed; everything else is left alone.
TEST(MapTextTest, HexFormAndWellFormedMaps) {
    EXPECT_EQ(BytesToHex(HexToBytes("00FF0a7B").value()), "00FF0A7B");
    EXPECT_FALSE(HexToBytes("ABC") || HexToBytes("0G") || HexToBytes("0 "));
    EXPECT_FALSE(IsEntryList("2A003A0") || IsEntryList("2A003A0X"));
    const std::pair<const char*, bool> maps[] = {
        {"", true},
        {"00000000000000000100000000000000", true},
        {"0000000000000000020000002A003A0000000000", true},
        {"0000000000000000010000002A003A0000000000", false}, // count 1 hides the entry
        {"0000000000000000030000002A003A0000000000", false},
        {"0000000000000000020000012A003A0000000000", false},   // high count byte set
        {"0100000000000000020000002A003A0000000000", false},   // version set
        {"0000000001000000020000002A003A0000000000", false},   // flags set
        {"0000000000000000020000002A003A0001000000", false},   // terminator not zero
        {"000000000000000001000000000000", false},             // 15 bytes
        {"0000000000000000020000002A003A000000000000", false}, // 21 bytes
    };
    for (const auto& [hex, wellFormed] : maps)
        EXPECT_EQ(IsWellFormedMap(HexToBytes(hex).value()), wellFormed) << hex;
    // A count of 255 or more takes more than the low byte.
    for (const auto& [entries, count] :
         {std::pair{254, "FF000000"}, {255, "00010000"}, {256, "01010000"}}) {
        std::string list;
        for (int i = 0; i < entries; ++i)
            list += "1D003800";
        const std::string hex = MapHexFor(list);
        EXPECT_EQ(hex.substr(16, 8), count);
        EXPECT_TRUE(IsWellFormedMap(HexToBytes(hex).value()));
    }
}

TEST(MapTextTest, ReadoutOfEachKey) {
    const KeyCatalogueTable& c = KeyCatalogue();
    const std::tuple<const char*, std::int32_t, std::int32_t, bool> cases[] = {
        {"2A003A00", kCapsLock, 7, false},
        {"2A003A00", kInsert, 1, false},
        {"1D003A00", kCapsLock, -1, true},        // unknown code
        {"00004600", kScrollLock, 3, true},       // ScrollLock off: not in its list
        {"52E03A00", kCapsLock, 1, true},         // CapsLock sends Insert: looks like no entry
        {"3A004600", kScrollLock, 0, true},       // ScrollLock sends CapsLock
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

TEST(MapTextTest, SettingAKeyEditsOnlyItsFirstEntry) {
    const KeyCatalogueTable& c = KeyCatalogue();
    const std::tuple<const char*, std::int32_t, std::int32_t, const char*> cases[] = {
        {"", 0, 7, "2A003A00"},
        {"1D0038002A003A00", 0, 3, "1D00380000003A00"},
        {"1D003800", 1, 9, "1D00380021E052E0"},
        {"2A003A001D0038000F003A00", 0, 0, "1D0038000F003A00"},
        {"2A003A001D0038000F003A00", 0, 4, "5DE03A001D0038000F003A00"},
    };
    for (const auto& [before, key, option, after] : cases)
        EXPECT_EQ(WithKeySetting(c, before, key, option), after) << before;
    // Key types are 0 to 2 only: row 3 (key off, code 0000) is an option, never a key.
    EXPECT_FALSE(WithKeySetting(c, "", 0, 15) || WithKeySetting(c, "", -1, 0) ||
                 WithKeySetting(c, "", 3, 0) || WithKeySetting(c, "", 14, 7) ||
                 WithKeySetting(c, "2A003A", 0, 7));
}
