#include "KeyboardLayoutKey.h"

#include "MapText.h"

namespace kbl {

namespace {

constexpr char kSection[] = "System\\CurrentControlSet\\Control\\Keyboard Layout\\";

HKEY Open() {
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSection, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr);
    return key;
}

} // namespace

std::vector<std::uint8_t> Bytes(const std::string& hex) {
    return MapText::HexToBytes(hex).value();
}

void Put(const char* name, const std::string& hex, DWORD type) {
    HKEY key = Open();
    const auto bytes = Bytes(hex);
    ::RegSetValueExA(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
}

void Remove(const char* name) {
    HKEY key = Open();
    ::RegDeleteValueA(key, name);
    ::RegCloseKey(key);
}

std::optional<Stored> Get(const char* name) {
    HKEY key = Open();
    Stored s;
    DWORD size = 0;
    std::optional<Stored> result;
    if (::RegQueryValueExA(key, name, nullptr, &s.type, nullptr, &size) == ERROR_SUCCESS) {
        s.bytes.resize(size);
        ::RegQueryValueExA(key, name, nullptr, &s.type, s.bytes.data(), &size);
        result = s;
    }
    ::RegCloseKey(key);
    return result;
}

void PrintTo(const Stored& s, std::ostream* os) {
    *os << "type " << s.type << " [" << MapText::BytesToHex(s.bytes) << "]";
}

std::optional<Stored> Binary(const std::string& hex) {
    return Stored{REG_BINARY, Bytes(hex)};
}

} // namespace kbl
