#include <gtest/gtest.h>

#include <ostream>
#include <string_view>
#include <vector>

#include "ui/help/HelpText.h"

using HelpText::Block;
using HelpText::Kind;

namespace HelpText {
// A failure names the kind and shows the text.
void PrintTo(const Block& block, std::ostream* out) {
    const char* kinds[] = {"heading", "item", "paragraph"};
    *out << kinds[static_cast<int>(block.kind)] << " \"" << block.text << "\"";
}
} // namespace HelpText

// What a reader without a browser gets from the page's markup: the blocks a browser would show,
// each of the right kind, with no markup, address or stray white space left in them.
TEST(HelpText, BlocksAsABrowserWouldShowThem) {
    struct Case {
        const char* name;
        std::string_view body;
        std::vector<Block> blocks;
    };
    const Case cases[] = {
        {.name = "heading by class, then text after it",
         .body = "<div class='box header'><span>Title</span></div>after",
         .blocks = {{Kind::Heading, "Title"}, {Kind::Paragraph, "after"}}},
        {.name = "heading element",
         .body = "<H2>Sub</H2><p>Text</p>",
         .blocks = {{Kind::Heading, "Sub"}, {Kind::Paragraph, "Text"}}},
        {.name = "a class that only starts like a heading's",
         .body = "<div title=\"header\" class=\"headerline\">Plain</div>",
         .blocks = {{Kind::Paragraph, "Plain"}}},
        {.name = "list items, the last one unclosed",
         .body = "<ul style=\"x\"><li>One</li>\n<LI><p>Two</p></li><li>Three</ul>",
         .blocks = {{Kind::Item, "One"}, {Kind::Item, "Two"}, {Kind::Item, "Three"}}},
        {.name = "a heading inside an item",
         .body = "<ul><li><h3>Part</h3>text</li></ul>",
         .blocks = {{Kind::Heading, "Part"}, {Kind::Item, "text"}}},
        {.name = "white space collapses around words and line breaks",
         .body = "<li>  Value: \r\n\t<br />  HKEY\\Path <span>x</span>y <br /></li>",
         .blocks = {{Kind::Item, "Value:\nHKEY\\Path xy"}}},
        {.name = "links are their text",
         .body = "<p>Site - <a href=\"https://x.example/a>b\">x.example</a> -"
                 " <a href='mailto:i@x.example'>i@x.example</a></p>",
         .blocks = {{Kind::Paragraph, "Site - x.example - i@x.example"}}},
        {.name = "character references",
         .body = "<p>a &amp; b &lt;c&gt; &quot;&#228;&#xE4;&#x20AC;&nbsp;&bogus; & &#0; x</p>",
         .blocks = {{Kind::Paragraph,
                     "a & b <c> \"\xC3\xA4\xC3\xA4\xE2\x82\xAC\xC2\xA0&bogus; & &#0; x"}}},
        {.name = "text after a nested block is a block of its own",
         .body = "<div class=\"footer\"><p>in</p>tail</div></div>",
         .blocks = {{Kind::Paragraph, "in"}, {Kind::Paragraph, "tail"}}},
        {.name = "blocks without text and comments are left out",
         .body = "<div> </div><p><br /></p><!-- <p>hidden</p> --><p>shown</p>",
         .blocks = {{Kind::Paragraph, "shown"}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HelpText::Blocks(c.body), c.blocks) << c.name;
}
