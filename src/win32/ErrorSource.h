// Where an error was raised, as the error box names it: the executable's name and the module's
// ("tavelin.cRegistry"). Each module keeps one constant and raises through it:
//   constexpr ErrorSource kSource("cRegistry");
//   kSource.Raise(5);
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "core/AppError.h"
#include "win32/Fatal.h"

class ErrorSource {
  public:
    constexpr explicit ErrorSource(const char* module) noexcept : module_(module) {}

    std::string Text() const { return ExeName() + "." + module_; }

    // An error of this source, for the callers that hand it back instead of raising it.
    AppError Error(std::int32_t number, std::string description = {}) const {
        return AppError(number, Text(), std::move(description));
    }

    // Raises the error; an empty description lets the number's standard text apply.
    [[noreturn]] void Raise(std::int32_t number, std::string description = {}) const {
        throw Error(number, std::move(description));
    }

  private:
    const char* module_;
};
