#include <gtest/gtest.h>

#include "AppError.h"
#include "KeyRows.h"

namespace {

// One row as a short text: "=7" preselects option 7; a lock as its letter and the entries' new
// codes: U unknown code, N not offered, S several entries, W map not well formed.
std::string Describe(const KeyRows& rows, int row) {
    const char letters[] = {'-', 'U', 'N', 'S', 'W'};
    if (!rows.Locked(row))
        return "=" + std::to_string(rows.Preselection(row).value());
    std::string text(1, letters[static_cast<int>(rows.Lock(row))]);
    for (const std::string& code : rows.EntryCodes(row))
        text += code;
    return text;
}

constexpr std::int32_t kAsLoaded = -2; // leave the preselection
constexpr std::int32_t kNone = -1;     // no selection

} // namespace

// What each row shows or why it is locked, from the map as found.
TEST(KeyRowsTest, PreselectionAndLocks) {
    const std::tuple<const char*, bool, const char*, const char*, const char*> cases[] = {
        {"", true, "=0", "=1", "=2"},
        {"2A003A00", true, "=7", "=1", "=2"},
        {"1D0038002A003A0021E052E0", true, "=7", "=9", "=2"}, // a foreign entry first
        {"1D003A00", true, "U1D00", "=1", "=2"},
        {"00004600", true, "=0", "=1", "N0000"}, // ScrollLock off: its list cannot show it
        {"52E03A00", true, "N52E0", "=1", "=2"}, // CapsLock sends Insert
        {"52E052E0", true, "=0", "=1", "=2"},    // Insert sends itself
        {"0F003A002A003A00", true, "S0F002A00", "=1", "=2"},
        {"20E0460020E04600", true, "=0", "=1", "S20E020E0"}, // twice the same entry
        {"2A003A00", false, "W", "W", "W"},
        {"2A003A0", true, "W", "W", "W"}, // not whole entries
    };
    for (const auto& [list, wellFormed, caps, insert, scroll] : cases) {
        const KeyRows rows(KeyCatalogue(), list, wellFormed);
        EXPECT_EQ(Describe(rows, 0) + " " + Describe(rows, 1) + " " + Describe(rows, 2),
                  std::string(caps) + " " + insert + " " + scroll)
            << list << " " << wellFormed;
    }
}

// The entry list a save writes for a map as found and the user's selections.
TEST(KeyRowsTest, SaveResult) {
    struct Case {
        const char* found;
        std::array<std::int32_t, 3> selection;
        std::optional<std::string> saved;
    };
    const Case cases[] = {
        {"", {7, kAsLoaded, kAsLoaded}, "2A003A00"},
        {"", {7, 3, 14}, "2A003A00000052E065E04600"},
        {"", {kAsLoaded, kNone, kAsLoaded}, ""}, // not Insert sending CapsLock's code
        {"2A003A001D003800", {0, kAsLoaded, kAsLoaded}, "1D003800"},
        {"1D0038002A003A00", {3, kAsLoaded, kAsLoaded}, "1D00380000003A00"},
        {"1D003800", {kAsLoaded, 9, 2}, "1D00380021E052E0"},
        // Unchanged rows are built again, so a key sending itself loses its entry...
        {"52E052E0", {kAsLoaded, kAsLoaded, kAsLoaded}, ""},
        // ...unless the row has no selection.
        {"52E052E01D003800", {kNone, kNone, kNone}, "52E052E01D003800"},
        // Locked rows keep their entries in place; other rows change around them.
        {"1D003A005DE052E0", {7, 9, kAsLoaded}, "1D003A0021E052E0"},
        {"0F003A002A003A00", {kAsLoaded, kAsLoaded, 4}, "0F003A002A003A005DE04600"},
        {"000046001D00380021E052E0", {kAsLoaded, 1, kAsLoaded}, "000046001D003800"},
        {"2A003A0", {kAsLoaded, kAsLoaded, kAsLoaded}, std::nullopt},
    };
    for (const auto& c : cases) {
        KeyRows rows(KeyCatalogue(), c.found, true);
        for (int row = 0; row < kKeyCount; ++row) {
            const std::int32_t choice = c.selection[static_cast<std::size_t>(row)];
            if (choice == kNone)
                rows.Deselect(row);
            else if (choice != kAsLoaded)
                rows.Select(row, choice);
        }
        EXPECT_EQ(rows.NewEntries(), c.saved) << c.found;
    }
    EXPECT_EQ(KeyRows(KeyCatalogue(), "2A003A00", false).NewEntries(), std::nullopt);
}

// A refused selection changes nothing; the list index and the change follow the selection.
TEST(KeyRowsTest, SelectionRules) {
    KeyRows rows(KeyCatalogue(), "1D003A0052E052E0", true);
    EXPECT_FALSE(rows.Select(0, 0));  // locked
    EXPECT_FALSE(rows.Select(2, 3));  // ScrollLock is never turned off
    EXPECT_FALSE(rows.Select(1, 15)); // not in the catalogue
    EXPECT_EQ(rows.Selection(0), std::nullopt);
    EXPECT_EQ(rows.SelectedIndex(0), -1);
    EXPECT_EQ(rows.SelectedIndex(2), 0);
    EXPECT_FALSE(rows.Changed(1) || rows.Changed(2));

    EXPECT_TRUE(rows.Select(1, 9));
    EXPECT_EQ(rows.SelectedIndex(1), 3); // 1, 3, 4, 9
    EXPECT_TRUE(rows.Changed(1));
    rows.Select(1, 1);
    EXPECT_FALSE(rows.Changed(1));
    rows.Deselect(2);
    EXPECT_TRUE(rows.Changed(2));
    EXPECT_EQ(rows.Offered(2), (std::vector<std::int32_t>{2, 4, 9, 10, 11, 12, 13, 14}));

    for (const int row : {-1, 3}) {
        try {
            rows.Lock(row);
            ADD_FAILURE() << row;
        } catch (const AppError& e) {
            EXPECT_EQ(e.Number(), 9);
        }
    }
}

// The three log texts as the window writes them: a locked or empty row logs its prefix alone.
TEST(KeyRowsTest, LogTexts) {
    KeyRows rows(KeyCatalogue(), "1D0052E0", true);
    rows.Select(0, 7);
    const std::string blanks(100, ' ');
    const std::tuple<const char*, std::array<std::string, 3>> cases[] = {
        {"EN",
         {"CapsLock key mapped to: Left shift key" + blanks,
          "Insert key mapped to: ", "ScrollLock key mapped to: Default (ScrollLock key)" + blanks}},
        {"DE",
         {"Belegung der CapsLock-Taste geändert zu: Linke Umschalt-Taste" + blanks,
          "Belegung der Einfügen-Taste geändert zu: ",
          "Belegung der Rollen-Taste geändert zu: Standard (normale Rollen-Funktion)" + blanks}},
    };
    for (const auto& [lang, texts] : cases)
        EXPECT_EQ(rows.LogTexts(lang), texts) << lang;
    rows.Deselect(2);
    EXPECT_EQ(rows.LogTexts("EN")[2], "ScrollLock key mapped to: ");
}
