// One open registry key: the program's one way to the registry. Every call goes through the call
// table (RegistryApi), closing included, so that a test can make any single one fail. The calls
// return the registry's status: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a key that is not there.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"
#include "registry/StoredValue.h"

class CRegKey {
  public:
    LONG Open(HKEY root, const char* path, REGSAM rights);
    LONG Open(HKEY root, const wchar_t* path, REGSAM rights);
    // disposition: REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
    LONG Create(HKEY root, const char* path, DWORD options, REGSAM rights,
                SECURITY_ATTRIBUTES* attributes = nullptr, DWORD* disposition = nullptr);
    LONG Create(HKEY root, const wchar_t* path, REGSAM rights);

    // Missing only when the registry says so; any other failure is Unreadable.
    StoredValue Read(const char* name) const;
    StoredValue Read(const wchar_t* name) const;
    // The value in the key at path under root, opened for this read only.
    static StoredValue Read(HKEY root, const char* path, const char* name);

    LONG Write(const char* name, DWORD type, const void* data, std::size_t size) const;
    LONG Write(const wchar_t* name, DWORD type, const void* data, std::size_t size) const;

    // Every value name, in the registry's order; nothing when the listing fails.
    std::optional<std::vector<std::string>> ValueNames() const;
    LONG LastWrite(FILETIME& time) const;
    // The parts of the key's security descriptor asked for, self-relative.
    LONG Security(SECURITY_INFORMATION parts, std::vector<BYTE>& descriptor) const;
    LONG DeleteSubKey(const char* name) const;

    HKEY Get() const { return key_.get(); }
    void Close() { key_.reset(); }

  private:
    RegistryKey key_;
};
