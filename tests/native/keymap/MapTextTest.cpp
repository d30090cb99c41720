#include <gtest/gtest.h>

#include "KeyCatalogue.h"
#include "MapText.h"

using namespace MapText;

namespace {

std::vector<std::uint8_t> Bytes(std::string_view hex) {
    return HexToBytes(hex).value();
}

} // namespace

TEST(MapTextTest, HexFormRoundTripsAndRejectsBadText) {
    EXPECT_EQ(BytesToHex(Bytes("00FF0a7B")), "00FF0A7B");
    EXPECT_EQ(HexToBytes("")->size(), 0u);
    EXPECT_FALSE(HexToBytes("ABC"));
    EXPECT_FALSE(HexToBytes("0G"));
    EXPECT_FALSE(HexToBytes("0 "));
    EXPECT_FALSE(IsEntryList("2A003A0"));
    EXPECT_FALSE(IsEntryList("2A003A0X"));
}

// Only the layout Windows honours counts as well formed; everything else is left alone.
TEST(MapTextTest, WellFormedMeansLengthAndCountAgree) {
    struct Case {
        const char* hex;
        bool wellFormed;
    } cases[] = {
        {"", true},
        {"00000000000000000100000000000000", true},
        {"0000000000000000020000002A003A0000000000", true},
        {"0000000000000000010000002A003A0000000000", false}, // count 1 hides the entry
        {"0000000000000000030000002A003A0000000000", false},
        {"0000000000000000020000012A003A0000000000", false}, // high count byte set
        {"000000000000000001000000000000", false},           // 15 bytes
        {"00", false},
        {"0000000000000000020000002A003A000000000000", false}, // 21 bytes
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsWellFormedMap(Bytes(c.hex)), c.wellFormed) << c.hex;
}

// A count of 255 or more takes more than the low byte.
TEST(MapTextTest, LargeCountsAreWrittenAsFull32BitNumbers) {
    for (std::size_t entries : {254u, 255u, 256u}) {
        std::string list;
        for (std::size_t i = 0; i < entries; ++i)
            list += "1D003800";
        const auto bytes = Bytes(MapHexFor(list));
        ASSERT_EQ(bytes.size(), 16 + 4 * entries);
        const std::uint32_t count =
            bytes[8] | bytes[9] << 8 | bytes[10] << 16 | std::uint32_t{bytes[11]} << 24;
        EXPECT_EQ(count, entries + 1);
        EXPECT_TRUE(IsWellFormedMap(bytes));
    }
}

TEST(MapTextTest, ReadoutOfEachKey) {
    const KeyCatalogueTable& c = KeyCatalogue();
    struct Case {
        const char* list;
        const char* code;
        std::int32_t setting;
        bool needsLock;
    } cases[] = {
        {"", "3A00", 1, false},
        {"2A003A00", "3A00", 7, false},
        {"2A003A00", "52E0", 1, false},
        {"1D003A00", "3A00", -1, true},         // unknown code
        {"00004600", "4600", 3, true},          // ScrollLock off: not in its list
        {"52E03A00", "3A00", 1, true},          // CapsLock sends Insert: looks like no entry
        {"3A004600", "4600", 0, true},          // ScrollLock sends CapsLock
        {"52E052E0", "52E0", 1, false},         // Insert sends itself
        {"0F003A002A003A00", "3A00", 8, false}, // the first entry decides
        {"3A0052E0", "52E0", 0, true},
    };
    const std::pair<const char*, std::int32_t> keyOf[] = {
        {"3A00", kCapsLock}, {"52E0", kInsert}, {"4600", kScrollLock}};
    for (const Case& k : cases) {
        EXPECT_EQ(KeySetting(c, k.list, k.code), k.setting) << k.list << " " << k.code;
        for (auto [code, key] : keyOf)
            if (std::string_view(code) == k.code) {
                EXPECT_EQ(KeyNeedsLock(c, k.list, key), k.needsLock) << k.list << " " << k.code;
            }
    }
    EXPECT_EQ(FirstNewCode("52E03A00", "3A00"), "52E0");
    EXPECT_EQ(FirstNewCode("52E03A00", "4600"), std::nullopt);
}

TEST(MapTextTest, SettingAKeyEditsOnlyItsFirstEntry) {
    const KeyCatalogueTable& c = KeyCatalogue();
    struct Case {
        const char* before;
        std::int32_t key, option;
        const char* after;
    } cases[] = {
        {"", 0, 7, "2A003A00"},
        {"2A003A00", 0, 0, ""},
        {"1D0038002A003A00", 0, 3, "1D00380000003A00"},
        {"1D003800", 1, 9, "1D00380021E052E0"},
        {"", 2, 2, ""},
        {"2A003A001D0038000F003A00", 0, 0, "1D0038000F003A00"},
        {"2A003A001D0038000F003A00", 0, 4, "5DE03A001D0038000F003A00"},
    };
    for (const Case& k : cases)
        EXPECT_EQ(WithKeySetting(c, k.before, k.key, k.option), k.after) << k.before;
    EXPECT_FALSE(WithKeySetting(c, "", 0, 15));
    EXPECT_FALSE(WithKeySetting(c, "", -1, 0));
    EXPECT_FALSE(WithKeySetting(c, "2A003A", 0, 7));
}
