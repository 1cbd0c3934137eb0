// plumeroc-grab save-complete --from-cache over caches that firefox-esr and chromium wrote at test time. The
// server the browsers fetched from is gone by then, so whatever the copy holds came out of the caches.
#include "support/Files.h"
#include "support/ManifestReading.h"
#include "support/RealBrowserCaches.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::vector<std::string> Environment(const std::string& home, std::string cacheHome)
{
    cacheHome.pop_back(); // the folder without its last "/"
    return {"PATH=/usr/bin:/bin", "HOME=" + home, "XDG_CACHE_HOME=" + cacheHome};
}

TEST(SaveFromCache, EveryMovieTheBrowsersKeptComesOutOfTheirCachesDecoded)
{
    const auto& caches = test::SharedBrowserCaches();
    const test::TempFolder scratch, home;
    for (const test::ServedMovie& movie : caches.Movies()) {
        SCOPED_TRACE(movie.address + (movie.coding.empty() ? "" : " (" + movie.coding + ")"));
        const test::TempFolder copy;
        const test::GrabRun run = test::RunGrab({"save-complete", "--from-cache", movie.address, copy.Path()},
                                                scratch.Path(), {}, Environment(home.Path(), caches.CacheFolder()));
        EXPECT_EQ(run.status, 0) << run.err;
        const test::Manifest manifest = test::ReadManifest(copy / "plumeroc-manifest.json");
        EXPECT_EQ(manifest.sources, (std::vector<std::string>{"cache", "live"}));
        const test::ManifestFile& file = manifest.File(movie.address);
        ASSERT_TRUE(file.saved) << file.reason;
        EXPECT_EQ(file.from, "cache");
        EXPECT_EQ(test::ReadFile(copy / file.path), movie.movie);
        std::set<std::string> entries;
        for (const test::BrowserRun& browser : caches.Runs())
            entries.insert(test::RealBrowserCaches::EntryFileOf(browser.cacheFolder, movie.address));
        EXPECT_TRUE(entries.contains(file.facts.at("entry"))) << file.facts.at("entry");
    }
}

TEST(SaveFromCache, WhatTheCachesDoNotHoldWholeIsAskedOfTheSite)
{
    const auto& caches = test::SharedBrowserCaches();
    const test::TempFolder scratch, home, withCache, without;
    const auto environment = Environment(home.Path(), caches.CacheFolder());
    // Kept with status 404: no file of the site, and the site itself is gone.
    const test::GrabRun missing = test::RunGrab(
        {"save-complete", "--from-cache", caches.MissingAddress(), withCache.Path()}, scratch.Path(), {}, environment);
    EXPECT_EQ(missing.status, 2) << missing.err;
    const test::ManifestFile file =
        test::ReadManifest(withCache / "plumeroc-manifest.json").File(caches.MissingAddress());
    EXPECT_FALSE(file.saved);
    EXPECT_EQ(file.reason, "no answer");
    EXPECT_EQ(file.tried, (std::vector<std::string>{"cache not there", "live no answer"}));
    // Without --from-cache a movie the caches hold cannot be had either.
    const test::GrabRun live = test::RunGrab({"save-complete", caches.Movies().front().address, without.Path()},
                                             scratch.Path(), {}, environment);
    EXPECT_EQ(live.status, 2) << live.err;
}

} // namespace
