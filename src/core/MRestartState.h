// Whether the keyboard map stored is the one in effect. The keyboard driver reads the map when
// Windows starts; at its first write after a start Tavelin records the map that was in effect
// (keymap/MRestartRecord), and the state compares the stored map with that record. Pure code.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace MRestartState {

enum class State {
    Pending, // the stored map differs from the one in effect
    No,      // the stored map is the one in effect
    Unknown, // what is in effect is not known
};

// "PENDING", "NO" or "UNKNOWN": the word after RESTART= in /status.
std::string_view Keyword(State state);

// A "Scancode Map" value as stored.
struct MapValue {
    enum class Kind {
        Missing,
        Binary,
        Other,      // text, number or another type: compared byte for byte
        Unreadable, // its read failed
    };
    Kind kind = Kind::Missing;
    std::vector<std::uint8_t> bytes;
    bool operator==(const MapValue&) const = default;
};

// Whether two stored maps give the keyboard the same keys: no map, a value of zero bytes and a
// map without entries are the same, and so are two well-formed maps with the same entries in
// another order while no two entries remap one key. Anything else only byte for byte.
bool SameEffect(const MapValue& a, const MapValue& b);

// What the record of this start says was in effect before Tavelin's first write.
struct Record {
    enum class Kind {
        None,       // no record: Tavelin has not written since Windows started
        NotTrusted, // a record that is not Tavelin's own for this start
        NotKnown,   // Tavelin wrote, but another program had changed the map before it
        Known,      // inEffect is the map in effect
    };
    Kind kind = Kind::None;
    MapValue inEffect;
};

// writtenSinceStart: whether the keyboard layout key was written after Windows started;
// nothing when that could not be read.
State StateOf(const Record& record, const MapValue& stored, std::optional<bool> writtenSinceStart);

// What a first write after a start records as in effect: the stored map, when nothing wrote its
// key since the start; nothing (not known) otherwise, and for a value that is not binary.
std::optional<MapValue> InEffectBeforeFirstWrite(const MapValue& stored,
                                                 std::optional<bool> writtenSinceStart);

} // namespace MRestartState
