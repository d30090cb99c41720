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
        {.found = "", .selection = ". - .", .saved = ""}, // not Insert sending CapsLock's code
        // Unchanged rows are built again: a key sending itself loses its entry.
        {.found = "52E052E0", .selection = ". . .", .saved = ""},
        // Locked rows keep their entries in place; other rows change around them.
        {.found = "0F003A002A003A00", .selection = ". . 4", .saved = "0F003A002A003A005DE04600"},
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

// A refused selection changes nothing (the lists and whether OK is offered: end to end).
TEST(KeyRowsTest, SelectionRules) {
    CKeyRows rows(MKeys::Catalogue(), "1D003A0052E052E0", true);
    EXPECT_FALSE(rows.Select(0, 0)) << "locked";
    EXPECT_FALSE(rows.Select(2, 3)) << "ScrollLock is never turned off";
    EXPECT_FALSE(rows.Select(1, 15)) << "not in the catalogue";
    EXPECT_EQ(rows.NewEntries(), "1D003A00");
    for (const int row : {-1, 3})
        EXPECT_THROW(rows.Lock(row), AppError) << row;
}
