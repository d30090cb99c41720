#include "win32/MText.h"

#include <windows.h>

namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty())
        return {};
    int n =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string FromWide(UINT codePage, std::wstring_view text) {
    if (text.empty())
        return {};
    int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

} // namespace

std::wstring MText::Utf8ToWide(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}
std::string MText::WideToUtf8(std::wstring_view wide) {
    return FromWide(CP_UTF8, wide);
}
std::string MText::AnsiToUtf8(std::string_view ansi) {
    return MText::WideToUtf8(ToWide(CP_ACP, ansi));
}
std::string MText::Utf8ToAnsi(std::string_view utf8) {
    return FromWide(CP_ACP, MText::Utf8ToWide(utf8));
}
std::wstring MText::AnsiToWide(std::string_view ansi) {
    return ToWide(CP_ACP, ansi);
}
std::string MText::WideToAnsi(std::wstring_view wide) {
    return FromWide(CP_ACP, wide);
}
