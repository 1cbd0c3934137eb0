#pragma once
// The Wayback Machine on a loopback port, in the archive's own formats, for tests that point the program's
// archive at it (--archive Address()):
// - its CDX server, /cdx/search/cdx, over the captures of real CDX indexes (pywb's, or warcio's index of a
//   WARC file, made at test time), with the parameters the Wayback CDX server's README and code give
//   (url, matchType, fl, filter, collapse, from, to, limit, closest with sort=closest, showResumeKey and
//   resumeKey, gzip), answering in plain text, gzip-compressed unless gzip=false, as the archive does;
// - raw captures, /web/<timestamp>id_/<original>, read from the WARC files the indexes name: a time it
//   holds no capture at redirects to the nearest capture, and a capture comes with its original status,
//   its type, content coding and redirect (pointed into the archive) and its other headers as
//   X-Archive-Orig-*, its body with the chunks undone (as the Wayback Machine's recorded answers show them);
// - or recorded answers of the real archive (VCR cassettes), replayed for the CDX requests that carry the
//   resume key the recording does.
// It can also refuse every request, or answer only after a silence.
#include "support/Loopback.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace test {

// One line of a CDX index: a capture and where its record lies.
struct IndexedCapture {
    std::string urlkey, timestamp, original, mimetype, statuscode, digest, length;
    std::string warc; // the file holding the record, empty when the index names none that is here
    std::uint64_t offset = 0;
};

// The key a CDX index gives an address (SURT form), as warcio's indexer computes it: scheme and a leading
// "www." dropped, letters lowered, host parts reversed, the query's parts sorted.
std::string SurtKey(std::string_view url);

class WaybackServer {
public:
    WaybackServer();

    // Adds the lines of a CDX index in the 11-field form " CDX N b a m s k r M S V g" that pywb and warcio
    // write; the WARC files it names are looked for in `warcFolder`.
    void AddIndex(const std::string& cdxFile, const std::string& warcFolder);
    // Indexes `warc` with warcio (npm's, pinned in package-lock.json) and adds its lines.
    void AddWarc(const std::string& warc);
    // The exchanges of a VCR cassette recorded against web.archive.org; its CDX answers are replayed.
    void AddRecording(const std::string& cassette);

    // From now on every request is answered with `status` (429, 503), or 0 to answer again.
    void Refuse(int status) { m_refusal = status; }
    // From now on every answer begins after `silence`.
    void Silence(std::chrono::milliseconds silence) { m_silenceMs = silence.count(); }

    // The archive's address, for --archive.
    std::string Address() const { return m_server.Url(""); }
    // Every line of the indexes, in the index's order.
    std::vector<IndexedCapture> Captures() const;
    // The query strings of the CDX requests so far, and when each arrived.
    struct Request {
        std::string query;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Request> CdxRequests() const;
    // How many connections the requests came on so far.
    std::size_t ConnectionsSeen() { return m_server.ConnectionsSeen(); }

private:
    struct Recorded {
        std::string uri;
        int status = 0;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
    };

    void AnswerCdx(const httplib::Request& request, httplib::Response& response);
    void AnswerRaw(const httplib::Request& request, httplib::Response& response);
    bool Replay(const httplib::Request& request, httplib::Response& response);
    bool Refused(httplib::Response& response);

    mutable std::mutex m_mutex;
    std::vector<IndexedCapture> m_captures; // sorted by key and time
    std::vector<Recorded> m_recorded;
    std::vector<Request> m_cdxRequests;
    std::atomic<int> m_refusal{0};
    std::atomic<std::chrono::milliseconds::rep> m_silenceMs{0};
    LoopbackServer m_server; // last: serves once everything above exists
};

// An HTTP proxy on a loopback port that answers every request with 502, so that a test's requests for real
// sites end here and never leave the machine: set http_proxy and https_proxy to Url(), and no_proxy to
// 127.0.0.1 for the loopback servers.
class DeadWebProxy {
public:
    DeadWebProxy();
    std::string Url() const { return m_server.Url(""); }
    // The addresses asked for so far.
    std::vector<std::string> Asked() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_asked;
    LoopbackServer m_server;
};

} // namespace test
