// Product name and version as the code uses them, from the one source the resources use too.
#pragma once

#include <string>

#include "resources/version.h"

namespace Product {

inline constexpr const char* kName = TAVELIN_PRODUCT_NAME;
inline constexpr int kMajor = TAVELIN_VERSION_MAJOR;
inline constexpr int kMinor = TAVELIN_VERSION_MINOR;
inline constexpr int kRevision = TAVELIN_VERSION_REVISION;

// "Tavelin 2.0": the main window's caption, by which a second copy finds the first.
inline std::string MainWindowTitle() {
    return std::string(kName) + " " + std::to_string(kMajor) + "." + std::to_string(kMinor);
}

} // namespace Product
