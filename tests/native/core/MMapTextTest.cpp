#include <gtest/gtest.h>

#include <array>
#include <random>

#include "core/MKeys.h"
#include "core/MMapText.h"

using namespace MMapText;

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

// Seeded random stored values, damaged every way; a save's edits of the whole ones against a model.
TEST(MapTextTest, RandomDamagedAndCrowdedMapsNeverLoseForeignEntries) {
    const MKeys::Table& c = MKeys::Catalogue();
    std::mt19937 rng(20240611);
    const auto anyCode = [&] { // half of them known to the catalogue
        const std::array<std::uint8_t, 2> bytes{std::uint8_t(rng()), std::uint8_t(rng())};
        return rng() % 2 ? std::string(c.Rows()[rng() % 15].CODE) : BytesToHex(bytes);
    };
    int wellFormedSeen = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string list; // foreign entries and entries of the keys, duplicates included
        for (std::size_t i = rng() % 301; i > 0; --i)
            list += anyCode() + (rng() % 3 ? anyCode() : std::string(MKeys::OwnCodeOf(rng() % 3)));
        std::vector<std::uint8_t> bytes = HexToBytes(MapHexFor(list)).value();
        bool wellFormed = true;
        const auto damage = rng() % 5; // a header or terminator byte, cut short, trailing bytes
        if (damage == 0 && !bytes.empty()) {
            const std::size_t at = rng() % 16; // version, flags, count or terminator
            bytes[at < 12 ? at : bytes.size() - 16 + at] ^= std::uint8_t(1 + rng() % 255);
            wellFormed = false;
        } else if (damage == 1 && !bytes.empty()) {
            bytes.resize(rng() % bytes.size());
            wellFormed = bytes.empty();
        } else if (damage == 2) {
            bytes.resize(bytes.size() + 1 + rng() % 7, std::uint8_t(rng()));
            wellFormed = false;
        }
        ASSERT_EQ(IsWellFormedMap(bytes), wellFormed) << "round " << round;
        if (!wellFormed)
            continue;
        ++wellFormedSeen;
        const std::string found = EntryListOf(BytesToHex(bytes));
        std::string edited = found;
        for (std::int32_t key = 0; key < kKeyCount; ++key) {
            const std::int32_t option = static_cast<std::int32_t>(rng() % 15);
            const std::vector<std::string> had = EntriesOf(edited, MKeys::OwnCodeOf(key));
            edited = WithKeySetting(c, edited, key, option).value();
            // The key's first entry is replaced, removed or appended; later ones stay.
            std::vector<std::string> expected(had.begin() + !had.empty(), had.end());
            if (option != key)
                expected.insert(expected.begin(), std::string(c.ById(option)->CODE) +
                                                      std::string(MKeys::OwnCodeOf(key)));
            ASSERT_EQ(EntriesOf(edited, MKeys::OwnCodeOf(key)), expected);
        }
        ASSERT_EQ(EntriesOf(edited, ""), EntriesOf(found, ""));
        ASSERT_EQ(EntryListOf(MapHexFor(edited)), edited);
    }
    EXPECT_GT(wellFormedSeen, 1000);
}

// Another tool may leave a map of header and terminator only: it is whole, not damaged.
TEST(MapTextTest, MapWithoutEntriesIsWellFormed) {
    EXPECT_TRUE(IsWellFormedMap(HexToBytes("00000000000000000100000000000000").value()));
}
