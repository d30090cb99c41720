#include "core/MAccessKey.h"

namespace {

// Where the marker of the access key stands, or npos: the first "&" not doubled.
std::size_t MarkerAt(std::string_view label) {
    for (std::size_t i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != '&')
            continue;
        if (label[i + 1] != '&')
            return i;
        ++i;
    }
    return std::string_view::npos;
}

} // namespace

std::string MAccessKey::WithoutAccessKey(std::string_view label) {
    std::string text;
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size())
            ++i;
        text += label[i];
    }
    return text;
}

std::string MAccessKey::AccessKeyShortcut(std::string_view label) {
    const std::size_t at = MarkerAt(label);
    if (at == std::string_view::npos)
        return {};
    // The whole character after the marker: a lead byte and its continuation bytes.
    std::size_t end = at + 2;
    while (end < label.size() && (static_cast<unsigned char>(label[end]) & 0xC0) == 0x80)
        ++end;
    std::string key(label.substr(at + 1, end - at - 1));
    if (key.size() == 1 && key[0] >= 'a' && key[0] <= 'z')
        key[0] = static_cast<char>(key[0] - 'a' + 'A');
    return "Alt+" + key;
}
