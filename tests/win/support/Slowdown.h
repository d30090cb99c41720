// Timeouts for slower machines: TAVELIN_TEST_SLOWDOWN (a whole factor, default 1) lengthens every
// wait of the support code. The virtual machine that runs the 32-bit tests in software emulation
// sets it; a start that takes a second here takes several there.
#pragma once

#include <windows.h>

#include <cstdlib>

namespace testsupport {

inline DWORD Scaled(DWORD ms) {
    static const DWORD factor = [] {
        char value[16] = {};
        const DWORD n = ::GetEnvironmentVariableA("TAVELIN_TEST_SLOWDOWN", value, sizeof value);
        const unsigned long parsed = n && n < sizeof value ? std::strtoul(value, nullptr, 10) : 1;
        return DWORD(parsed >= 1 && parsed <= 100 ? parsed : 1);
    }();
    return ms * factor;
}

} // namespace testsupport
