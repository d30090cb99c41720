#include <gtest/gtest.h>

#include <ostream>
#include <string_view>
#include <vector>

#include "ui/help/MHelpText.h"

using MHelpText::Block;
using MHelpText::Kind;

namespace MHelpText {
// A failure names the kind and shows the text.
void PrintTo(const Block& block, std::ostream* out) {
    const char* kinds[] = {"heading", "item", "paragraph"};
    *out << kinds[static_cast<int>(block.kind)] << " \"" << block.text << "\"";
}
} // namespace MHelpText

// What a reader without a browser gets from the page's markup: the blocks a browser would show,
// each of the right kind, with no markup or stray white space left in them. (The page's heading,
// items and addresses as shown: FHelpTest.)
TEST(MHelpText, BlocksAsABrowserWouldShowThem) {
    const struct {
        const char* name;
        std::string_view body;
        std::vector<Block> blocks;
    } cases[] = {
        {.name = "heading by class, then text after it",
         .body = "<div class='box header'><span>Title</span></div>after",
         .blocks = {{Kind::Heading, "Title"}, {Kind::Paragraph, "after"}}},
        {.name = "list items, the last one unclosed",
         .body = "<ul style=\"x\"><li>One</li>\n<LI><p>Two</p></li><li>Three</ul>",
         .blocks = {{Kind::Item, "One"}, {Kind::Item, "Two"}, {Kind::Item, "Three"}}},
        {.name = "white space collapses around words and line breaks",
         .body = "<li>  Value: \r\n\t<br />  HKEY\\Path <span>x</span>y <br /></li>",
         .blocks = {{Kind::Item, "Value:\nHKEY\\Path xy"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MHelpText::Blocks(c.body), c.blocks) << c.name;
}
