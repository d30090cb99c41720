#include "ui/help/MHelpPage.h"

#include <cwctype>

#include "core/Product.h"

namespace MHelpPage {

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) noexcept {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::towlower(text[i]) != std::towlower(prefix[i]))
            return false;
    return true;
}

} // namespace

std::string Caption(Language lang) {
    return std::string(Product::kName) + " " + std::to_string(Product::kMajor) + "." +
           std::to_string(Product::kMinor) + "." + std::to_string(Product::kRevision) +
           Pick(lang, " - Hilfe", " - Help");
}

std::string BodyResourceName(Language lang) {
    return "HLP_" + std::string(LanguageCode(lang));
}

std::string PageBody(std::string_view bodyResource) {
    std::string body(bodyResource);
    ReplaceAll(body, "{{home}}", kMakerHome);
    ReplaceAll(body, "{{mail}}", kMakerMail);
    return body;
}

bool KeyPasses(long keyCode) noexcept {
    switch (keyCode) {
    case 33: // Page Up
    case 34: // Page Down
    case 38: // Up
    case 40: // Down
        return true;
    default:
        return false;
    }
}

KeyTarget RouteKey(unsigned message, long key) noexcept {
    constexpr unsigned kKeyDown = 0x100, kKeyUp = 0x101, kSysKeyDown = 0x104, kSysDeadChar = 0x107;
    if ((message == kKeyDown || message == kKeyUp) && KeyPasses(key))
        return KeyTarget::Control;
    if (message >= kSysKeyDown && message <= kSysDeadChar)
        return KeyTarget::Frame;
    return KeyTarget::Nowhere;
}

KeyTarget RouteTextKey(unsigned message, long key, bool control) noexcept {
    constexpr unsigned kKeyDown = 0x100, kKeyUp = 0x101, kChar = 0x102, kSysKeyDown = 0x104,
                       kSysDeadChar = 0x107;
    if (message >= kSysKeyDown && message <= kSysDeadChar)
        return KeyTarget::Frame;
    if (message == kKeyDown || message == kKeyUp) {
        if (key >= 33 && key <= 40) // Page Up, Page Down, End, Home and the arrows
            return KeyTarget::Control;
        if (control && (key == 'A' || key == 'C' || key == 45)) // 45: Insert
            return KeyTarget::Control;
    }
    // Ctrl+A and Ctrl+C as characters, for a control that acts on those.
    if (message == kChar && (key == 1 || key == 3))
        return KeyTarget::Control;
    return KeyTarget::Nowhere;
}

std::vector<std::string> PageLinks() {
    return {std::string(kMakerHome), "mailto:" + std::string(kMakerMail)};
}

std::optional<std::string> PageLinkFor(std::wstring_view url) {
    for (const std::string& link : PageLinks()) {
        const std::wstring wide(link.begin(), link.end()); // the links are ASCII
        for (const std::wstring& spelling : {wide, wide + L"/"})
            if (url.size() == spelling.size() && StartsWithNoCase(url, spelling))
                return link;
    }
    return std::nullopt;
}

Navigation ClassifyNavigation(std::wstring_view url) {
    if (url.size() == 11 && StartsWithNoCase(url, L"about:blank"))
        return Navigation::Allow;
    return PageLinkFor(url) ? Navigation::OpenExternally : Navigation::Cancel;
}

} // namespace MHelpPage
