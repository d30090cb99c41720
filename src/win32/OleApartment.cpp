#include "win32/OleApartment.h"

#include <ole2.h>

namespace OleApartment {

namespace {

bool g_tried = false;
HRESULT g_result = E_FAIL;

} // namespace

HRESULT Open() noexcept {
    if (!g_tried) {
        g_tried = true;
        g_result = ::OleInitialize(nullptr);
    }
    return g_result;
}

void Close() noexcept {
    if (g_tried && SUCCEEDED(g_result))
        ::OleUninitialize();
    g_tried = false;
    g_result = E_FAIL;
}

} // namespace OleApartment
