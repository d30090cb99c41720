// The three key rows (CapsLock, Insert, ScrollLock) as the user edits them: what each row offers,
// what it shows at first or why it is locked, and what a save writes and logs. Pure code: the
// main window wires its lists to it, the command line drives it with KEY=OPTION pairs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/MKeys.h"

// Why a row cannot be changed. A locked row's entries are written back as they were found.
enum class RowLock {
    None,
    UnknownCode,     // the key's entry sends a code the catalogue does not know
    NotOffered,      // it sends a catalogue code the row does not offer (ScrollLock turned off)
    SeveralEntries,  // the map holds more than one entry for the key
    MapNotWellFormed // the stored map must not be rewritten at all
};

class CKeyRows {
  public:
    // entryList: the map's entries as found (8 hex digits each); mapWellFormed: whether the
    // stored map may be rewritten. An entry list that is not whole entries counts as not well
    // formed. The catalogue must outlive the object.
    CKeyRows(const MKeys::Table& catalogue, std::string_view entryList, bool mapWellFormed);

    bool MapWellFormed() const { return wellFormed_; }

    // Rows are 0 CapsLock, 1 Insert, 2 ScrollLock; another number raises error 9.

    // The option IDs the row's list offers, in catalogue order; the first is the key's default.
    const std::vector<std::int32_t>& Offered(int row) const;
    RowLock Lock(int row) const;
    bool Locked(int row) const { return Lock(row) != RowLock::None; }
    // The new codes of the key's entries in stored order ("1D00"); what a locked row's notice
    // names. Empty for a key without entry.
    const std::vector<std::string>& EntryCodes(int row) const;
    // The option the row shows after loading: the key's current function, its default when the
    // map has no entry for it. Nothing for a locked row.
    std::optional<std::int32_t> Preselection(int row) const;

    // The user's choice; starts as the preselection. A row without a selection keeps its
    // entries as they are on save.
    std::optional<std::int32_t> Selection(int row) const;
    // False, and nothing changes, for a locked row or an option the row does not offer.
    bool Select(int row, std::int32_t optionId);
    void Deselect(int row);
    // Position of the selection in Offered(row), -1 without one: the list's index.
    int SelectedIndex(int row) const;
    // Whether the selection differs from the preselection.
    bool Changed(int row) const;

    // The entry list a save writes: the entries found, with every unlocked row that has a
    // selection set to it (also when unchanged: choosing the default removes the key's entry).
    // Locked rows, rows without selection and other keys' entries keep their bytes and places.
    // Nothing when the map is not well formed: it is never rewritten.
    std::optional<std::string> NewEntries() const;

    // The three event-log texts of a save, in row order: the row's prefix in the language and
    // the selected item's text, empty without a selection.
    std::array<std::string, kKeyCount> LogTexts(Language lang) const;

    // A list item's text: the option's display name followed by 100 blanks.
    static std::string ItemText(const KeyOption& option, Language lang);

  private:
    struct Row {
        std::vector<std::int32_t> offered;
        std::vector<std::string> entryCodes;
        RowLock lock = RowLock::None;
        std::optional<std::int32_t> preselection;
        std::optional<std::int32_t> selection;
    };
    const Row& At(int row) const;
    Row& At(int row);

    const MKeys::Table& catalogue_;
    std::string entries_;
    bool wellFormed_;
    std::array<Row, kKeyCount> rows_;
};
