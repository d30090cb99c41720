// One registry value as read: whether it is there, its registry type and its bytes as stored.
#pragma once

#include <cstdint>
#include <vector>

// Unreadable: the key or the value could not be read, so what is stored is not known.
enum class ValuePresence { Missing, Present, Unreadable };

struct StoredValue {
    ValuePresence presence = ValuePresence::Missing;
    std::uint32_t type = 0; // REG_NONE unless present
    std::vector<std::uint8_t> bytes;
    bool operator==(const StoredValue&) const = default;
};
