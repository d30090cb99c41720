// The help page's resources of type "CUSTOM" in the program's own module.
#pragma once

#include <string>
#include <string_view>

#include "win32/ModuleSource.h"

// The source of every error the help window raises.
inline constexpr ErrorSource kHelpSource = ModuleSource("FHelp");

namespace MHelpResource {

// The bytes as stored. A missing resource raises error 326.
std::string Bytes(std::string_view name);

// The resource as text (UTF-8), decoded from the system's ANSI code page.
std::string Text(std::string_view name);

} // namespace MHelpResource
