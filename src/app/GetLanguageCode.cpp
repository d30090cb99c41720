#include "app/GetLanguageCode.h"

#include <windows.h>

namespace MMain {

namespace {

std::string LanguageCodeFor(LCID lcid) {
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

} // namespace

std::string GetLanguageCode() {
    return LanguageCodeFor(::GetSystemDefaultLCID());
}

} // namespace MMain
