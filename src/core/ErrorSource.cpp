#include "core/ErrorSource.h"

#include <string_view>
#include <utility>

#include "core/Product.h"

std::string ErrorSource::Text() const {
    const std::string program = program_();
    const std::string_view module = module_;
    if (module.empty())
        return program;
    return order_ == Order::ProgramFirst ? program + "." + std::string(module)
                                         : std::string(module) + "." + program;
}

AppError ErrorSource::Error(std::int32_t number, std::string description) const {
    return AppError(number, Text(), std::move(description));
}

void ErrorSource::Raise(std::int32_t number, std::string description) const {
    throw Error(number, std::move(description));
}

std::string ProductName() {
    return Product::kName;
}
