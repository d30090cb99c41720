// The per-user settings store: texts under HKEY_CURRENT_USER\Software\<application>\<section>.
#pragma once

#include <string>

namespace MSettings {

// The stored text, or def when the key or value is missing or not text.
std::string GetSetting(const std::string& appName, const std::string& section,
                       const std::string& key, const std::string& def);
// Stores the text; raises an error when the key cannot be created or the value not written.
void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value);

} // namespace MSettings
