// Writes the help page as the help window assembles it, as a UTF-8 .html file.
// Usage: help_page_writer DE|EN output.html
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "help/HelpPage.h"
#include "help/HelpResource.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: help_page_writer DE|EN output.html\n");
        return 2;
    }
    try {
        std::string page = HelpPage::AssemblePage(
            HelpResource::Text("CSS"), HelpResource::Text(HelpPage::BodyResourceName(argv[1])));
        std::ofstream out(argv[2], std::ios::binary);
        out << page;
        if (!out.flush()) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
