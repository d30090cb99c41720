// Labels with an access key, as Windows writes them: "&" before the letter that Alt and the
// letter move to, "&&" for an ampersand. Pure code, UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace MAccessKey {

// The label as it reads: the marker gone, "&&" as "&".
std::string WithoutAccessKey(std::string_view label);

// The key that moves to the label's control as a screen reader names it ("Alt+A" for "&apply"),
// empty for a label without one.
std::string AccessKeyShortcut(std::string_view label);

} // namespace MAccessKey
