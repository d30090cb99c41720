// The "Scancode Map" value in its hex text form (two upper-case digits per byte, stored order)
// and the algebra of its entry list (8 digits per entry: new code, then old code). Pure code:
// CScancodeMap wraps it with the registry reads and writes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace MKeys {
class Table;
}

namespace MMapText {

inline constexpr std::size_t kHeaderDigits = 24;    // version, flags, count
inline constexpr std::size_t kEntryDigits = 8;      // new code, old code
inline constexpr std::size_t kTerminatorDigits = 8; // four zero bytes

std::string BytesToHex(std::span<const std::uint8_t> bytes);
// Nothing when the text has an odd length or a character that is not a hex digit.
std::optional<std::vector<std::uint8_t>> HexToBytes(std::string_view hex);

// Whole groups of 8 hex digits (the empty list included).
bool IsEntryList(std::string_view list);

// The layout Windows honours: zero bytes, or 16 + 4n bytes with version, flags and terminator
// zero and a count field (32-bit little endian) of n + 1. Anything else must not be rewritten:
// Windows ignores such a map today, and a rewrite (with the program's own header) could wake
// entries it skips.
bool IsWellFormedMap(std::span<const std::uint8_t> bytes);

// The entry list of a well-formed map's hex text: the digits between header and terminator.
// Empty for the empty value and for a text too short to hold header and terminator.
std::string EntryListOf(std::string_view mapHex);

// The whole value for an entry list: version and flags 0, the count (entries + 1) as a full
// 32-bit little-endian number, the entries, the terminator. The empty list gives the empty
// text (a value of zero bytes). Requires IsEntryList(entryList).
std::string MapHexFor(std::string_view entryList);

// Where the entries whose old code is oldCode (exact text) begin, in stored order. The one walk
// over an entry list: what a key reads and what an edit changes both start from it.
std::vector<std::size_t> EntriesFor(std::string_view entryList, std::string_view oldCode);

// The entry list with the first entry of key idxKeyType set to option idxKeyNewValue: replaced in
// place, removed when the option is the key's own code, appended when the key had none. Other
// entries keep their bytes and order. Nothing when the key type is not 0 to 2, the option is not
// in the catalogue or the list is not whole entries.
std::optional<std::string> WithKeySetting(const MKeys::Table& catalogue, std::string_view entryList,
                                          std::int32_t idxKeyType, std::int32_t idxKeyNewValue);

} // namespace MMapText
