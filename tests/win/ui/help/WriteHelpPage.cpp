// Writes the help page as the help window assembles it, as a UTF-8 .html file.
// Usage: help_page_writer DE|EN output.html
#include <cstdio>
#include <fstream>
#include <string_view>

#include "ui/help/MHelpPage.h"
#include "ui/help/MHelpResource.h"

int main(int argc, char** argv) {
    const std::string_view code = argc == 3 ? argv[1] : "";
    if (code != "DE" && code != "EN") {
        std::fputs("usage: help_page_writer DE|EN output.html\n", stderr);
        return 2;
    }
    const Language lang = code == "DE" ? Language::German : Language::English;
    std::ofstream out(argv[2], std::ios::binary);
    out << MHelpPage::AssemblePage(MHelpResource::Text("CSS"),
                                   MHelpResource::Text(MHelpPage::BodyResourceName(lang)));
    return out.flush() ? 0 : 1;
}
