#pragma once
// A loopback page whose script fetch()es the test movies (plain, gzip, deflate, behind an address with no
// suffix, with a Content-Disposition name), a ".swf" address that answers 404 and one that answers with an
// empty body, for browsers to cache. The browser's load event waits until the script has read them all.
#include "support/Loopback.h"
#include "support/TestMovie.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace test {

struct ServedMovie {
    std::string address;  // the URL the page fetched it from
    std::string saveName; // the name the response was built to make a browser propose
    std::string movie;    // the movie's bytes before any content coding
    std::string coding;   // the Content-Encoding it was served with, or empty
    MovieRecipe recipe;   // what the movie shows
};

class MoviePage {
public:
    // `forBlockFiles` adds what a block-file cache keeps apart: a movie over 16 KiB (in a file of its own), and a
    // plain and a gzip movie whose headers pass 4 KiB (in data_3, the file copies of caches most often lack).
    explicit MoviePage(bool forBlockFiles = false);
    ~MoviePage();
    MoviePage(const MoviePage&) = delete;
    MoviePage& operator=(const MoviePage&) = delete;

    std::string Url() const;
    const std::vector<ServedMovie>& Movies() const { return m_movies; }
    // A ".swf" address that answered 404 with an HTML page.
    const std::string& MissingAddress() const { return m_missingAddress; }
    // A ".swf" address that answered 200 with an empty body.
    const std::string& EmptyAddress() const { return m_emptyAddress; }
    // Before the next browser loads the page.
    void Rearm() { m_scriptDone = false; }

    struct Route;

private:
    std::vector<Route> m_routes;
    std::string m_page;
    std::atomic<bool> m_scriptDone{false};
    std::unique_ptr<LoopbackServer> m_server;
    std::vector<ServedMovie> m_movies;
    std::string m_missingAddress, m_emptyAddress;
};

} // namespace test
