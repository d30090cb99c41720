// Conversions at the Win32 boundary. The program keeps text as UTF-8 internally; user-visible
// text crosses as UTF-16 (W functions); the registry class works in the ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace MText {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
std::wstring AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::wstring_view wide);

} // namespace MText
