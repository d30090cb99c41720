// The release's manual and /? against the program's own tables, so that neither can drift: every
// exit code the program ends with, and every function as the window's list entry with the
// command line's keyword and the keys that offer it, in both languages.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/CommandLine.h"
#include "core/KeyCatalogue.h"

using namespace CommandLine;

namespace {

// The manual's German half, or its English one (after the line "ENGLISH").
std::string ManualHalf(bool german) {
    std::ifstream in(TAVELIN_MANUAL, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::size_t english = text.find("\nENGLISH\n");
    return german ? text.substr(0, english) : text.substr(english);
}

// The lines after the first one that starts with heading, up to the next blank line.
std::vector<std::string> Table(const std::string& text, const std::string& heading) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.ends_with('\r'))
            line.pop_back();
        if (inside && line.empty())
            break;
        if (inside)
            lines.push_back(line);
        inside = inside || line.starts_with(heading);
    }
    return lines;
}

// The codes a table names: each line that starts with two blanks and a number.
std::vector<int> Codes(const std::vector<std::string>& lines) {
    std::vector<int> codes;
    for (const std::string& line : lines)
        if (line.starts_with("  ") && line.size() > 2 && std::isdigit(line[2]))
            codes.push_back(std::stoi(line.substr(2)));
    return codes;
}

// Each line's columns, two or more blanks apart, as "a|b|c".
std::vector<std::string> Columns(const std::vector<std::string>& lines) {
    std::vector<std::string> rows;
    for (const std::string& line : lines) {
        std::string row;
        for (std::size_t at = line.find_first_not_of(' '); at < line.size();) {
            const std::size_t gap = line.find("  ", at);
            row += (row.empty() ? "" : "|") + line.substr(at, gap - at);
            at = gap == std::string::npos ? gap : line.find_first_not_of(' ', gap);
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace

TEST(ManualTest, ExitCodesAreTheProgramsOwn) {
    const std::vector<int> program(std::begin(kExitCodes), std::end(kExitCodes));
    struct Document {
        const char* name;
        std::string text;
        const char* heading;
    };
    const Document documents[] = {
        {.name = "manual DE", .text = ManualHalf(true), .heading = "  Code  Bedeutung"},
        {.name = "manual EN", .text = ManualHalf(false), .heading = "  Code  Meaning"},
        {.name = "/? DE", .text = UsageText("DE"), .heading = "Exit-Codes"},
        {.name = "/? EN", .text = UsageText("EN"), .heading = "Exit codes"},
    };
    for (const Document& document : documents)
        EXPECT_EQ(Codes(Table(document.text, document.heading)), program) << document.name;
}

TEST(ManualTest, FunctionsAreTheWindowsEntriesWithTheirKeywords) {
    for (const char* lang : {"DE", "EN"}) {
        std::vector<std::string> program;
        for (const KeyOption& option : KeyCatalogue().Rows()) {
            std::string keys;
            for (int row = 0; row < kKeyCount; ++row)
                if (option.OfferedFor(row))
                    keys += (keys.empty() ? "" : " ") + std::string(KeyCatalogue().ById(row)->NAME);
            program.push_back(std::string(option.DisplayName(lang)) + "|" +
                              std::string(option.NAME) + "|" + keys);
        }
        const bool german = lang == std::string("DE");
        EXPECT_EQ(Columns(Table(ManualHalf(german),
                                german ? "  Eintrag in der Liste" : "  Entry in the list")),
                  program)
            << lang;
    }
}
