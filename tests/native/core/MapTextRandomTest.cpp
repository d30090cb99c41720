// Seeded random stored values, damaged in every way the registry can hold them, run through the
// readout and the entry-list algebra the way a save does.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "core/KeyCatalogue.h"
#include "core/MapText.h"

using namespace MapText;

namespace {

// The entries (in order) whose old code is oldCode; with an empty oldCode those of no key.
std::vector<std::string> EntriesOf(const std::string& list, std::string_view oldCode) {
    std::vector<std::string> out;
    for (std::size_t p = 0; p < list.size(); p += 8) {
        const std::string_view old = std::string_view(list).substr(p + 4, 4);
        const bool own = old == "3A00" || old == "52E0" || old == "4600";
        if (oldCode.empty() ? !own : old == oldCode)
            out.push_back(list.substr(p, 8));
    }
    return out;
}

} // namespace

TEST(MapTextRandomTest, DamagedAndCrowdedMapsNeverLoseForeignEntries) {
    const KeyCatalogueTable& c = KeyCatalogue();
    std::mt19937 rng(20240611);
    const auto anyCode = [&] { // half of them known to the catalogue
        const std::array<std::uint8_t, 2> bytes{std::uint8_t(rng()), std::uint8_t(rng())};
        return rng() % 2 ? std::string(c.Rows()[rng() % 15].CODE) : BytesToHex(bytes);
    };
    int wellFormedSeen = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string list; // foreign entries and entries of the keys, duplicates included
        for (std::size_t i = rng() % 301; i > 0; --i)
            list += anyCode() + (rng() % 3 ? anyCode() : std::string(OwnCodeOf(rng() % 3)));
        std::vector<std::uint8_t> bytes = HexToBytes(MapHexFor(list)).value();
        if (list.empty() && rng() % 2) // no entries, but header and terminator
            bytes = HexToBytes("00000000000000000100000000000000").value();
        bool wellFormed = true;
        const auto damage = rng() % 6; // a header or terminator byte, cut short, trailing, noise
        if (damage == 0 && !bytes.empty()) {
            const std::size_t at = rng() % 16; // version, flags, count or terminator
            bytes[at < 12 ? at : bytes.size() - 16 + at] ^= std::uint8_t(1 + rng() % 255);
            wellFormed = false;
        } else if (damage == 1 && !bytes.empty())
            bytes.resize(rng() % bytes.size()), wellFormed = bytes.empty();
        else if (damage == 2)
            bytes.resize(bytes.size() + 1 + rng() % 7, std::uint8_t(rng())), wellFormed = false;
        else if (damage == 3) { // noise has no zero header with a fitting count
            bytes.resize(rng() % 64);
            for (auto& b : bytes)
                b = std::uint8_t(rng());
            wellFormed = bytes.empty();
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
            const std::string before = edited;
            const std::vector<std::string> had = EntriesOf(before, OwnCodeOf(key));
            // The first entry decides: its new code's row, -1 for a code the catalogue lacks.
            const KeyOption* row = had.empty() ? nullptr : c.ByCode(had[0].substr(0, 4));
            const std::int32_t setting = KeySetting(c, edited, OwnCodeOf(key));
            ASSERT_EQ(setting, had.empty() ? 1 : row ? row->ID : -1);
            ASSERT_TRUE(setting != -1 || KeyNeedsLock(c, edited, key));
            edited = WithKeySetting(c, edited, key, option).value();
            // The key's first entry is replaced, removed or appended; later ones stay.
            std::vector<std::string> expected(had.begin() + !had.empty(), had.end());
            if (option != key)
                expected.insert(expected.begin(),
                                std::string(c.ById(option)->CODE) + std::string(OwnCodeOf(key)));
            ASSERT_EQ(EntriesOf(edited, OwnCodeOf(key)), expected);
            ASSERT_TRUE(option != key || !had.empty() || edited == before) << "default changed";
        }
        ASSERT_EQ(EntriesOf(edited, ""), EntriesOf(found, ""));
        ASSERT_TRUE(IsWellFormedMap(HexToBytes(MapHexFor(edited)).value()));
        ASSERT_EQ(EntryListOf(MapHexFor(edited)), edited);
    }
    EXPECT_GT(wellFormedSeen, 1000);
}
