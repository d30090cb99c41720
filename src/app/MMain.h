// The entry routine and the program-wide objects it creates.
#pragma once

#include <memory>
#include <string>

class CScancodeMap;

namespace MMain {

// "DE" or "EN", fixed at start from the system default locale.
extern std::string LangCode;

// The one scancode-map object, created by Main after the platform checks.
CScancodeMap& ScancodeMap();
void SetScancodeMap(std::unique_ptr<CScancodeMap> map);

// Runs the start-up sequence; ends the process itself on refusal.
void Main();

} // namespace MMain
