// What the icon drop-down list's source files share: its error source and the item mask.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "ui/controls/MivoCboExProps.h"
#include "win32/ModuleSource.h"

namespace mivo {

inline constexpr UINT kItemMaskAll =
    CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_INDENT | CBEIF_LPARAM; // 0x37

// The control's errors carry their number's standard text: 381 for a bad item index, 5 for a
// bad argument, 13 for a type mismatch.
inline constexpr ErrorSource kSource = ModuleSource("MivoComboEx");
// The image-list argument is neither an object nor a handle: its own source, control first
// ("MivoDriveCboEx.tavelin"), and text.
inline constexpr ErrorSource kImageListSource =
    ModuleSource("MivoDriveCboEx", ErrorSource::Order::ModuleFirst);
[[noreturn]] void RaiseImageListArgument();

// One font per face, size and DPI for all lists of the process: creating and measuring a font
// is the dearest step of a new list. Never freed before the process ends.
HFONT SharedFont(const MivoFont& font, int dpi);

} // namespace mivo
