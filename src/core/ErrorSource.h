// Where an error was raised, as the error box names it: the program's name and the module's
// ("tavelin.cRegistry"). Each module keeps one constant and raises through it:
//   constexpr ErrorSource kSource = CoreSource("KeyRows");     // pure code
//   constexpr ErrorSource kSource = ModuleSource("cRegistry"); // win32/ErrorSource.h
//   kSource.Raise(5);
// The constant carries the function that names the program, asked when an error is made: the
// pure core cannot ask Windows for the executable's name, so its sources name the product.
#pragma once

#include <cstdint>
#include <string>

#include "core/AppError.h"

class ErrorSource {
  public:
    using ProgramName = std::string (*)();
    // The order the text takes; one control's sources put its own name first.
    enum class Order { ProgramFirst, ModuleFirst };

    // An empty module names the program alone.
    constexpr ErrorSource(ProgramName program, const char* module,
                          Order order = Order::ProgramFirst) noexcept
        : program_(program), module_(module), order_(order) {}

    std::string Text() const;

    // An error of this source, for the callers that hand it back instead of raising it.
    AppError Error(std::int32_t number, std::string description = {}) const;

    // Raises the error; an empty description lets the number's standard text apply.
    [[noreturn]] void Raise(std::int32_t number, std::string description = {}) const;

  private:
    ProgramName program_;
    const char* module_;
    Order order_;
};

// The product's name ("Tavelin"), the program's name where the core raises.
std::string ProductName();

// A source of the pure core: "Tavelin.KeyRows".
constexpr ErrorSource CoreSource(const char* module) noexcept {
    return ErrorSource(&ProductName, module);
}
