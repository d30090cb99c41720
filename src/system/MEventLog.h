// Information entries in the application event log under the source "Tavelin".
#pragma once

#include <windows.h>

#include <string>

namespace MEventLog {

// Registers the source with the program itself as its message file, unless a registration
// exists whose message files all still exist. True when it wrote the registration.
bool RegisterSource();

// RegisterSource, then one information entry with the UTF-8 text.
void WriteInformation(const std::string& text);

// Where an entry goes (Seam<MEventLog::Calls>); a default-constructed table holds the real call.
// Wine keeps no entries: a test in a process of its own records them.
struct Calls {
    decltype(&::ReportEventW) reportEvent = &::ReportEventW;
};

} // namespace MEventLog
