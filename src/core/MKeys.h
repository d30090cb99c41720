// The fixed catalogue of the fifteen functions a key can be given, and the three selections
// the program makes of it: the rows offered for one key, the row with a number, the row with
// a scan code. Constant data; no <windows.h>.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/Language.h"

// Key rows: also the catalogue ID of each key's default row and the key type of the map code.
enum KeyType : std::int32_t { kCapsLock = 0, kInsert = 1, kScrollLock = 2 };
inline constexpr int kKeyCount = 3;

struct KeyOption {
    std::int32_t ID;
    bool FC;               // offered for CapsLock
    bool FI;               // offered for Insert
    bool FS;               // offered for ScrollLock
    std::string_view CODE; // four upper-case hex digits, low byte first ("5DE0")
    std::string_view NAME;
    std::string_view DE; // UTF-8
    std::string_view EN;

    std::string_view DisplayName(Language lang) const { return Pick(lang, DE, EN); }
    bool OfferedFor(std::int32_t keyType) const;
};

namespace MKeys {

class Table {
  public:
    constexpr explicit Table(std::span<const KeyOption> rows) noexcept : rows_(rows) {}
    // All rows in ID order.
    std::span<const KeyOption> Rows() const noexcept { return rows_; }
    // "FC = 1", "FI = 1", "FS = 1": the rows offered for one key, in row order.
    std::vector<const KeyOption*> OfferedFor(std::int32_t keyType) const;
    // "ID = n": the row with that number, or nullptr.
    const KeyOption* ById(std::int32_t id) const;
    // "CODE = 'xxxx'": the row with that code (exact text), or nullptr.
    const KeyOption* ByCode(std::string_view code) const;

  private:
    std::span<const KeyOption> rows_;
};

// The program's one catalogue, a constant.
const Table& Catalogue() noexcept;

// The own scan code of a key row: "3A00", "52E0", "4600".
std::string_view OwnCodeOf(std::int32_t keyType);

} // namespace MKeys
