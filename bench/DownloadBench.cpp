// Times one CUrlFetcher::DownloadToFile and watches the process's resident memory while it runs.
// Usage: bench_download URL FILE [WARMUP_URL]
// Prints: bytes seconds MiB/s rss_before_KiB rss_peak_KiB
#include "capture/UrlFetcher.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

using namespace capture;

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_download URL FILE [WARMUP_URL]\n");
        return 1;
    }
    const std::string url = argv[1];
    const std::string path = argv[2];
    if (argc > 3) {
        // Lets libcurl and its TLS library set themselves up before the baseline is taken.
        CUrlFetcher warmup;
        warmup.DownloadToFile(argv[3], path);
    }

    std::atomic<bool> running{true};
    std::atomic<long> peak{0};
    std::thread sampler([&] {
        while (running) {
            const long now = ResidentKiB();
            if (now > peak)
                peak = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    CUrlFetcher fetcher;
    const long before = ResidentKiB();
    peak = before;
    const auto start = std::chrono::steady_clock::now();
    const bool saved = fetcher.DownloadToFile(url, path);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    running = false;
    sampler.join();
    if (!saved) {
        std::fprintf(stderr, "bench_download: %s\n", fetcher.LastError().c_str());
        return 2;
    }
    const auto bytes = std::filesystem::file_size(path);
    std::printf("%ju %.4f %.1f %ld %ld\n", static_cast<std::uintmax_t>(bytes), seconds,
                static_cast<double>(bytes) / (1 << 20) / seconds, before, peak.load());
    return 0;
}
