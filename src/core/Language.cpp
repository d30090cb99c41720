#include "core/Language.h"

Language LanguageOfLocale(std::uint32_t lcid) noexcept {
    switch (lcid) {
    case 1031: // Germany
    case 2055: // Switzerland
    case 3079: // Austria
    case 4103: // Luxembourg
    case 5127: // Liechtenstein
        return Language::German;
    default:
        return Language::English;
    }
}
