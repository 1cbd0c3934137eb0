// Where the program finds the Ruffle player from its own folder: beside it in the build folder, or
// where an installation under any prefix put it.
#include "controls/PreviewEngine.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The installation's layout below its prefix, as the build configured it.
const std::string kBinFolder = PLUMEROC_INSTALL_BINDIR;
const std::string kRuffleFolder = PLUMEROC_RUFFLE_INSTALL_DIR;

TEST(RuffleFolder, FoundBesideTheProgramFirstThenInTheInstalledPlace)
{
    const std::string beside = kBinFolder + "/ruffle";
    const struct {
        const char* what;
        std::vector<std::string> players; // folders given a ruffle.js
        std::vector<std::string> others;  // files or folders that are not a player
        std::string expected;             // below the prefix; empty: no player found
    } cases[] = {
        {"build folder", {beside}, {}, beside},
        {"installed", {kRuffleFolder}, {}, kRuffleFolder},
        {"both: the build folder's wins", {beside, kRuffleFolder}, {}, beside},
        {"folders without the player", {}, {beside + "/core.js", kRuffleFolder + "/LICENSE_MIT"}, ""},
        {"ruffle.js a folder", {}, {beside + "/ruffle.js/", kRuffleFolder + "/ruffle.js/"}, ""},
        {"nothing", {}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempFolder prefix;
        fs::create_directories(prefix / kBinFolder);
        for (const std::string& folder : c.players)
            prefix.Write(folder + "/ruffle.js", "window.RufflePlayer = {};");
        for (const std::string& other : c.others) {
            if (other.back() == '/')
                fs::create_directories(prefix / other);
            else
                prefix.Write(other, "x");
        }
        const QString found = preview::FindRuffleFolder(QString::fromStdString(prefix / kBinFolder));
        EXPECT_EQ(found.toStdString(), c.expected.empty() ? "" : prefix / c.expected);
    }
}

} // namespace
