// Registers the common-control classes the program's windows use.
#pragma once

namespace MInitComCtls {

// Registers the ComboBoxEx class. True when the call went through; the list makes its window
// all the same, and a missing class raises there.
bool InitComCtls();

} // namespace MInitComCtls
