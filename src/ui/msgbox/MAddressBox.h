// The box that shows an address the program did not open: the windows show it when no shell
// would take the address without the program's own rights.
#pragma once

#include <windows.h>

#include <string>

#include "core/Language.h"

namespace MAddressBox {

// Why nothing opened, and the address, in the language.
std::string Notice(const std::string& address, Language lang);

// Shows the notice in an information box centred on owner; returns when the user closes it.
void Show(const std::string& address, Language lang, HWND owner);

} // namespace MAddressBox
