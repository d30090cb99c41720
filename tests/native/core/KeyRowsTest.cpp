#include <gtest/gtest.h>

#include <sstream>

#include "core/AppError.h"
#include "core/KeyRows.h"

namespace {

// "=7" preselects option 7; a lock is its letter and the entries' new codes: U unknown code,
// N not offered, S several entries, W map not well formed.
std::string Describe(const KeyRows& rows, int row) {
    const char letters[] = {'-', 'U', 'N', 'S', 'W'};
    if (!rows.Locked(row))
        return "=" + std::to_string(rows.Preselection(row).value());
    std::string text(1, letters[static_cast<int>(rows.Lock(row))]);
    for (const std::string& code : rows.EntryCodes(row))
        text += code;
    return text;
}

} // namespace

// What each row shows or why it is locked, from the map found.
TEST(KeyRowsTest, PreselectionAndLocks) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"1D0038002A003A0021E052E0", "=7", "=9", "=2"}, // a foreign entry first
        {"00004600", "=0", "=1", "N0000"},              // ScrollLock off: its list cannot show it
        {"52E03A00", "N52E0", "=1", "=2"},              // CapsLock sends Insert
        {"0F003A002A003A00", "S0F002A00", "=1", "=2"},
        {"0F003A001D0038000F003A00", "S0F000F00", "=1", "=2"}, // even when they agree
        {"52E052E0", "=0", "=1", "=2"},                        // Insert sends itself
        {"2A003A0", "W", "W", "W"},                            // not whole entries
    };
    for (const auto& [list, caps, insert, scroll] : cases) {
        const KeyRows rows(KeyCatalogue(), list, true);
        EXPECT_EQ(Describe(rows, 0) + " " + Describe(rows, 1) + " " + Describe(rows, 2),
                  std::string(caps) + " " + insert + " " + scroll)
            << list;
    }
}

// The entries a save writes for the map found and the selections ("." as loaded, "-" none).
TEST(KeyRowsTest, SaveResult) {
    const std::tuple<const char*, const char*, std::optional<std::string>> cases[] = {
        {"", "7 3 14", "2A003A00000052E065E04600"},
        {"", ". - .", ""}, // not Insert sending CapsLock's code
        // Unchanged rows are built again: a key sending itself loses its entry unless deselected.
        {"52E052E0", ". . .", ""},
        {"52E052E01D003800", "- - -", "52E052E01D003800"},
        // Locked rows keep their entries in place; other rows change around them.
        {"1D003A005DE052E0", "7 9 .", "1D003A0021E052E0"},
        {"0F003A002A003A00", ". . 4", "0F003A002A003A005DE04600"},
        {"000046001D00380021E052E0", ". 1 .", "000046001D003800"},
        {"2A003A0", ". . .", std::nullopt},
    };
    for (const auto& [found, selection, saved] : cases) {
        KeyRows rows(KeyCatalogue(), found, true);
        std::istringstream in(selection);
        std::string choice;
        for (int row = 0; in >> choice; ++row)
            if (choice == "-")
                rows.Deselect(row);
            else if (choice != ".")
                rows.Select(row, std::stoi(choice));
        EXPECT_EQ(rows.NewEntries(), saved) << found << " " << selection;
    }
    EXPECT_EQ(KeyRows(KeyCatalogue(), "2A003A00", false).NewEntries(), std::nullopt);
}

// A refused selection changes nothing; index and change follow the selection. (The log texts,
// of locked and empty rows too: e2e, window and command line.)
TEST(KeyRowsTest, SelectionRulesAndLogTexts) {
    KeyRows rows(KeyCatalogue(), "1D003A0052E052E0", true);
    // Locked; ScrollLock is never turned off; not in the catalogue.
    EXPECT_FALSE(rows.Select(0, 0) || rows.Select(2, 3) || rows.Select(1, 15));
    EXPECT_EQ(rows.SelectedIndex(0), -1);
    EXPECT_FALSE(rows.Changed(0) || rows.Changed(1) || rows.Changed(2));
    EXPECT_TRUE(rows.Select(1, 9));
    rows.Deselect(2);
    EXPECT_EQ(rows.SelectedIndex(1), 3); // 1, 3, 4, 9
    EXPECT_TRUE(rows.Changed(1) && rows.Changed(2));
    for (const int row : {-1, 3})
        EXPECT_THROW(rows.Lock(row), AppError) << row;
}
