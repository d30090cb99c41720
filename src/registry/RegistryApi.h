// Every registry function the program calls, reached through one table so that tests can make
// any single call fail (fault injection) while every other call goes to the real registry. Only
// src/registry calls them (CRegKey, cRegistry).
#pragma once

#include <windows.h>

#include "win32/Handles.h"
#include "win32/Seam.h"

// Seam<RegistryApi>; a default-constructed table holds the real functions.
struct RegistryApi {
    decltype(&::RegOpenKeyExA) OpenKeyEx = &::RegOpenKeyExA;
    decltype(&::RegCreateKeyExA) CreateKeyEx = &::RegCreateKeyExA;
    decltype(&::RegCloseKey) CloseKey = &::RegCloseKey;
    decltype(&::RegQueryValueExA) QueryValueEx = &::RegQueryValueExA;
    decltype(&::RegSetValueExA) SetValueEx = &::RegSetValueExA;
    decltype(&::RegDeleteKeyA) DeleteKey = &::RegDeleteKeyA;
    decltype(&::RegDeleteValueA) DeleteValue = &::RegDeleteValueA;
    decltype(&::RegEnumKeyA) EnumKey = &::RegEnumKeyA;
    decltype(&::RegEnumValueA) EnumValue = &::RegEnumValueA;
    decltype(&::RegQueryInfoKeyA) QueryInfoKey = &::RegQueryInfoKeyA;
    decltype(&::RegConnectRegistryA) ConnectRegistry = &::RegConnectRegistryA;
    decltype(&::RegGetKeySecurity) GetKeySecurity = &::RegGetKeySecurity;
    // Names and texts that must keep every character (the settings, the event-log source).
    decltype(&::RegOpenKeyExW) OpenKeyExW = &::RegOpenKeyExW;
    decltype(&::RegCreateKeyExW) CreateKeyExW = &::RegCreateKeyExW;
    decltype(&::RegQueryValueExW) QueryValueExW = &::RegQueryValueExW;
    decltype(&::RegSetValueExW) SetValueExW = &::RegSetValueExW;
};

// The table in use.
inline const RegistryApi& Registry() noexcept {
    return Seam<RegistryApi>::Current();
}

// Closes through the table in use, so that a test sees every close.
void CloseRegistryKey(HKEY key) noexcept;
// The one owner of an open key.
using RegistryKey = UniqueHandleOf<HKEY, &CloseRegistryKey>;
