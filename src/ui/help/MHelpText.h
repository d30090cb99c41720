// The help page as plain text with its structure, for the read-only text view that shows it where
// no browser control can. Pure code: it reads the page body's markup, never Windows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace MHelpText {

// A heading (h1 to h6, or an element of class "header"), a list item, or any other paragraph.
enum class Kind { Heading, Item, Paragraph };

struct Block {
    Kind kind = Kind::Paragraph;
    // UTF-8; "\n" where the page breaks the line.
    std::string text;
    bool operator==(const Block&) const = default;
};

// The body's text in reading order, one block per heading, list item and paragraph. White space
// collapses as a browser collapses it, links are their text (their addresses go nowhere), the
// common character references are decoded, and blocks without text are left out.
std::vector<Block> Blocks(std::string_view body);

} // namespace MHelpText
