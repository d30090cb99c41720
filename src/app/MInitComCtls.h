// Registers the common-control classes the program's windows use.
#pragma once

namespace MInitComCtls {

// Registers the ComboBoxEx class. True when the call went through; start-up ignores the answer.
bool InitComCtls();

} // namespace MInitComCtls
