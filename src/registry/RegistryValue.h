// The tagged value that crosses cRegistry's interface: empty, null, 16- or 32-bit integer,
// text (in the ANSI code page, as the registry's A functions take it) or a byte array with its
// lower bound. Null stands for a binary value of zero bytes.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

struct RegNull {
    friend bool operator==(RegNull, RegNull) = default;
};

struct ByteArray {
    std::int32_t lowerBound = 0;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const ByteArray&, const ByteArray&) = default;
};

using RegistryValue =
    std::variant<std::monostate, RegNull, std::int16_t, std::int32_t, std::string, ByteArray>;

// The usual conversion to text: empty and null give "", numbers are decimal, a byte array's
// bytes are taken as UTF-16 code units (two bytes each, low byte first) and converted to UTF-8.
std::string RegistryValueToText(const RegistryValue& value);
