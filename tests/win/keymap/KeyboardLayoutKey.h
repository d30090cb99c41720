// Direct access to the values under HKLM\...\Keyboard Layout\ for setting up and checking, with
// the real registry functions (never through the seam under test).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kbl {

inline constexpr char kMap[] = "Scancode Map";
inline constexpr char kBackup[] = "TVLN Backup";

struct Stored {
    DWORD type = REG_BINARY;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const Stored&, const Stored&) = default;
};
void PrintTo(const Stored& s, std::ostream* os);

std::vector<std::uint8_t> Bytes(const std::string& hex);
void Put(const char* name, const std::string& hex, DWORD type = REG_BINARY);
void Remove(const char* name);
std::optional<Stored> Get(const char* name);
std::optional<Stored> Binary(const std::string& hex); // helper for expectations

} // namespace kbl
