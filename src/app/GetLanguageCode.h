// The language of the user interface: German on a German system default locale, English on
// every other.
#pragma once

#include <cstdint>
#include <string>

namespace MMain {

// "DE" or "EN" for the system default locale (not the user's locale or display language).
std::string GetLanguageCode();

// The rule alone: "DE" for the five German locales 1031, 2055, 3079, 4103, 5127.
std::string LanguageCodeFor(std::uint32_t lcid);

} // namespace MMain
