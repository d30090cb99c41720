#include "core/MKeys.h"

#include <array>

namespace {

// clang-format off
constexpr std::array<KeyOption, 15> kRows{{
    {0,  true,  false, false, "3A00", "CAPSLOCK",       "Standard (normale CapsLock-Funktion)", "Default (CapsLock key)"},
    {1,  false, true,  false, "52E0", "INSERT",         "Standard (normale Einfügen-Funktion)", "Default (Insert key)"},
    {2,  false, false, true,  "4600", "SCROLL",         "Standard (normale Rollen-Funktion)",   "Default (ScrollLock key)"},
    {3,  true,  true,  false, "0000", "DISABLED",       "Taste deaktiviert",                    "Key turned off"},
    {4,  true,  true,  true,  "5DE0", "APP",            "Windows-Anwendungs-Taste",             "Application key"},
    {5,  true,  false, false, "5BE0", "LWIN",           "Linke Windows-Taste",                  "Left windows key"},
    {6,  true,  false, false, "5CE0", "RWIN",           "Rechte Windows-Taste",                 "Right windows key"},
    {7,  true,  false, false, "2A00", "LSHIFT",         "Linke Umschalt-Taste",                 "Left shift key"},
    {8,  true,  false, false, "0F00", "TAB",            "Tab-Taste",                            "Tab key"},
    {9,  true,  true,  true,  "21E0", "CALCULATOR",     "Taschenrechner starten",               "Calculator"},
    {10, true,  true,  true,  "6BE0", "COMPUTER",       "Arbeitsplatz öffnen",                  "My Computer"},
    {11, true,  true,  true,  "20E0", "MUTE",           "Ton ein/aus",                          "Mute"},
    {12, true,  true,  true,  "22E0", "MEDIAPLAYPAUSE", "Mediaplayer Start/Pause",              "Media start/stop"},
    {13, true,  true,  true,  "32E0", "WEBHOME",        "Webbrowser",                           "Webbrowser"},
    {14, true,  true,  true,  "65E0", "WEBSEARCH",      "Suche",                                "Search"},
}};
// clang-format on

constexpr MKeys::Table kCatalogue(kRows);

} // namespace

bool KeyOption::OfferedFor(std::int32_t keyType) const {
    switch (keyType) {
    case kCapsLock:
        return FC;
    case kInsert:
        return FI;
    case kScrollLock:
        return FS;
    default:
        return false;
    }
}

std::vector<const KeyOption*> MKeys::Table::OfferedFor(std::int32_t keyType) const {
    std::vector<const KeyOption*> rows;
    for (const KeyOption& row : rows_)
        if (row.OfferedFor(keyType))
            rows.push_back(&row);
    return rows;
}

const KeyOption* MKeys::Table::ById(std::int32_t id) const {
    for (const KeyOption& row : rows_)
        if (row.ID == id)
            return &row;
    return nullptr;
}

const KeyOption* MKeys::Table::ByCode(std::string_view code) const {
    for (const KeyOption& row : rows_)
        if (row.CODE == code)
            return &row;
    return nullptr;
}

const MKeys::Table& MKeys::Catalogue() noexcept {
    return kCatalogue;
}

std::string_view MKeys::OwnCodeOf(std::int32_t keyType) {
    return keyType >= 0 && keyType < kKeyCount ? kRows[static_cast<std::size_t>(keyType)].CODE
                                               : std::string_view{};
}
