// The fixed catalogue of the fifteen functions a key can be given, and the three selections
// the program makes of it: the rows offered for one key, the row with a number, the row with
// a scan code. Constant data; no <windows.h>.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

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

    // The display name in the language "DE" or "EN".
    std::string_view DisplayName(std::string_view langCode) const;
    bool OfferedFor(std::int32_t keyType) const;
};

class KeyCatalogueTable {
  public:
    // All rows in ID order.
    const std::vector<KeyOption>& Rows() const { return rows_; }
    // "FC = 1", "FI = 1", "FS = 1": the rows offered for one key, in row order.
    std::vector<const KeyOption*> OfferedFor(std::int32_t keyType) const;
    // "ID = n": the row with that number, or nullptr.
    const KeyOption* ById(std::int32_t id) const;
    // "CODE = 'xxxx'": the row with that code (exact text), or nullptr.
    const KeyOption* ByCode(std::string_view code) const;

  private:
    friend void BuildKeyCatalogueInto(KeyCatalogueTable& table);
    std::vector<KeyOption> rows_;
};

namespace MKeys {
// Builds a fresh catalogue and makes it the shared one, replacing the one built before.
void BuildKeyCatalogue();
} // namespace MKeys

// The shared catalogue; valid after the first MKeys::BuildKeyCatalogue().
const KeyCatalogueTable& KeyCatalogue();

// The own scan code of a key row: "3A00", "52E0", "4600".
std::string_view OwnCodeOf(std::int32_t keyType);
