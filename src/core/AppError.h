// The one error type of the program. Numbers, sources and descriptions are those the user is
// shown; a description may be empty when the number's standard text applies.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "core/Language.h"

class AppError : public std::exception {
  public:
    AppError(std::int32_t number, std::string source, std::string description);

    std::int32_t Number() const noexcept { return number_; }
    const std::string& Source() const noexcept { return source_; }
    // UTF-8.
    const std::string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

// Standard texts of the small error numbers (5, 381, ...) for errors raised without a
// description of their own; empty for numbers without one.
std::string StandardErrorText(std::int32_t number);

// The description if there is one, otherwise the number's standard text.
std::string DisplayText(const AppError& error);

// "Error 26001 (tavelin.cRegistry)", in German "Fehler ..."; no brackets without a source.
std::string FailureHeading(const AppError& error, Language lang);

// Error numbers of the program's own objects are built on this base (0x80040000).
constexpr std::int32_t kObjectErrorBase = static_cast<std::int32_t>(0x80040000u);
