// The manual pages against the programs' own --help: for plumeroc-grab the same commands in the same
// order, each with the same synopsis and options, and the same exit statuses; for plumeroc the same
// options. Both pages render cleanly.
#include "support/Files.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct CommandText {
    std::string synopsis; // e.g. "scan --base ADDRESS [-0] [FILE]"
    std::set<std::string> options;
};

// What the help or the manual says about the tool.
struct ToolText {
    std::vector<std::string> commands; // in the order listed
    std::map<std::string, CommandText> byName;
    std::vector<std::string> exitStatuses;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

std::size_t Indent(const std::string& line) { return line.find_first_not_of(' '); }

// The options a synopsis names: words beginning with "-", bracketed or not ("save-all" is no option).
std::set<std::string> OptionsOf(const std::string& synopsis)
{
    static const std::regex option(R"((?:^|[ \[])(--?[A-Za-z0-9][-A-Za-z0-9]*))");
    std::set<std::string> options;
    for (std::sregex_iterator it(synopsis.begin(), synopsis.end(), option), end; it != end; ++it)
        options.insert((*it)[1]);
    return options;
}

void AddCommand(ToolText& tool, const std::string& synopsis)
{
    const std::string name = FirstWord(synopsis);
    tool.commands.push_back(name);
    tool.byName[name].synopsis = synopsis;
}

// --help: each command's synopsis indented by two spaces below "Commands:", its summary deeper; the
// statuses as "Exit status: 0 success, 1 usage error, ...".
ToolText FromHelp(const std::string& help)
{
    ToolText tool;
    bool inCommands = false;
    for (const std::string& line : Lines(help)) {
        if (line == "Commands:")
            inCommands = true;
        else if (line.empty())
            inCommands = false;
        else if (inCommands && Indent(line) == 2)
            AddCommand(tool, line.substr(2));
    }
    for (auto& [name, command] : tool.byName)
        command.options = OptionsOf(command.synopsis);
    const std::size_t statuses = help.find("Exit status:");
    if (statuses != std::string::npos) {
        static const std::regex status(R"([:,]\s+(\d+)\s)");
        for (std::sregex_iterator it(help.begin() + static_cast<std::ptrdiff_t>(statuses), help.end(), status), end;
             it != end; ++it)
            tool.exitStatuses.push_back((*it)[1]);
    }
    return tool;
}

// The rendered page: under COMMANDS each command's synopsis at the first indent and its options at the
// second; under EXIT STATUS each status at the first indent.
ToolText FromManual(const std::string& page)
{
    constexpr std::size_t kFirst = 7, kSecond = 14;
    ToolText tool;
    std::string section;
    CommandText* current = nullptr;
    for (const std::string& line : Lines(page)) {
        const std::size_t indent = Indent(line);
        if (indent == std::string::npos)
            continue;
        if (indent == 0) {
            section = line;
        } else if (section == "COMMANDS" && indent == kFirst) {
            AddCommand(tool, line.substr(indent));
            current = &tool.byName[tool.commands.back()];
        } else if (section == "COMMANDS" && indent == kSecond && line[indent] == '-' && current != nullptr) {
            current->options.insert(FirstWord(line.substr(indent)));
        } else if (section == "EXIT STATUS" && indent == kFirst) {
            tool.exitStatuses.push_back(FirstWord(line.substr(indent)));
        }
    }
    return tool;
}

// The names in a list of options such as "-h, --help, help" or "--folder DIR": each item's first word.
void AddOptionNames(std::vector<std::string>& names, const std::string& list)
{
    std::istringstream items(list);
    for (std::string item; std::getline(items, item, ',');)
        names.push_back(FirstWord(item.substr(item.find_first_not_of(' '))));
}

// The options the OPTIONS section of a rendered page lists: its first-indent lines that begin with "-".
std::vector<std::string> GeneralOptions(const std::string& page)
{
    std::vector<std::string> options;
    std::string section;
    for (const std::string& line : Lines(page)) {
        if (Indent(line) == 0)
            section = line;
        else if (section == "OPTIONS" && Indent(line) == 7 && line[7] == '-')
            AddOptionNames(options, line.substr(7));
    }
    return options;
}

// The options Qt's --help lists below "Options:", as "  -h, --help      Displays ...".
[[maybe_unused]] std::vector<std::string> QtHelpOptions(const std::string& help)
{
    std::vector<std::string> options;
    bool inOptions = false;
    for (const std::string& line : Lines(help)) {
        if (line == "Options:")
            inOptions = true;
        else if (line.empty())
            inOptions = false;
        else if (inOptions && Indent(line) == 2 && line[2] == '-')
            AddOptionNames(options, line.substr(2, line.find("  ", 2) - 2));
    }
    return options;
}

struct Rendering {
    int status = -1;
    std::string text;
    std::string warnings;
};

// Plain text without wrapping, as groff lays the page out for a terminal; warnings apart.
Rendering Render(const std::string& page)
{
    const test::TempFolder scratch;
    const std::string command = "groff -man -Tascii -rLL=1000n -ww -P-cbou '" + page + "' > '" + scratch / "text"
        + "' 2> '" + scratch / "warnings" + "'";
    Rendering rendering;
    rendering.status = std::system(command.c_str());
    rendering.text = test::ReadFile(scratch / "text");
    rendering.warnings = test::ReadFile(scratch / "warnings");
    return rendering;
}

const std::string kManualFolder = PLUMEROC_MANUAL_FOLDER;

class GrabManual : public testing::Test {
protected:
    void SetUp() override
    {
        const test::GrabRun run = test::RunGrab({"--help"}, m_scratch.Path());
        ASSERT_EQ(run.status, 0) << run.err;
        m_helpText = run.out;
        m_help = FromHelp(run.out);
        const Rendering page = Render(kManualFolder + "/plumeroc-grab.1");
        ASSERT_EQ(page.status, 0) << page.warnings;
        m_pageText = page.text;
        m_manual = FromManual(page.text);
        // Neither side may be read as empty, or the comparisons below would prove nothing.
        ASSERT_GE(m_help.commands.size(), 7u) << run.out;
        ASSERT_GE(m_help.exitStatuses.size(), 3u) << run.out;
    }

    test::TempFolder m_scratch;
    std::string m_helpText;
    std::string m_pageText;
    ToolText m_help;
    ToolText m_manual;
};

TEST_F(GrabManual, ListsTheCommandsOfTheHelpInItsOrder) { EXPECT_EQ(m_manual.commands, m_help.commands); }

TEST_F(GrabManual, GivesEachCommandTheSynopsisAndOptionsOfTheHelp)
{
    for (const std::string& name : m_help.commands) {
        SCOPED_TRACE(name);
        const auto described = m_manual.byName.find(name);
        ASSERT_NE(described, m_manual.byName.end());
        EXPECT_EQ(described->second.synopsis, m_help.byName[name].synopsis);
        EXPECT_EQ(described->second.options, m_help.byName[name].options);
    }
}

TEST_F(GrabManual, ListsTheExitStatusesOfTheHelp) { EXPECT_EQ(m_manual.exitStatuses, m_help.exitStatuses); }

// --version prints the name and the version; every other general option prints the help.
TEST_F(GrabManual, EachGeneralOptionDoesWhatThePageSays)
{
    const std::vector<std::string> options = GeneralOptions(m_pageText);
    ASSERT_FALSE(options.empty()) << m_pageText;
    EXPECT_NE(std::find(options.begin(), options.end(), "--version"), options.end()) << m_pageText;
    for (const std::string& option : options) {
        const test::GrabRun run = test::RunGrab({option}, m_scratch.Path());
        EXPECT_EQ(run.status, 0) << option << ": " << run.err;
        EXPECT_EQ(run.out, option == "--version" ? "plumeroc-grab " PLUMEROC_VERSION "\n" : m_helpText) << option;
    }
}

// The version the programs print is the project's, and the one their manual pages carry.
TEST_F(GrabManual, CarriesTheVersionTheProgramPrints)
{
    EXPECT_NE(m_pageText.find("Plumeroc " PLUMEROC_VERSION), std::string::npos) << m_pageText;
    EXPECT_NE(m_helpText.find("--version"), std::string::npos) << m_helpText;
}

#ifdef PLUMEROC_WINDOW_PATH
TEST(WindowManual, ListsTheOptionsOfTheProgramsHelp)
{
    const test::TempFolder scratch;
    const std::string command = std::string("QT_QPA_PLATFORM=offscreen '") + PLUMEROC_WINDOW_PATH + "' --help > '"
        + scratch / "help" + "' 2> /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string help = test::ReadFile(scratch / "help");
    std::vector<std::string> programs = QtHelpOptions(help);
    ASSERT_FALSE(programs.empty()) << help;
    const Rendering page = Render(kManualFolder + "/plumeroc.1");
    std::vector<std::string> manuals = GeneralOptions(page.text);
    std::sort(programs.begin(), programs.end());
    std::sort(manuals.begin(), manuals.end());
    EXPECT_EQ(manuals, programs) << help;
}

TEST(WindowManual, VersionOptionPrintsTheNameAndTheVersionOfThePage)
{
    const test::TempFolder scratch;
    const std::string command = std::string("QT_QPA_PLATFORM=offscreen '") + PLUMEROC_WINDOW_PATH + "' --version > '"
        + scratch / "version" + "' 2> /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(test::ReadFile(scratch / "version"), "Plumeroc " PLUMEROC_VERSION "\n");
    EXPECT_NE(Render(kManualFolder + "/plumeroc.1").text.find("Plumeroc " PLUMEROC_VERSION), std::string::npos);
}
#endif

TEST(ManualPages, RenderWithoutWarnings)
{
    std::vector<std::string> pages;
    for (const auto& entry : std::filesystem::directory_iterator(kManualFolder)) {
        if (entry.path().extension() == ".1")
            pages.push_back(entry.path().string());
    }
    ASSERT_FALSE(pages.empty());
    for (const std::string& path : pages) {
        const Rendering page = Render(path);
        EXPECT_EQ(page.status, 0) << path;
        EXPECT_EQ(page.warnings, "") << path;
        EXPECT_NE(page.text.find("\nNAME\n"), std::string::npos) << path;
    }
}

} // namespace
