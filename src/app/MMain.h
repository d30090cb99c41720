// The entry routine and the program-wide objects it creates.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "core/Language.h"

class CScancodeMap;

namespace MMain {

// The one scancode-map object, created by Main after the platform checks.
CScancodeMap& ScancodeMap();
void SetScancodeMap(std::unique_ptr<CScancodeMap> map);

// Runs the start-up sequence; ends the process itself on refusal.
void Main();

// The two reasons to refuse a start. ShowRefusal shows the message box in the language and
// returns when the user has closed it; Main then ends the process.
enum class Refusal { UnsupportedWindows, NoAdministratorRights };
void ShowRefusal(Refusal reason, Language lang);
// The refusal's text in the language; the command line prints it.
std::string RefusalText(Refusal reason, Language lang);
// The version check: Windows 2000, XP, 2003 (R2) or any NT 6.x.
bool SupportedWindows();

// Opens the main window, and on the user's very first start the help window beside it.
void OpenWindows();

// The main window's share of the message loop (F1, dialog navigation); true when the message
// was handled and must not be dispatched.
bool PreTranslateMessage(MSG& msg);

} // namespace MMain
