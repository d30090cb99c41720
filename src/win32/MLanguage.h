// The program's one language, decided once at start from the system default locale, for the
// places that cannot be handed it: the failure box above all.
#pragma once

#include "core/Language.h"

namespace MLanguage {

// Reads the system default locale; called once by each way the program starts.
void Decide();

// English until Decide has run.
Language Current() noexcept;

} // namespace MLanguage
