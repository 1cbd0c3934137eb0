// Opening the typed-address key over five browser profiles of 10,000 history rows each, against a
// plain count of the same tables through ordinary read-only connections.
#include "platform/Registry.h"
#include "support/BrowserProfiles.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

namespace fs = std::filesystem;

constexpr int kRowsPerProfile = 10000;

std::vector<test::Visit> RandomVisits(std::mt19937& random);

// Three Firefox profiles and two Chromium-family ones, all closed as a browser leaves them.
struct Profiles {
    Profiles();
    test::TempHome home;
    std::vector<std::pair<fs::path, const char*>> counts; // file and its plain count query
};

Profiles::Profiles()
{
    std::mt19937 random(7);
    const fs::path firefox = home / ".mozilla/firefox";
    test::WriteProfilesIni(firefox, {{"a.default", true}, {"b.default", true}, {"c.default", true}});
    for (const char* name : {"a.default", "b.default", "c.default"}) {
        test::WriteFirefoxPlaces(firefox / name / "places.sqlite", RandomVisits(random));
        counts.emplace_back(firefox / name / "places.sqlite", "SELECT count(*) FROM moz_places");
    }
    for (const char* folder : {".config/chromium/Default", ".config/google-chrome/Profile 1"}) {
        test::WriteChromiumHistory(fs::path(home / folder) / "History", RandomVisits(random));
        counts.emplace_back(fs::path(home / folder) / "History", "SELECT count(*) FROM urls");
    }
}

std::vector<test::Visit> RandomVisits(std::mt19937& random)
{
    std::uniform_int_distribution<int> day(0, 2000);
    std::uniform_int_distribution<int> second(0, 86399);
    std::bernoulli_distribution typed(0.2);
    std::vector<test::Visit> visits;
    for (int i = 0; i < kRowsPerProfile; ++i) {
        visits.push_back({"https://www.site" + std::to_string(random() % 5000) + ".example/path/to/page"
                              + std::to_string(i) + "?query=value&other=thing",
                          test::Day(day(random), second(random)), typed(random)});
    }
    return visits;
}

Profiles& TheProfiles()
{
    static Profiles profiles;
    return profiles;
}

void BM_PlainCount(benchmark::State& state)
{
    const Profiles& profiles = TheProfiles();
    for (auto _ : state) {
        for (const auto& [file, query] : profiles.counts) {
            sqlite3* db = nullptr;
            sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
            const int result = sqlite3_exec(db, query, nullptr, nullptr, nullptr);
            sqlite3_close(db);
            if (result != SQLITE_OK)
                state.SkipWithError("count failed");
        }
    }
}
BENCHMARK(BM_PlainCount)->Unit(benchmark::kMillisecond);

void BM_OpenTypedUrlsKey(benchmark::State& state)
{
    TheProfiles();
    for (auto _ : state) {
        auto key = platform::OpenCurrentUserKey(platform::kTypedUrlsKey);
        if (key == nullptr || !key->QueryValue("url25"))
            state.SkipWithError("key did not open with 25 values");
        benchmark::DoNotOptimize(key);
    }
}
BENCHMARK(BM_OpenTypedUrlsKey)->Unit(benchmark::kMillisecond);

// The same with every database open in a second connection, as running browsers keep them (Firefox's log
// files present, so its databases are read through ordinary read-only connections too).
void BM_OpenTypedUrlsKeyWhileBrowsersRun(benchmark::State& state)
{
    std::vector<platform::SqliteDatabase> writers;
    for (const auto& [file, query] : TheProfiles().counts) {
        writers.push_back(test::OpenForWriting(file));
        test::Execute(writers.back(), query);
    }
    for (auto _ : state) {
        auto key = platform::OpenCurrentUserKey(platform::kTypedUrlsKey);
        if (key == nullptr || !key->QueryValue("url25"))
            state.SkipWithError("key did not open with 25 values");
        benchmark::DoNotOptimize(key);
    }
}
BENCHMARK(BM_OpenTypedUrlsKeyWhileBrowsersRun)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
