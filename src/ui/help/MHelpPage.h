// What the help window decides without asking Windows: its caption, the page it writes into the
// browser control, which keys the page keeps and where links may lead.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Language.h"

namespace MHelpPage {

// The maker named in the page footer. Placeholders until the project has addresses of its own;
// the page bodies refer to them as {{home}} and {{mail}}.
inline constexpr std::string_view kMakerHome = "https://tavelin.example.org";
inline constexpr std::string_view kMakerMail = "info@tavelin.example.org";

// "Tavelin 2.0.4 - Hilfe" in German, "... - Help" in English.
std::string Caption(Language lang);

// Name of the body resource for the language: "HLP_DE", "HLP_EN".
std::string BodyResourceName(Language lang);

// The body as it goes into the document: the maker's addresses filled in.
std::string PageBody(std::string_view bodyResource);

// Only Page Up, Page Down, Up and Down reach the page; every other key is cancelled.
bool KeyPasses(long keyCode) noexcept;

// Where a keyboard message (WM_KEYDOWN to WM_UNICHAR) bound for the browser control goes before
// the control sees it: the scrolling keys to the control; system keys (Alt+F4, Alt+Space) to the
// help window itself, which closes or opens its window menu; everything else nowhere, so that no
// key of the control opens, prints, refreshes or creates a window.
enum class KeyTarget { Control, Frame, Nowhere };
KeyTarget RouteKey(unsigned message, long key) noexcept;

// The same for the read-only text view that shows the page where no browser control can: the
// keys that move through the text and select it, and Ctrl+C, Ctrl+Insert and Ctrl+A (control:
// Ctrl is held), to the view; system keys to the help window; every other key (Tab, typing,
// the view's own formatting keys) nowhere.
KeyTarget RouteTextKey(unsigned message, long key, bool control) noexcept;

// The addresses the page bodies link to ({{home}}, mailto:{{mail}}): the only ones the help
// window opens.
std::vector<std::string> PageLinks();

// The page link that url names, as the browser control spells it (a bare host with "/"
// added, any case), or nothing. The window opens the link from this list, never the text the
// control handed over.
std::optional<std::string> PageLinkFor(std::wstring_view url);

// What to do when the browser control is about to navigate. The program runs elevated, so the
// control itself never loads anything but its blank page; the page's own links go to the user's
// default browser; every other address goes nowhere.
enum class Navigation { Allow, OpenExternally, Cancel };
Navigation ClassifyNavigation(std::wstring_view url);

} // namespace MHelpPage
