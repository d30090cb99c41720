#include "registry/RegistryApi.h"

namespace {

// Built on first use, so that no other static initialiser can see it empty.
RegistryApi& Current() noexcept {
    static RegistryApi api = RealRegistryApi();
    return api;
}

} // namespace

const RegistryApi& Registry() noexcept {
    return Current();
}

RegistryApi RealRegistryApi() noexcept {
    return RegistryApi{&::RegOpenKeyExA,    &::RegCreateKeyExA,    &::RegCloseKey,
                       &::RegQueryValueExA, &::RegSetValueExA,     &::RegDeleteKeyA,
                       &::RegDeleteValueA,  &::RegEnumKeyA,        &::RegEnumValueA,
                       &::RegQueryInfoKeyA, &::RegConnectRegistryA};
}

RegistryApi SetRegistryApi(const RegistryApi& api) noexcept {
    RegistryApi old = Current();
    Current() = api;
    return old;
}

void CloseRegistryKey(HKEY key) noexcept {
    Registry().CloseKey(key);
}
