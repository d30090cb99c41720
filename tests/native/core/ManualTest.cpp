// The release's manual and /? held to the program's tables in both languages: every exit code, and
// every function as the window's list entry with its keyword and the keys that offer it.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "core/MCommandLine.h"
#include "core/MKeys.h"

namespace {

std::string ManualHalf(bool german) {
    std::ifstream in(TAVELIN_MANUAL, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::size_t english = text.find("\nENGLISH\n");
    return german ? text.substr(0, english) : text.substr(english); // German first
}

// The lines after the first one starting with heading, up to a blank line, each as its columns
// (two or more blanks apart) joined by "|".
std::vector<std::string> Table(const std::string& text, const std::string& heading) {
    std::istringstream in(text);
    std::vector<std::string> rows;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.ends_with('\r'))
            line.pop_back();
        if (inside && line.empty())
            break;
        const std::string row = std::regex_replace(line, std::regex("^ +| {2,}$"), "");
        if (inside)
            rows.push_back(std::regex_replace(row, std::regex(" {2,}"), "|"));
        inside = inside || line.starts_with(heading);
    }
    return rows;
}

} // namespace

TEST(ManualTest, ExitCodesAreTheProgramsOwn) {
    const std::vector<int> program(std::begin(MCommandLine::kExitCodes),
                                   std::end(MCommandLine::kExitCodes));
    const std::pair<std::string, std::string> documents[] = {
        {ManualHalf(true), "  Code  Bedeutung"},
        {ManualHalf(false), "  Code  Meaning"},
        {MCommandLine::UsageText(Language::German), "Exit-Codes"},
        {MCommandLine::UsageText(Language::English), "Exit codes"},
    };
    for (const auto& [text, heading] : documents) {
        std::vector<int> codes; // each row that begins with a number
        for (const std::string& row : Table(text, heading))
            if (std::isdigit(static_cast<unsigned char>(row[0])))
                codes.push_back(std::stoi(row));
        EXPECT_EQ(codes, program) << heading;
    }
}

TEST(ManualTest, FunctionsAreTheWindowsEntriesWithTheirKeywords) {
    for (const bool german : {true, false}) {
        std::vector<std::string> program;
        for (const KeyOption& option : MKeys::Catalogue().Rows()) {
            std::string row(option.DisplayName(german ? Language::German : Language::English));
            row += "|" + std::string(option.NAME) + "|";
            for (int key = 0; key < kKeyCount; ++key)
                if (option.OfferedFor(key))
                    row += std::string(MKeys::Catalogue().ById(key)->NAME) + " ";
            row.pop_back();
            program.push_back(row);
        }
        const char* heading = german ? "  Eintrag in der Liste" : "  Entry in the list";
        EXPECT_EQ(Table(ManualHalf(german), heading), program) << german;
    }
}
