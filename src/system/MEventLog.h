// Information entries in the application event log under the source "Tavelin".
#pragma once

#include <string>

namespace MEventLog {

// Registers the source (the program itself is its message file) if it is not registered for
// this executable yet, then writes one information entry with the UTF-8 text.
void WriteInformation(const std::string& text);

} // namespace MEventLog
