// Seeded random stored values, damaged in every way the registry can hold them, run through the
// readout and the entry-list algebra the way a save does.
#include <gtest/gtest.h>

#include <random>

#include "KeyCatalogue.h"
#include "MapText.h"

using namespace MapText;

namespace {

const std::string_view kOwn[] = {"3A00", "52E0", "4600"};

std::string Code(std::mt19937& rng) {
    const KeyCatalogueTable& c = KeyCatalogue();
    if (rng() % 2)
        return std::string(c.Rows()[rng() % c.Rows().size()].CODE);
    return BytesToHex(std::vector<std::uint8_t>{std::uint8_t(rng()), std::uint8_t(rng())});
}

// The entries (in order) whose old code is oldCode; with an empty oldCode those of no key.
std::vector<std::string> EntriesOf(const std::string& list, std::string_view oldCode) {
    std::vector<std::string> out;
    for (std::size_t p = 0; p < list.size(); p += 8) {
        const std::string_view old = std::string_view(list).substr(p + 4, 4);
        const bool own = old == kOwn[0] || old == kOwn[1] || old == kOwn[2];
        if (oldCode.empty() ? !own : old == oldCode)
            out.push_back(list.substr(p, 8));
    }
    return out;
}

} // namespace

TEST(MapTextRandomTest, DamagedAndCrowdedMapsNeverLoseForeignEntries) {
    const KeyCatalogueTable& c = KeyCatalogue();
    std::mt19937 rng(20240611);
    int wellFormedSeen = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = rng() % 301;
        std::string list;
        for (std::size_t i = 0; i < n; ++i) // own keys (duplicates included) and foreign ones
            list += Code(rng) + (rng() % 3 ? Code(rng) : std::string(kOwn[rng() % 3]));
        std::vector<std::uint8_t> bytes = HexToBytes(MapHexFor(list)).value();
        if (n == 0 && rng() % 2)
            bytes = HexToBytes("00000000000000000100000000000000").value();
        bool wellFormed = true;
        switch (rng() % 6) {
        case 0: // wrong count
            if (!bytes.empty()) {
                bytes[8 + rng() % 4] ^= std::uint8_t(1 + rng() % 255);
                wellFormed = false;
            }
            break;
        case 1: // cut short anywhere
            if (!bytes.empty()) {
                bytes.resize(rng() % bytes.size());
                wellFormed = bytes.empty();
            }
            break;
        case 2: // trailing bytes
            for (std::size_t k = 1 + rng() % 7; k > 0; --k)
                bytes.push_back(std::uint8_t(rng()));
            wellFormed = false;
            break;
        case 3: // arbitrary bytes: only checked for not crashing
            bytes.resize(rng() % 64);
            for (auto& b : bytes)
                b = std::uint8_t(rng());
            wellFormed = IsWellFormedMap(bytes);
            break;
        default:
            break;
        }
        ASSERT_EQ(IsWellFormedMap(bytes), wellFormed) << "round " << round;
        const std::string hex = BytesToHex(bytes);
        ASSERT_EQ(HexToBytes(hex), bytes);
        if (!wellFormed)
            continue;
        ++wellFormedSeen;

        const std::string found = EntryListOf(hex);
        std::string edited = found;
        for (std::int32_t key = 0; key < kKeyCount; ++key) {
            const std::int32_t option = static_cast<std::int32_t>(rng() % 15);
            const auto code = KeySetting(c, edited, kOwn[key]);
            ASSERT_TRUE(code == -1 || c.ById(code));
            if (code == -1) {
                ASSERT_TRUE(KeyNeedsLock(c, edited, key));
            }
            const std::string before = edited;
            edited = WithKeySetting(c, edited, key, option).value();
            // The key's first entry is replaced, removed or appended; later ones stay.
            const std::vector<std::string> had = EntriesOf(before, kOwn[key]);
            std::vector<std::string> expected = had;
            if (!expected.empty())
                expected.erase(expected.begin());
            if (option != key)
                expected.insert(expected.begin(),
                                std::string(c.ById(option)->CODE) + std::string(kOwn[key]));
            ASSERT_EQ(EntriesOf(edited, kOwn[key]), expected);
            if (option == key && had.empty()) {
                ASSERT_EQ(edited, before);
            }
        }
        ASSERT_EQ(EntriesOf(edited, ""), EntriesOf(found, ""));
        const auto written = HexToBytes(MapHexFor(edited)).value();
        ASSERT_TRUE(IsWellFormedMap(written));
        ASSERT_EQ(EntryListOf(MapHexFor(edited)), edited);
    }
    EXPECT_GT(wellFormedSeen, 1000);
}
