#include "ui/help/MHelpText.h"

#include <cstdint>
#include <optional>

namespace MHelpText {

namespace {

bool IsSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsNameChar(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character a reference between '&' and ';' names, or nothing for one it does not know.
std::optional<std::uint32_t> Reference(std::string_view name) {
    if (name == "amp")
        return '&';
    if (name == "lt")
        return '<';
    if (name == "gt")
        return '>';
    if (name == "quot")
        return '"';
    if (name == "apos")
        return '\'';
    if (name == "nbsp")
        return 0xA0;
    if (name.size() < 2 || name[0] != '#')
        return std::nullopt;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    std::uint32_t code = 0;
    for (char c : name.substr(hex ? 2 : 1)) {
        int digit = c >= '0' && c <= '9'          ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
        if (digit < 0 || code > 0x10FFFF)
            return std::nullopt;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
    }
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    return code;
}

// The value of attribute `name` in a tag's attribute text, empty when it has none.
std::string Attribute(std::string_view attributes, std::string_view name) {
    size_t at = 0;
    while (at < attributes.size()) {
        while (at < attributes.size() && !IsNameChar(attributes[at]))
            ++at;
        const size_t start = at;
        while (at < attributes.size() && IsNameChar(attributes[at]))
            ++at;
        const std::string attribute = Lower(attributes.substr(start, at - start));
        while (at < attributes.size() && IsSpace(attributes[at]))
            ++at;
        std::string_view value;
        if (at < attributes.size() && attributes[at] == '=') {
            ++at;
            while (at < attributes.size() && IsSpace(attributes[at]))
                ++at;
            const char quote = at < attributes.size() ? attributes[at] : '\0';
            const bool quoted = quote == '"' || quote == '\'';
            const size_t from = quoted ? at + 1 : at;
            size_t end = from;
            while (end < attributes.size() &&
                   (quoted ? attributes[end] != quote : !IsSpace(attributes[end])))
                ++end;
            value = attributes.substr(from, end - from);
            at = quoted ? end + 1 : end;
        }
        if (attribute == name)
            return std::string(value);
    }
    return {};
}

bool HasClass(std::string_view classes, std::string_view wanted) {
    size_t at = 0;
    while (at < classes.size()) {
        while (at < classes.size() && IsSpace(classes[at]))
            ++at;
        const size_t start = at;
        while (at < classes.size() && !IsSpace(classes[at]))
            ++at;
        if (at > start && Lower(classes.substr(start, at - start)) == wanted)
            return true;
    }
    return false;
}

bool IsHeadingName(std::string_view name) noexcept {
    return name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6';
}

// Elements that begin and end a block of text; every other element flows within one.
bool IsBlockName(std::string_view name) noexcept {
    return name == "div" || name == "p" || name == "ul" || name == "ol" || name == "li" ||
           IsHeadingName(name);
}

// An open block element and the kind of text directly inside it (none: its parent's).
struct OpenBlock {
    std::string name;
    std::optional<Kind> kind;
};

class Builder {
  public:
    void Character(char c) {
        if (IsSpace(c)) {
            spaceWaiting_ = true;
            return;
        }
        if (spaceWaiting_ && !text_.empty() && text_.back() != '\n')
            text_ += ' ';
        spaceWaiting_ = false;
        text_ += c;
    }

    void Characters(std::string_view text) {
        for (char c : text)
            Character(c);
    }

    void LineBreak() {
        text_ += '\n';
        spaceWaiting_ = false;
    }

    // Ends the text so far as one block of the kind the open elements give it.
    void EndBlock(const std::vector<OpenBlock>& open) {
        const size_t first = text_.find_first_not_of('\n');
        const size_t last = text_.find_last_not_of('\n');
        if (first != std::string::npos) {
            Kind kind = Kind::Paragraph;
            for (auto it = open.rbegin(); it != open.rend(); ++it)
                if (it->kind) {
                    kind = *it->kind;
                    break;
                }
            blocks_.push_back({kind, text_.substr(first, last - first + 1)});
        }
        text_.clear();
        spaceWaiting_ = false;
    }

    std::vector<Block> Take() { return std::move(blocks_); }

  private:
    std::string text_;
    bool spaceWaiting_ = false;
    std::vector<Block> blocks_;
};

} // namespace

std::vector<Block> Blocks(std::string_view body) {
    Builder out;
    std::vector<OpenBlock> open;
    size_t at = 0;
    while (at < body.size()) {
        const char c = body[at];
        if (c == '&') {
            const size_t end = body.find(';', at + 1);
            const auto code = end != std::string_view::npos && end - at <= 10
                                  ? Reference(body.substr(at + 1, end - at - 1))
                                  : std::nullopt;
            if (!code) {
                out.Character(c);
                ++at;
                continue;
            }
            std::string decoded;
            AppendUtf8(decoded, *code);
            out.Characters(decoded);
            at = end + 1;
            continue;
        }
        if (c != '<') {
            out.Character(c);
            ++at;
            continue;
        }
        if (body.substr(at, 4) == "<!--") {
            const size_t end = body.find("-->", at + 4);
            at = end == std::string_view::npos ? body.size() : end + 3;
            continue;
        }
        // The tag's end, past any '>' inside a quoted attribute value.
        size_t end = at + 1;
        for (char quote = '\0'; end < body.size() && (quote || body[end] != '>'); ++end)
            if (quote ? body[end] == quote : body[end] == '"' || body[end] == '\'')
                quote = quote ? '\0' : body[end];
        const std::string_view tag = body.substr(at + 1, end - at - 1);
        at = end + 1;
        const bool closing = !tag.empty() && tag[0] == '/';
        size_t nameEnd = closing ? 1 : 0;
        while (nameEnd < tag.size() && IsNameChar(tag[nameEnd]))
            ++nameEnd;
        const std::string name = Lower(tag.substr(closing ? 1 : 0, nameEnd - (closing ? 1 : 0)));
        if (name == "br") {
            out.LineBreak();
            continue;
        }
        if (!IsBlockName(name))
            continue;
        out.EndBlock(open);
        if (closing) {
            for (size_t i = open.size(); i-- > 0;)
                if (open[i].name == name) {
                    open.resize(i);
                    break;
                }
            continue;
        }
        std::optional<Kind> kind;
        if (IsHeadingName(name) || HasClass(Attribute(tag.substr(nameEnd), "class"), "header"))
            kind = Kind::Heading;
        else if (name == "li")
            kind = Kind::Item;
        open.push_back({name, kind});
    }
    out.EndBlock(open);
    return out.Take();
}

} // namespace MHelpText
