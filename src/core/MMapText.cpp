#include "core/MMapText.h"

#include "core/MKeys.h"

namespace MMapText {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool AllHex(std::string_view text) {
    for (char c : text)
        if (DigitValue(c) < 0)
            return false;
    return true;
}

std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

} // namespace

std::string BytesToHex(std::span<const std::uint8_t> bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0x0F];
    }
    return hex;
}

std::optional<std::vector<std::uint8_t>> HexToBytes(std::string_view hex) {
    if (hex.size() % 2 != 0 || !AllHex(hex))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(hex.size() / 2);
    for (std::size_t k = 0; k < bytes.size(); ++k)
        bytes[k] =
            static_cast<std::uint8_t>(DigitValue(hex[2 * k]) << 4 | DigitValue(hex[2 * k + 1]));
    return bytes;
}

bool IsEntryList(std::string_view list) {
    return list.size() % kEntryDigits == 0 && AllHex(list);
}

bool IsWellFormedMap(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return true;
    if (bytes.size() < 16 || (bytes.size() - 16) % 4 != 0)
        return false;
    const std::uint64_t entries = (bytes.size() - 16) / 4;
    return ReadLe32(bytes, 0) == 0 && ReadLe32(bytes, 4) == 0 &&
           ReadLe32(bytes, bytes.size() - 4) == 0 && ReadLe32(bytes, 8) == entries + 1;
}

std::string EntryListOf(std::string_view mapHex) {
    if (mapHex.size() < kHeaderDigits + kTerminatorDigits)
        return {};
    return std::string(
        mapHex.substr(kHeaderDigits, mapHex.size() - kHeaderDigits - kTerminatorDigits));
}

std::string MapHexFor(std::string_view entryList) {
    if (entryList.empty())
        return {};
    const auto count = static_cast<std::uint32_t>(entryList.size() / kEntryDigits + 1);
    const std::uint8_t countBytes[4] = {
        static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
        static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)};
    std::string hex = "0000000000000000" + BytesToHex(countBytes);
    hex += entryList;
    hex += "00000000";
    return hex;
}

std::vector<std::size_t> EntriesFor(std::string_view entryList, std::string_view oldCode) {
    std::vector<std::size_t> found;
    for (std::size_t pos = 0; pos + kEntryDigits <= entryList.size(); pos += kEntryDigits)
        if (entryList.substr(pos + 4, 4) == oldCode)
            found.push_back(pos);
    return found;
}

std::optional<std::string> WithKeySetting(const MKeys::Table& catalogue, std::string_view entryList,
                                          std::int32_t idxKeyType, std::int32_t idxKeyNewValue) {
    // Only the three keys have a key type; any other catalogue row is an option, not a key.
    const KeyOption* key =
        MKeys::OwnCodeOf(idxKeyType).empty() ? nullptr : catalogue.ById(idxKeyType);
    const KeyOption* option = catalogue.ById(idxKeyNewValue);
    if (key == nullptr || option == nullptr || !IsEntryList(entryList))
        return std::nullopt;
    const std::string_view oldCode = key->CODE;
    const std::string_view newCode = option->CODE;

    std::string list(entryList);
    if (const auto entries = EntriesFor(list, oldCode); !entries.empty()) {
        const std::size_t pos = entries.front();
        if (newCode == oldCode)
            list.erase(pos, kEntryDigits);
        else
            list.replace(pos, 4, newCode);
    } else if (newCode != oldCode) {
        list += newCode;
        list += oldCode;
    }
    return list;
}

} // namespace MMapText
