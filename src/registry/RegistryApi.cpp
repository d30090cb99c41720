#include "registry/RegistryApi.h"

void CloseRegistryKey(HKEY key) noexcept {
    Registry().CloseKey(key);
}
