// The language of the user interface: German on a German system default locale, English on
// every other.
#pragma once

#include <string>

namespace MMain {

// "DE" for the five German system default locales (1031, 2055, 3079, 4103, 5127), "EN" for
// every other; not the user's locale or display language.
std::string GetLanguageCode();

} // namespace MMain
