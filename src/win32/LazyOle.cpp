#include "win32/LazyOle.h"

#include <ole2.h>

namespace LazyOle {

namespace {

bool g_tried = false;
HRESULT g_result = E_FAIL;

} // namespace

HRESULT Initialize() noexcept {
    if (!g_tried) {
        g_tried = true;
        g_result = ::OleInitialize(nullptr);
    }
    return g_result;
}

void Uninitialize() noexcept {
    if (g_tried && SUCCEEDED(g_result))
        ::OleUninitialize();
    g_tried = false;
    g_result = E_FAIL;
}

} // namespace LazyOle
