#include "core/AppError.h"

#include <utility>

AppError::AppError(std::int32_t number, std::string source, std::string description)
    : number_(number), source_(std::move(source)), description_(std::move(description)) {}

std::string StandardErrorText(std::int32_t number) {
    switch (number) {
    case 5:
        return "Invalid procedure call or argument";
    case 6:
        return "Overflow";
    case 9:
        return "Subscript out of range";
    case 13:
        return "Type mismatch";
    case 381:
        return "Invalid property array index";
    default:
        return {};
    }
}

std::string FailureHeading(const AppError& error, Language lang) {
    std::string heading = Pick(lang, "Fehler ", "Error ") + std::to_string(error.Number());
    if (!error.Source().empty())
        heading += " (" + error.Source() + ")";
    return heading;
}

std::string DisplayText(const AppError& error) {
    return error.Description().empty() ? StandardErrorText(error.Number()) : error.Description();
}
