// The manual pages against the programs they describe: every command of the
// console's table and every option the programs' --help lists has its entry,
// and no entry names a command or option the programs do not have. So a new
// command or option cannot be added without its manual entry, nor one taken
// away and left in the manual.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/console_commands.h"
#include "tests/e2e/cli_process.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

// The page's text with roff's escapes for a dash and the font changes taken out.
std::string Plain(std::string text) {
    for (const char* escape : {"\\fB", "\\fI", "\\fR", "\\fP", "\\&"}) {
        for (std::size_t at = text.find(escape); at != std::string::npos; at = text.find(escape))
            text.erase(at, std::string(escape).size());
    }
    for (std::size_t at = text.find("\\-"); at != std::string::npos; at = text.find("\\-"))
        text.erase(at, 1);
    return text;
}

// The tag lines of the entries (the line after each .TP) of one section.
std::vector<std::string> EntryTags(const std::string& page, const std::string& section) {
    std::vector<std::string> tags;
    std::istringstream in(page);
    std::string line;
    bool inside = false;
    bool tagNext = false;
    while (std::getline(in, line)) {
        if (line.rfind(".SH ", 0) == 0) {
            inside = line.substr(4) == section;
            continue;
        }
        if (!inside)
            continue;
        if (tagNext) {
            tags.push_back(line);
            tagNext = false;
        }
        tagNext = line == ".TP";
    }
    return tags;
}

// The words of a tag line, without its macro, quotes and commas.
std::vector<std::string> Words(const std::string& tag) {
    std::string text = tag.substr(tag.find(' ') == std::string::npos ? tag.size() : tag.find(' '));
    for (char& c : text) {
        if (c == '"' || c == ',')
            c = ' ';
    }
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::set<std::string> OptionsOfPage(const std::string& page) {
    std::set<std::string> options;
    for (const std::string& tag : EntryTags(page, "OPTIONS")) {
        for (const std::string& word : Words(tag)) {
            if (word.size() > 1 && word[0] == '-')
                options.insert(word);
        }
    }
    return options;
}

// The options a program's --help lists: the first words of the lines of its
// "Options:" part that start with a dash.
std::set<std::string> OptionsOfHelp(const std::string& help) {
    std::set<std::string> options;
    std::istringstream in(help);
    std::string line;
    bool inside = false;
    const std::regex option(R"(^\s+(-[-a-zA-Z]*)(,\s*(-[-a-zA-Z]+))?)");
    while (std::getline(in, line)) {
        if (line == "Options:") {
            inside = true;
            continue;
        }
        if (inside && line.empty())
            break;
        std::smatch match;
        if (inside && std::regex_search(line, match, option)) {
            options.insert(match[1]);
            if (match[3].matched)
                options.insert(match[3]);
        }
    }
    return options;
}

std::string Page(const char* name) {
    std::string page = ReadFileBytes(SourcePath(std::string("resources/") + name));
    EXPECT_FALSE(page.empty()) << name;
    return Plain(page);
}

TEST(ManPages, TheConsolePageHasEveryCommandOfTheTableAndNoOther) {
    const std::string page = Page("ostrel-cli.1");
    std::set<std::string> documented;
    for (const std::string& tag : EntryTags(page, "COMMANDS")) {
        std::vector<std::string> words = Words(tag);
        ASSERT_FALSE(words.empty()) << tag;
        documented.insert(words[0]);
        // A command that takes a FILE shows it in its entry.
        for (const cli::ConsoleCommand& command : cli::ConsoleCommands()) {
            if (command.name == words[0]) {
                bool namesFile = words.size() > 1 && words[1] == "FILE";
                EXPECT_EQ(namesFile, command.takesFile) << tag;
                // The readbacks may name the file they write.
                bool mayNameFile = words.size() > 1 && words[1] == "[FILE]";
                EXPECT_EQ(mayNameFile, command.result == cli::ConsoleResult::ReadbackTxt ||
                                           command.result == cli::ConsoleResult::ReadbackHex)
                    << tag;
            }
        }
    }
    std::set<std::string> table;
    for (const cli::ConsoleCommand& command : cli::ConsoleCommands())
        table.insert(std::string(command.name));
    EXPECT_EQ(documented, table);
}

TEST(ManPages, EachPageHasEveryOptionOfItsProgramsHelpAndNoOther) {
    struct Case {
        const char* page;
        const char* program;
    };
    std::vector<Case> cases;
#ifdef OSTREL_CLI
    cases.push_back({"ostrel-cli.1", OSTREL_CLI});
#endif
#if defined(OSTREL_GUI_PROGRAM) && !defined(_WIN32)
    // The manual page is the Linux desktop program's; the Windows one has no
    // console to print its help on.
    cases.push_back({"ostrel.1", OSTREL_GUI_PROGRAM});
#endif
    if (cases.empty())
        GTEST_SKIP() << "no program was built";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        ProcessResult help = RunProcess(c.program, {"--help"});
        ASSERT_TRUE(ExitedWith(help, 0));
        const std::set<std::string> listed = OptionsOfHelp(help.out);
        EXPECT_GE(listed.size(), 3u) << help.out;
        EXPECT_EQ(OptionsOfPage(Page(c.page)), listed);
    }
}

// Every example a page or the package README names is shipped with the package.
TEST(ManPages, TheExamplesNamedAreShipped) {
    const std::regex example(R"(examples/([A-Za-z0-9_.-]+))");
    for (const char* file : {"ostrel-cli.1", "ostrel.1", "README.package"}) {
        SCOPED_TRACE(file);
        const std::string text = Page(file);
        int named = 0;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), example);
             it != std::sregex_iterator(); ++it) {
            ++named;
            const std::string name = (*it)[1];
            EXPECT_TRUE(std::filesystem::is_regular_file(SourcePath("examples/" + name))) << name;
        }
        EXPECT_GT(named, 0) << "no example named";
    }
}

}  // namespace
}  // namespace ostrel::testing
