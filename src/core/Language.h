// The language of every text the user reads: German on a German system default locale, English
// on every other. Decided once at start; texts stay literals where they are used and pick
// their language through Pick.
#pragma once

#include <cstdint>
#include <string_view>

enum class Language { English, German };

// The language of a system default locale: German for Germany, Switzerland, Austria,
// Luxembourg and Liechtenstein (1031, 2055, 3079, 4103, 5127); not the user's locale.
Language LanguageOfLocale(std::uint32_t lcid) noexcept;

// The text of the language, German first as the program's texts were written.
template <typename Text> constexpr Text Pick(Language language, Text german, Text english) {
    return language == Language::German ? german : english;
}

// The two-letter code that resources and the donation page take ("DE", "EN").
constexpr std::string_view LanguageCode(Language language) {
    return Pick<std::string_view>(language, "DE", "EN");
}
