#include <gtest/gtest.h>

#include <sstream>

#include "core/AppError.h"
#include "core/CKeyRows.h"

namespace {

// "=7" preselects option 7; a lock is its letter and the entries' new codes: U unknown code,
// N not offered, S several entries, W map not well formed.
std::string Describe(const CKeyRows& rows, int row) {
    if (!rows.Locked(row))
        return "=" + std::to_string(rows.Preselection(row).value());
    std::string text(1, "-UNSW"[static_cast<int>(rows.Lock(row))]);
    for (const std::string& code : rows.EntryCodes(row))
        text += code;
    return text;
}

} // namespace

// What each row shows or why it is locked, from the map found.
TEST(KeyRowsTest, PreselectionAndLocks) {
    const struct {
        const char* found;
        const char* shown; // CapsLock, Insert, ScrollLock
    } cases[] = {
        {.found = "1D0038002A003A0021E052E0", .shown = "=7 =9 =2"}, // a foreign entry first
        {.found = "52E03A00", .shown = "N52E0 =1 =2"},              // CapsLock sends Insert
        {.found = "0F003A002A003A00", .shown = "S0F002A00 =1 =2"},
        {.found = "52E052E0", .shown = "=0 =1 =2"}, // Insert sends itself
        {.found = "2A003A0", .shown = "W W W"},     // not whole entries
    };
    for (const auto& c : cases) {
        const CKeyRows rows(MKeys::Catalogue(), c.found, true);
        EXPECT_EQ(Describe(rows, 0) + " " + Describe(rows, 1) + " " + Describe(rows, 2), c.shown)
            << c.found;
    }
}

// The entries a save writes for the map found and the selections ("." as loaded, "-" none).
TEST(KeyRowsTest, SaveResult) {
    const struct {
        const char* found;
        const char* selection;
        std::optional<std::string> saved;
    } cases[] = {
        {.found = "", .selection = "7 3 14", .saved = "2A003A00000052E065E04600"},
        {.found = "", .selection = ". - .", .saved = ""}, // not Insert sending CapsLock's code
        // Unchanged rows are built again: a key sending itself loses its entry unless deselected.
        {.found = "52E052E0", .selection = ". . .", .saved = ""},
        {.found = "52E052E01D003800", .selection = "- - -", .saved = "52E052E01D003800"},
        // Locked rows keep their entries in place; other rows change around them.
        {.found = "1D003A005DE052E0", .selection = "7 9 .", .saved = "1D003A0021E052E0"},
        {.found = "0F003A002A003A00", .selection = ". . 4", .saved = "0F003A002A003A005DE04600"},
        {.found = "000046001D00380021E052E0", .selection = ". 1 .", .saved = "000046001D003800"},
        {.found = "2A003A0", .selection = ". . .", .saved = std::nullopt},
    };
    for (const auto& c : cases) {
        CKeyRows rows(MKeys::Catalogue(), c.found, true);
        std::istringstream in(c.selection);
        std::string choice;
        for (int row = 0; in >> choice; ++row)
            if (choice == "-")
                rows.Deselect(row);
            else if (choice != ".")
                rows.Select(row, std::stoi(choice));
        EXPECT_EQ(rows.NewEntries(), c.saved) << c.found << " " << c.selection;
    }
    EXPECT_EQ(CKeyRows(MKeys::Catalogue(), "2A003A00", false).NewEntries(), std::nullopt);
}

// A refused selection changes nothing; index and change follow the selection. (The log texts,
// of locked and empty rows too: end to end, window and command line.)
TEST(KeyRowsTest, SelectionRules) {
    CKeyRows rows(MKeys::Catalogue(), "1D003A0052E052E0", true);
    EXPECT_FALSE(rows.Select(0, 0)) << "locked";
    EXPECT_FALSE(rows.Select(2, 3)) << "ScrollLock is never turned off";
    EXPECT_FALSE(rows.Select(1, 15)) << "not in the catalogue";
    EXPECT_EQ(rows.SelectedIndex(0), -1);
    for (const int row : {0, 1, 2})
        EXPECT_FALSE(rows.Changed(row)) << row;
    EXPECT_TRUE(rows.Select(1, 9));
    rows.Deselect(2);
    EXPECT_EQ(rows.SelectedIndex(1), 3); // 1, 3, 4, 9
    EXPECT_TRUE(rows.Changed(1));
    EXPECT_TRUE(rows.Changed(2));
    for (const int row : {-1, 3})
        EXPECT_THROW(rows.Lock(row), AppError) << row;
}
