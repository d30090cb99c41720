#include "registry/RegistryValue.h"

#include "win32/MText.h"

namespace {

template <class... F> struct Overload : F... { using F::operator()...; };
template <class... F> Overload(F...) -> Overload<F...>;

} // namespace

std::string RegistryValueToText(const RegistryValue& value) {
    return std::visit(Overload{[](std::monostate) { return std::string(); },
                               [](RegNull) { return std::string(); },
                               [](std::int16_t v) { return std::to_string(v); },
                               [](std::int32_t v) { return std::to_string(v); },
                               [](const std::string& v) { return v; },
                               [](const ByteArray& v) {
                                   // Two bytes per code unit, low byte first; an odd last byte
                                   // stands alone.
                                   std::wstring units;
                                   for (std::size_t i = 0; i < v.bytes.size(); i += 2) {
                                       unsigned low = v.bytes[i];
                                       unsigned high = i + 1 < v.bytes.size() ? v.bytes[i + 1] : 0;
                                       units.push_back(static_cast<wchar_t>(low | (high << 8)));
                                   }
                                   return MText::WideToUtf8(units);
                               }},
                      value);
}
