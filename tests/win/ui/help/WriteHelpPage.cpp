// Writes the help page as the help window assembles it, as a UTF-8 .html file.
// Usage: help_page_writer DE|EN output.html
#include <cstdio>
#include <fstream>

#include "ui/help/HelpPage.h"
#include "ui/help/HelpResource.h"

int main(int argc, char** argv) {
    if (argc != 3)
        return std::fputs("usage: help_page_writer DE|EN output.html\n", stderr), 2;
    // An unknown language ends in the missing resource's error, printed by the runtime.
    std::ofstream out(argv[2], std::ios::binary);
    out << HelpPage::AssemblePage(HelpResource::Text("CSS"),
                                  HelpResource::Text(HelpPage::BodyResourceName(argv[1])));
    return out.flush() ? 0 : 1;
}
