#include "ui/controls/MInitComCtls.h"

#include <windows.h>
#include <commctrl.h>

namespace MInitComCtls {

bool InitComCtls() {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof(icc); // 8
    icc.dwICC = ICC_USEREX_CLASSES;
    return ::InitCommonControlsEx(&icc) != FALSE;
}

} // namespace MInitComCtls
