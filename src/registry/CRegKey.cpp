#include "registry/CRegKey.h"

namespace {

// Only the registry's own "not there" makes a value missing.
StoredValue Failed(LONG rc) {
    return {rc == ERROR_FILE_NOT_FOUND ? ValuePresence::Missing : ValuePresence::Unreadable};
}

// A size query, then the bytes: a value that grows in between is not read, one that shrinks is
// read as it is now.
template <typename Query, typename Char>
StoredValue ReadWith(Query query, HKEY key, const Char* name) {
    StoredValue value;
    DWORD type = REG_NONE, size = 0;
    LONG rc = query(key, name, nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS && size > 0) {
        value.bytes.resize(size);
        rc = query(key, name, nullptr, &type, value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    if (rc != ERROR_SUCCESS)
        return Failed(rc);
    value.presence = ValuePresence::Present;
    value.type = type;
    return value;
}

} // namespace

LONG CRegKey::Open(HKEY root, const char* path, REGSAM rights) {
    return Registry().OpenKeyEx(root, path, 0, rights, key_.put());
}

LONG CRegKey::Open(HKEY root, const wchar_t* path, REGSAM rights) {
    return Registry().OpenKeyExW(root, path, 0, rights, key_.put());
}

LONG CRegKey::Create(HKEY root, const char* path, DWORD options, REGSAM rights,
                     SECURITY_ATTRIBUTES* attributes, DWORD* disposition) {
    DWORD unused = 0;
    return Registry().CreateKeyEx(root, path, 0, const_cast<char*>(""), options, rights, attributes,
                                  key_.put(), disposition ? disposition : &unused);
}

LONG CRegKey::Create(HKEY root, const wchar_t* path, REGSAM rights) {
    return Registry().CreateKeyExW(root, path, 0, nullptr, 0, rights, nullptr, key_.put(), nullptr);
}

StoredValue CRegKey::Read(const char* name) const {
    return ReadWith(Registry().QueryValueEx, key_.get(), name);
}

StoredValue CRegKey::Read(const wchar_t* name) const {
    return ReadWith(Registry().QueryValueExW, key_.get(), name);
}

StoredValue CRegKey::Read(HKEY root, const char* path, const char* name) {
    CRegKey key;
    const LONG rc = key.Open(root, path, KEY_QUERY_VALUE);
    if (rc != ERROR_SUCCESS)
        return Failed(rc);
    return key.Read(name);
}

LONG CRegKey::Write(const char* name, DWORD type, const void* data, std::size_t size) const {
    return Registry().SetValueEx(key_.get(), name, 0, type, static_cast<const BYTE*>(data),
                                 static_cast<DWORD>(size));
}

LONG CRegKey::Write(const wchar_t* name, DWORD type, const void* data, std::size_t size) const {
    return Registry().SetValueExW(key_.get(), name, 0, type, static_cast<const BYTE*>(data),
                                  static_cast<DWORD>(size));
}

std::optional<std::vector<std::string>> CRegKey::ValueNames() const {
    DWORD longest = 0;
    if (Registry().QueryInfoKey(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    // Names are limited to 16383 characters; an ANSI name may take two bytes per character.
    constexpr std::size_t kLongestName = 2 * 16383 + 1;
    std::vector<char> name(static_cast<std::size_t>(longest) + 1);
    std::vector<std::string> names;
    for (DWORD index = 0;;) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG rc = Registry().EnumValue(key_.get(), index, name.data(), &length, nullptr,
                                             nullptr, nullptr, nullptr);
        // A name longer than announced (a multi-byte name, or one added meanwhile) must not
        // end the list early.
        if (rc == ERROR_MORE_DATA && name.size() < kLongestName) {
            name.resize(kLongestName);
            continue;
        }
        if (rc == ERROR_NO_MORE_ITEMS)
            return names;
        if (rc != ERROR_SUCCESS)
            return std::nullopt;
        names.emplace_back(name.data(), length);
        ++index;
    }
}

LONG CRegKey::LastWrite(FILETIME& time) const {
    return Registry().QueryInfoKey(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, &time);
}

LONG CRegKey::Security(SECURITY_INFORMATION parts, std::vector<BYTE>& descriptor) const {
    DWORD size = 0;
    Registry().GetKeySecurity(key_.get(), parts, nullptr, &size);
    descriptor.assign(size ? size : 1, 0);
    return Registry().GetKeySecurity(key_.get(), parts, descriptor.data(), &size);
}

LONG CRegKey::DeleteSubKey(const char* name) const {
    return Registry().DeleteKey(key_.get(), name);
}
