// A window's accessible object, as a screen reader asks for it with WM_GETOBJECT: Windows' own
// standard object for the window, with the name, value, description and keyboard shortcut that
// the window's owner gives. Role, state, children and navigation stay Windows' own.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

// UTF-8; an empty text (or no value function) leaves Windows' own answer.
struct AccessibleTexts {
    std::string name;
    std::string description;
    std::string shortcut;
    // Asked at each read: an object may be kept and read later. Nothing: no value.
    std::function<std::optional<std::string>()> value;
};

namespace MAccessibleObject {

// The answer to WM_GETOBJECT for the window's client object. 0 for any other object, or when
// Windows cannot make its standard object: the window's own handling then answers.
LRESULT Answer(HWND hwnd, WPARAM wParam, LPARAM lParam, const AccessibleTexts& texts);

} // namespace MAccessibleObject
