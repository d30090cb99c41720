// The help page's text in a read-only rich-edit control, for where no browser control can show the
// page: headings bold and larger, list items with bullets, links as plain text that leads nowhere.
// A rich edit is a standard control: screen readers read it, the keyboard scrolls and copies.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/help/MHelpText.h"

namespace MHelpTextView {

// Creates the view as child window `id` of parent, over its whole client area, holding the
// blocks, the caret at the start. The control's DLL comes from the system folder only. Raises
// the help window's error when the control cannot be loaded or created.
HWND Create(HWND parent, int id, const std::vector<MHelpText::Block>& blocks);

} // namespace MHelpTextView
