#include <gtest/gtest.h>

#include "core/MMapText.h"
#include "core/MRestartState.h"

using namespace MRestartState;

namespace {

using Kind = MapValue::Kind;

MapValue Binary(std::string hex) { // blanks skipped
    std::erase(hex, ' ');
    return {Kind::Binary, MMapText::HexToBytes(hex).value()};
}
MapValue Map(std::string entries) {
    std::erase(entries, ' ');
    return Binary(MMapText::MapHexFor(entries));
}

const MapValue kNone{Kind::Missing, {}};

} // namespace

// Whether the keyboard gets the same keys from two stored maps.
TEST(RestartStateTest, SameEffect) {
    const MapValue flagged = Binary("0000000001000000 02000000 2A003A00 00000000");
    const struct {
        MapValue a, b;
        bool same;
    } cases[] = {
        {kNone, Binary(""), true},
        {Map("2A003A00 20E052E0"), Map("20E052E0 2A003A00"), true},
        // Both remap CapsLock: the order says which one the driver follows.
        {Map("2A003A00 0F003A00"), Map("0F003A00 2A003A00"), false},
        {flagged, flagged, true},
        {flagged, Map("2A003A00"), false},
        {{Kind::Unreadable, {}}, {Kind::Unreadable, {}}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameEffect(c.a, c.b), c.same) << MMapText::BytesToHex(c.a.bytes);
        EXPECT_EQ(SameEffect(c.b, c.a), c.same) << MMapText::BytesToHex(c.b.bytes);
    }
}

// From the record of this start, the map stored now and whether anyone wrote the map's key since
// the start (nothing: that could not be read): the state unknown, and the map to record as in
// effect (only one unwritten since the start that can be written back as it was).
TEST(RestartStateTest, StateAndMapInEffect) {
    const MapValue caps = Map("2A003A00"), text{Kind::Other, {'a'}},
                   unreadable{Kind::Unreadable, {}};
    const struct {
        Record record;
        MapValue stored;
        std::optional<bool> written;
        std::optional<MapValue> recorded;
    } cases[] = {
        {{Record::Kind::None, {}}, caps, std::nullopt, std::nullopt},
        {{Record::Kind::Known, caps}, unreadable, false, std::nullopt},
        {{Record::Kind::NotKnown, {}}, caps, false, caps},
        {{Record::Kind::NotKnown, {}}, text, false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(Keyword(StateOf(c.record, c.stored, c.written)), "UNKNOWN");
        EXPECT_EQ(InEffectBeforeFirstWrite(c.stored, c.written), c.recorded);
    }
}
