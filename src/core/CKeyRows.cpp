#include "core/CKeyRows.h"

#include <algorithm>
#include <utility>

#include "core/ErrorSource.h"
#include "core/MMapText.h"

namespace {

constexpr ErrorSource kSource = CoreSource("KeyRows");

// The new codes of every entry whose old code is the key's own code, in stored order.
std::vector<std::string> EntryCodesFor(std::string_view entryList, std::string_view ownCode) {
    std::vector<std::string> codes;
    for (const std::size_t pos : MMapText::EntriesFor(entryList, ownCode))
        codes.emplace_back(entryList.substr(pos, 4));
    return codes;
}

} // namespace

CKeyRows::CKeyRows(const MKeys::Table& catalogue, std::string_view entryList, bool mapWellFormed)
    : catalogue_(catalogue), wellFormed_(mapWellFormed && MMapText::IsEntryList(entryList)) {
    if (wellFormed_)
        entries_ = entryList;
    for (int key = 0; key < kKeyCount; ++key) {
        Row& row = rows_[static_cast<std::size_t>(key)];
        for (const KeyOption* option : catalogue_.OfferedFor(key))
            row.offered.push_back(option->ID);
        row.entryCodes = EntryCodesFor(entries_, MKeys::OwnCodeOf(key));

        if (!wellFormed_) {
            row.lock = RowLock::MapNotWellFormed;
        } else if (row.entryCodes.size() > 1) {
            // Editing one of them would leave the other in force unseen.
            row.lock = RowLock::SeveralEntries;
        } else if (row.entryCodes.empty()) {
            row.preselection = key; // no entry: the key's own function
        } else if (const KeyOption* option = catalogue_.ByCode(row.entryCodes.front()); !option) {
            row.lock = RowLock::UnknownCode;
        } else if (!option->OfferedFor(key)) {
            // Showing the default instead would drop this entry at the next save.
            row.lock = RowLock::NotOffered;
        } else {
            row.preselection = option->ID;
        }
        row.selection = row.preselection;
    }
}

const CKeyRows::Row& CKeyRows::At(int row) const {
    if (row < 0 || row >= kKeyCount)
        kSource.Raise(9);
    return rows_[static_cast<std::size_t>(row)];
}

CKeyRows::Row& CKeyRows::At(int row) {
    return const_cast<Row&>(std::as_const(*this).At(row));
}

const std::vector<std::int32_t>& CKeyRows::Offered(int row) const {
    return At(row).offered;
}

RowLock CKeyRows::Lock(int row) const {
    return At(row).lock;
}

const std::vector<std::string>& CKeyRows::EntryCodes(int row) const {
    return At(row).entryCodes;
}

std::optional<std::int32_t> CKeyRows::Preselection(int row) const {
    return At(row).preselection;
}

std::optional<std::int32_t> CKeyRows::Selection(int row) const {
    return At(row).selection;
}

bool CKeyRows::Select(int row, std::int32_t optionId) {
    Row& r = At(row);
    if (r.lock != RowLock::None ||
        std::find(r.offered.begin(), r.offered.end(), optionId) == r.offered.end())
        return false;
    r.selection = optionId;
    return true;
}

void CKeyRows::Deselect(int row) {
    At(row).selection.reset();
}

int CKeyRows::SelectedIndex(int row) const {
    const Row& r = At(row);
    if (!r.selection)
        return -1;
    return static_cast<int>(std::find(r.offered.begin(), r.offered.end(), *r.selection) -
                            r.offered.begin());
}

bool CKeyRows::Changed(int row) const {
    return At(row).selection != At(row).preselection;
}

std::optional<std::string> CKeyRows::NewEntries() const {
    if (!wellFormed_)
        return std::nullopt;
    std::string list = entries_;
    for (int key = 0; key < kKeyCount; ++key) {
        const Row& row = rows_[static_cast<std::size_t>(key)];
        // A row without a selection is left out rather than built as option 0, which would
        // give Insert or ScrollLock the CapsLock code.
        if (row.lock != RowLock::None || !row.selection)
            continue;
        auto built = MMapText::WithKeySetting(catalogue_, list, key, *row.selection);
        if (!built)
            kSource.Raise(5);
        list = std::move(*built);
    }
    return list;
}

std::array<std::string, kKeyCount> CKeyRows::LogTexts(Language lang) const {
    std::array<std::string, kKeyCount> texts = {
        Pick(lang, "Belegung der CapsLock-Taste geändert zu: ", "CapsLock key mapped to: "),
        Pick(lang, "Belegung der Einfügen-Taste geändert zu: ", "Insert key mapped to: "),
        Pick(lang, "Belegung der Rollen-Taste geändert zu: ", "ScrollLock key mapped to: ")};
    for (int key = 0; key < kKeyCount; ++key)
        if (const auto id = rows_[static_cast<std::size_t>(key)].selection)
            texts[static_cast<std::size_t>(key)] += ItemText(*catalogue_.ById(*id), lang);
    return texts;
}

std::string CKeyRows::ItemText(const KeyOption& option, Language lang) {
    return std::string(option.DisplayName(lang)) + std::string(100, ' ');
}
