#include "app/GetLanguageCode.h"

#include <windows.h>

namespace MMain {

std::string LanguageCodeFor(std::uint32_t lcid) {
    switch (lcid) {
    case 1031: // Germany
    case 2055: // Switzerland
    case 3079: // Austria
    case 4103: // Luxembourg
    case 5127: // Liechtenstein
        return "DE";
    default:
        return "EN";
    }
}

std::string GetLanguageCode() {
    return LanguageCodeFor(::GetSystemDefaultLCID());
}

} // namespace MMain
