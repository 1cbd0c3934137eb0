// Saving a copy that plays, against a loopback site made of real movies from ../shared/data/swf and the files
// they load, with files missing, redirects, errors and a broken answer. What each movie loads was written
// here from its ActionScript source (Main.as, Test.as, test.as beside it), never from the reader. The manifest
// is read back by Python's json module.
#include "capture/CompleteSave.h"
#include "support/Files.h"
#include "support/FolderServer.h"
#include "support/Loopback.h"
#include "support/ManifestReading.h"
#include "support/RunGrab.h"
#include "support/SharedData.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

// The page embeds five real movies: one with base "." (its loads resolve against its own folder), two whose
// loads resolve against the page first, one behind a redirect, one that loads a name with a query.
constexpr const char* kPage = R"(<html><body>
<embed src="../040-loader-child-getdefinition/test.swf" base="." width="550" height="400">
<embed src="/033-url-loader/test.swf" width="550" height="400">
<object type="application/x-shockwave-flash" data="/013-sound-multiple-load/test.swf"></object>
<embed src="/legacy/loader.swf">
<embed src="/032-loader-events/test.swf">
</body></html>
)";

std::atomic<bool> g_secondVisit{false};

void Routes(httplib::Server& server, const std::string& movies)
{
    server.Get("/games/index.html",
               [](const httplib::Request&, httplib::Response& res) { res.set_content(kPage, "text/html"); });
    server.Get("/legacy/loader.swf",
               [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/001-loadmovie/test.swf"); });
    server.Get("/games/target.swf",
               [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/001-loadmovie/target.swf"); });
    server.Get("/013-sound-multiple-load/sound.mp3", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("server error", "text/plain");
    });
    // Says 40,000 bytes and breaks off after three.
    server.Get("/013-sound-multiple-load/noise.mp3", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(40000, "audio/mpeg", [](std::size_t, std::size_t, httplib::DataSink& sink) {
            sink.write("ID3", 3);
            return false;
        });
    });
    // A name that is a file and a folder, and a very long one.
    server.Get(R"(/shape/(.*))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("shape " + std::string(req.matches[1]), "text/plain");
    });
    // What a second visit no longer finds.
    server.Get("/fading/data.xml", [](const httplib::Request&, httplib::Response& res) {
        if (g_secondVisit)
            res.status = 404;
        res.set_content(g_secondVisit ? "gone" : "<data/>", "text/xml");
    });
    test::ServeFolder(server, movies);
}

class CompleteSaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ClearProxyEnvironment();
        PLUMEROC_SHARED_DATA_OR_SKIP(movies, "swf");
        m_movies = movies;
        m_server = std::make_unique<test::LoopbackServer>([&](httplib::Server& s) { Routes(s, m_movies); },
                                                          test::Connections::kKept);
        g_secondVisit = false;
    }

    std::string Url(const std::string& path) const { return m_server->Url(path); }
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_server->Port()); }
    std::string Movie(const std::string& relative) const { return test::ReadFile(m_movies + "/" + relative); }

    // Runs a save into `folder` with the live site as its only source.
    test::Manifest Save(const std::string& folder, const std::function<void(capture::CompleteSave&)>& add,
                        const std::atomic<bool>* stop = nullptr,
                        const std::function<void(const std::string&)>& fetching = {})
    {
        capture::LiveSource live;
        capture::CompleteSave save(folder, {&live});
        if (fetching)
            save.onFetching = [&](const std::string& address, std::size_t, std::size_t) { fetching(address); };
        add(save);
        save.Run(stop);
        std::string error;
        EXPECT_TRUE(save.WriteManifest(error)) << error;
        m_missing = save.Manifest().MissingCount();
        return test::ReadManifest(folder + "/plumeroc-manifest.json");
    }

    // Every file below `folder` but the manifest, relative to it.
    static std::vector<std::string> SavedFiles(const std::string& folder)
    {
        std::vector<std::string> files;
        for (const std::string& file : test::FilesBelow(folder)) {
            const std::string relative = fs::relative(file, folder).string();
            if (relative != "plumeroc-manifest.json")
                files.push_back(relative);
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    std::string Sha256Sum(const std::string& path)
    {
        const test::GrabRun run = test::RunProgram({"sha256sum", path}, m_scratch.Path());
        return run.out.substr(0, run.out.find(' '));
    }

    std::string m_movies;
    std::unique_ptr<test::LoopbackServer> m_server;
    test::TempFolder m_scratch;
    std::size_t m_missing = 0;
};

TEST_F(CompleteSaveTest, APageWithEveryFileItsMoviesLoadLaidOutLikeTheSite)
{
    const test::TempFolder copy;
    const test::Manifest manifest =
        Save(copy.Path(), [&](capture::CompleteSave& save) { save.AddAddress(Url("/games/index.html")); });
    EXPECT_EQ(manifest.manifest, "plumeroc");
    EXPECT_EQ(manifest.version, 1);
    EXPECT_FALSE(manifest.cancelled);
    EXPECT_THAT(manifest.sources, ElementsAre("live"));
    EXPECT_THAT(manifest.starts, ElementsAre(Url("/games/index.html")));

    const std::string page = Url("/games/index.html");
    struct Saved {
        std::string path;     // below the site's folder on both sides
        std::string realFile; // in ../shared/data/swf, or empty for the test's own answers
        std::string found;    // "how by name", by as a path of the site
    };
    const std::vector<Saved> saved = {
        {"games/index.html", "", "start - " + page},
        {"040-loader-child-getdefinition/test.swf", "040-loader-child-getdefinition/test.swf",
         "page /games/index.html /040-loader-child-getdefinition/test.swf"},
        {"040-loader-child-getdefinition/child/child.swf", "040-loader-child-getdefinition/child/child.swf",
         "abc /040-loader-child-getdefinition/test.swf ./child/child.swf"},
        {"033-url-loader/test.swf", "033-url-loader/test.swf", "page /games/index.html /033-url-loader/test.swf"},
        {"033-url-loader/data.txt", "033-url-loader/data.txt", "abc /033-url-loader/test.swf data.txt"},
        {"033-url-loader/data.bin", "033-url-loader/data.bin", "abc /033-url-loader/test.swf data.bin"},
        {"013-sound-multiple-load/test.swf", "013-sound-multiple-load/test.swf",
         "page /games/index.html /013-sound-multiple-load/test.swf"},
        {"legacy/loader.swf", "001-loadmovie/test.swf", "page /games/index.html /legacy/loader.swf"},
        {"games/target.swf", "001-loadmovie/target.swf", "action /legacy/loader.swf target.swf"},
        {"032-loader-events/test.swf", "032-loader-events/test.swf",
         "page /games/index.html /032-loader-events/test.swf"},
        {"032-loader-events/loadable.swf?paramOne=ValOne&paramTwo=ValTwo", "032-loader-events/loadable.swf",
         "abc /032-loader-events/test.swf ./loadable.swf?paramOne=ValOne&paramTwo=ValTwo"},
    };
    // "how by name" with the site's paths as addresses: "by" always, the name where the page lists the movie.
    const auto withSite = [&](const std::string& found) {
        const std::size_t first = found.find(' ');
        const std::size_t second = found.find(' ', first + 1);
        const std::string how = found.substr(0, first);
        const std::string by = found.substr(first + 1, second - first - 1);
        const std::string name = found.substr(second + 1);
        return how + " " + (by == "-" ? by : Url(by)) + " " + (how == "page" ? Url(name) : name);
    };
    std::vector<std::string> expectedFiles;
    for (const Saved& file : saved) {
        const std::string address = Url("/" + file.path);
        SCOPED_TRACE(address);
        const test::ManifestFile& record = manifest.File(address);
        ASSERT_TRUE(record.saved) << record.reason;
        EXPECT_EQ(record.path, Host() + "/" + file.path);
        EXPECT_EQ(record.from, "live");
        EXPECT_EQ(record.status, 200);
        EXPECT_THAT(record.found, ElementsAre(withSite(file.found)));
        const std::string onDisk = copy / record.path;
        if (!file.realFile.empty()) {
            EXPECT_EQ(test::ReadFile(onDisk), Movie(file.realFile));
        }
        EXPECT_EQ(record.size, fs::file_size(onDisk));
        EXPECT_EQ(record.sha256, Sha256Sum(onDisk));
        expectedFiles.push_back(record.path);
    }
    std::sort(expectedFiles.begin(), expectedFiles.end());
    // Nothing else was written: no temporary file is left, nothing went outside the site's folder.
    EXPECT_EQ(SavedFiles(copy.Path()), expectedFiles);

    // Redirects: saved where the movie asked, with where the answer came from.
    EXPECT_EQ(manifest.File(Url("/legacy/loader.swf")).finalAddress, Url("/001-loadmovie/test.swf"));
    EXPECT_EQ(manifest.File(Url("/games/target.swf")).finalAddress, Url("/001-loadmovie/target.swf"));
    // The page's folder is asked first; the movie's own folder answered. The untried candidate is noted.
    EXPECT_THAT(manifest.File(Url("/033-url-loader/data.txt")).alternatives,
                ElementsAre(Url("/games/data.txt") + " status"));
    EXPECT_THAT(manifest.File(Url("/games/target.swf")).alternatives, ElementsAre(Url("/legacy/target.swf") + " "));
    const test::ManifestFile& onlyAnAlternative = manifest.File(Url("/games/data.txt"));
    EXPECT_FALSE(onlyAnAlternative.saved);
    EXPECT_EQ(onlyAnAlternative.status, 404);
    EXPECT_TRUE(onlyAnAlternative.found.empty());

    // Missing: the file the source expects to fail, an error status, a broken answer. Each stays with the first
    // candidate of its name, the other candidate's failure noted beside it.
    const test::ManifestFile& missingFile = manifest.File(Url("/games/missingFile.bin"));
    EXPECT_EQ(missingFile.reason, "status");
    EXPECT_EQ(missingFile.status, 404);
    EXPECT_THAT(missingFile.found, ElementsAre("abc " + Url("/033-url-loader/test.swf") + " missingFile.bin"));
    EXPECT_THAT(missingFile.alternatives, ElementsAre(Url("/033-url-loader/missingFile.bin") + " status"));
    EXPECT_THAT(manifest.File(Url("/games/sound.mp3")).alternatives,
                ElementsAre(Url("/013-sound-multiple-load/sound.mp3") + " status"));
    EXPECT_EQ(manifest.File(Url("/013-sound-multiple-load/sound.mp3")).status, 500);
    EXPECT_THAT(manifest.File(Url("/games/noise.mp3")).alternatives,
                ElementsAre(Url("/013-sound-multiple-load/noise.mp3") + " broke off"));
    EXPECT_EQ(m_missing, 3u);
}

TEST_F(CompleteSaveTest, HostileAddressesAndLinksNeverLeadOutsideTheCopy)
{
    const test::TempFolder outside;
    const test::TempFolder copy;
    const test::Manifest manifest = Save(copy.Path(), [&](capture::CompleteSave& save) {
        save.AddAddress(Url("/%2e%2e/%2E%2e/escape.swf"));
        save.AddAddress(Url("/games/../../escape.swf"));
        save.AddAddress("http://../escape.swf");
        save.AddAddress("http://%2F" + outside.Path() + "/escape.swf");
        save.AddAddress("http:///" + outside.Path() + "/escape.swf");
        save.AddAddress("http://plumeroc-manifest.json/escape.swf");
        save.AddAddress("file://" + outside.Path() + "/escape.swf");
    });
    ASSERT_EQ(manifest.files.size(), 7u);
    for (const test::ManifestFile& file : manifest.files) {
        SCOPED_TRACE(file.address);
        EXPECT_FALSE(file.saved);
        EXPECT_EQ(file.reason, "refused");
        EXPECT_TRUE(file.tried.empty()); // never asked for
    }
    EXPECT_TRUE(test::FilesBelow(outside.Path()).empty());

    // A link inside the copy that points outside is never followed, as a folder or as a file.
    const test::TempFolder linked;
    fs::create_symlink(outside.Path(), linked / Host());
    const test::Manifest throughLink =
        Save(linked.Path(), [&](capture::CompleteSave& save) { save.AddAddress(Url("/001-loadmovie/test.swf")); });
    EXPECT_EQ(throughLink.File(Url("/001-loadmovie/test.swf")).reason, "not written");
    fs::remove(linked / Host());
    fs::create_directories(linked / (Host() + "/001-loadmovie"));
    const std::string victim = outside.Write("victim.swf", "keep me");
    fs::create_symlink(victim, linked / (Host() + "/001-loadmovie/test.swf"));
    const test::Manifest overLink =
        Save(linked.Path(), [&](capture::CompleteSave& save) { save.AddAddress(Url("/001-loadmovie/test.swf")); });
    EXPECT_TRUE(overLink.File(Url("/001-loadmovie/test.swf")).saved);
    EXPECT_FALSE(fs::is_symlink(linked / (Host() + "/001-loadmovie/test.swf")));
    EXPECT_EQ(test::ReadFile(victim), "keep me");
    EXPECT_EQ(test::FilesBelow(outside.Path()), std::vector<std::string>{victim});
}

TEST_F(CompleteSaveTest, ANameThatIsAFileAndAFolderAndNamesTooLongForTheFileSystem)
{
    const std::string longName(300, 'n');
    for (const bool fileFirst : {true, false}) {
        SCOPED_TRACE(fileFirst ? "the file first" : "the folder's file first");
        const test::TempFolder copy;
        const test::Manifest manifest = Save(copy.Path(), [&](capture::CompleteSave& save) {
            if (fileFirst)
                save.AddAddress(Url("/shape/a"));
            save.AddAddress(Url("/shape/a/b"));
            if (!fileFirst)
                save.AddAddress(Url("/shape/a"));
            save.AddAddress(Url("/shape/a/"));
            save.AddAddress(Url("/shape/" + longName + ".swf"));
        });
        EXPECT_EQ(manifest.File(Url("/shape/a")).path, Host() + "/shape/a/index.html");
        EXPECT_EQ(test::ReadFile(copy / (Host() + "/shape/a/index.html")), "shape a");
        EXPECT_EQ(test::ReadFile(copy / (Host() + "/shape/a/b")), "shape a/b");
        // The folder's own address comes to the same name: it takes one of its own.
        const std::string folderPage = manifest.File(Url("/shape/a/")).path;
        EXPECT_THAT(folderPage, ::testing::MatchesRegex(".*/shape/a/index~[0-9a-f]{8}\\.html"));
        EXPECT_EQ(test::ReadFile(copy / folderPage), "shape a/");
        const std::string shortened = manifest.File(Url("/shape/" + longName + ".swf")).path;
        const std::string name = shortened.substr(shortened.rfind('/') + 1);
        EXPECT_LE(name.size(), 255u);
        EXPECT_TRUE(name.starts_with(std::string(200, 'n') + "~")) << name;
        EXPECT_TRUE(name.ends_with(".swf")) << name;
        EXPECT_EQ(test::ReadFile(copy / shortened), "shape " + longName + ".swf");
        EXPECT_EQ(SavedFiles(copy.Path()).size(), 4u);
    }
}

TEST_F(CompleteSaveTest, ASecondSaveIntoTheCopyKeepsWhatTheSiteNoLongerGives)
{
    const test::TempFolder copy;
    const auto add = [&](capture::CompleteSave& save) {
        save.AddAddress(Url("/001-loadmovie/test.swf"));
        save.AddAddress(Url("/fading/data.xml"));
    };
    const test::Manifest first = Save(copy.Path(), add);
    ASSERT_TRUE(first.File(Url("/fading/data.xml")).saved);
    const std::vector<std::string> files = SavedFiles(copy.Path());

    g_secondVisit = true;
    const test::Manifest second = Save(copy.Path(), add);
    EXPECT_EQ(second.File(Url("/fading/data.xml")).status, 404);
    EXPECT_EQ(test::ReadFile(copy / (Host() + "/fading/data.xml")), "<data/>");
    // The same names as the first time: nothing taken for another address's.
    EXPECT_EQ(SavedFiles(copy.Path()), files);
    EXPECT_EQ(second.File(Url("/001-loadmovie/target.swf")).path, Host() + "/001-loadmovie/target.swf");
}

TEST_F(CompleteSaveTest, ACancelledSaveSaysSoAndLeavesNoHalfFile)
{
    const test::TempFolder copy;
    std::atomic<bool> stop{false};
    int fetches = 0;
    const test::Manifest manifest = Save(
        copy.Path(), [&](capture::CompleteSave& save) { save.AddAddress(Url("/games/index.html")); }, &stop,
        [&](const std::string&) {
            if (++fetches == 3)
                stop = true;
        });
    EXPECT_TRUE(manifest.cancelled);
    EXPECT_EQ(fetches, 3);
    const auto cancelled = std::count_if(manifest.files.begin(), manifest.files.end(),
                                         [](const test::ManifestFile& file) { return file.reason == "cancelled"; });
    EXPECT_EQ(cancelled, static_cast<long>(manifest.files.size()) - 2);
    EXPECT_EQ(SavedFiles(copy.Path()).size(), 2u);
}

TEST_F(CompleteSaveTest, AMovieAtHandWithOrWithoutItsAddress)
{
    const std::string movie = Movie("001-loadmovie/test.swf");
    const test::TempFolder copy;
    const test::Manifest manifest = Save(copy.Path(), [&](capture::CompleteSave& save) {
        // A plain file: its relative name has nothing to be resolved against.
        save.AddMovieBytes(movie, std::nullopt, "/somewhere/loader.swf");
        // A cache entry's movie: saved at its address, its file fetched from beside it.
        save.AddMovieBytes(movie, Url("/001-loadmovie/cached.swf"), "/cache/entry");
        save.AddPlayed(Url("/001-loadmovie/cached.swf"), {Url("/033-url-loader/data.txt")});
    });
    const test::ManifestFile& plain = manifest.File("/somewhere/loader.swf");
    EXPECT_TRUE(plain.saved);
    EXPECT_EQ(plain.path, "loader.swf");
    EXPECT_EQ(plain.from, "local");
    EXPECT_THAT(manifest.unresolved, ElementsAre("target.swf action"));
    const test::ManifestFile& entry = manifest.File(Url("/001-loadmovie/cached.swf"));
    EXPECT_EQ(entry.path, Host() + "/001-loadmovie/cached.swf");
    EXPECT_EQ(entry.facts.at("file"), "/cache/entry");
    EXPECT_EQ(test::ReadFile(copy / entry.path), movie);
    EXPECT_TRUE(manifest.File(Url("/001-loadmovie/target.swf")).saved);
    EXPECT_THAT(manifest.File(Url("/033-url-loader/data.txt")).found,
                ElementsAre("played " + Url("/001-loadmovie/cached.swf") + " " + Url("/033-url-loader/data.txt")));
}

} // namespace
