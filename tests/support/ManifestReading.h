#pragma once
// A saved copy's manifest read back by Python's json module, a parser the program does not share, so that
// a test sees what any reader of the manifest sees (and a manifest that is no JSON fails the test).
#include <map>
#include <string>
#include <vector>

namespace test {

struct ManifestFile {
    std::string address; // or the file's path, for a movie read from disk
    bool saved = false;
    std::string path; // saved: relative to the copy
    unsigned long long size = 0;
    std::string sha256;
    std::string from; // saved: the source; missing: empty
    long status = 0;
    std::string finalAddress;
    std::string reason;                       // missing: the reason's word
    std::vector<std::string> found;           // "how by name", one per way it was found
    std::vector<std::string> tried;           // "source reason", one per source that did not give it
    std::vector<std::string> alternatives;    // "address reason" (reason empty when not tried), of every found
    std::map<std::string, std::string> facts; // the saved object's other text fields
};

struct Manifest {
    std::string manifest; // "plumeroc"
    long version = 0;
    bool cancelled = false;
    std::vector<std::string> sources;
    std::vector<std::string> starts;
    std::vector<ManifestFile> files;
    std::vector<std::string> patterns;   // "pattern how"
    std::vector<std::string> unresolved; // "name how"

    // The file of `address`; fails the test (and returns an empty one) when there is none.
    const ManifestFile& File(const std::string& address) const;
};

// Reads the manifest at `path`; throws when Python cannot read it as JSON.
Manifest ReadManifest(const std::string& path);

} // namespace test
