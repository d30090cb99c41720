// The registry functions cRegistry calls, reached through one table so that tests can make any
// single call fail (fault injection) while every other call goes to the real registry.
#pragma once

#include <windows.h>

#include "win32/Handles.h"

struct RegistryApi {
    decltype(&::RegOpenKeyExA) OpenKeyEx;
    decltype(&::RegCreateKeyExA) CreateKeyEx;
    decltype(&::RegCloseKey) CloseKey;
    decltype(&::RegQueryValueExA) QueryValueEx;
    decltype(&::RegSetValueExA) SetValueEx;
    decltype(&::RegDeleteKeyA) DeleteKey;
    decltype(&::RegDeleteValueA) DeleteValue;
    decltype(&::RegEnumKeyA) EnumKey;
    decltype(&::RegEnumValueA) EnumValue;
    decltype(&::RegQueryInfoKeyA) QueryInfoKey;
    decltype(&::RegConnectRegistryA) ConnectRegistry;
};

// The table in use; the real functions unless a test has replaced some.
const RegistryApi& Registry() noexcept;
// The real functions.
RegistryApi RealRegistryApi() noexcept;
// Installs a table and returns the one it replaces.
RegistryApi SetRegistryApi(const RegistryApi& api) noexcept;

// Closes through the table in use, so that a test sees every close.
void CloseRegistryKey(HKEY key) noexcept;
// The owner of every key opened through the table.
using RegistryKey = UniqueHandleOf<HKEY, &CloseRegistryKey>;
