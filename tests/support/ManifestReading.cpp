#include "support/ManifestReading.h"

#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace test {

namespace {

// Prints the manifest as lines of fields split by 0x1F, lists inside a field split by 0x1E.
constexpr const char* kFlatten = R"(
import json, sys
m = json.load(open(sys.argv[1], encoding="utf-8", errors="surrogateescape"))
U, R = "\x1f", "\x1e"
def found(f):
    return " ".join([f["how"], f.get("by", "-"), f["name"]])
print(U.join(["M", m["manifest"], str(m["version"]), str(m["cancelled"]).lower(), R.join(m["sources"]),
              R.join(m["starts"])]))
for f in m["files"]:
    saved, missing = f.get("saved"), f.get("missing")
    assert (saved is None) != (missing is None), f
    rest = {k: v for k, v in (saved or {}).items() if k not in ("path", "size", "sha256", "from", "status", "finalAddress")}
    alternatives = [a["address"] + " " + (a["missing"]["reason"] if "missing" in a else "") for x in f["found"]
                    for a in x.get("alternatives", [])]
    source = saved or missing
    print(U.join(["F", f.get("address", f.get("file", "")), "saved" if saved else "missing",
                  saved["path"] if saved else "", str(saved["size"]) if saved else "0",
                  saved["sha256"] if saved else "", saved["from"] if saved else "", str(source.get("status", 0)),
                  source.get("finalAddress", ""), missing["reason"] if missing else "",
                  R.join(found(x) for x in f["found"]),
                  R.join(t["from"] + " " + t["reason"] for t in f.get("tried", [])), R.join(alternatives),
                  R.join(k + "=" + str(v) for k, v in rest.items())]))
for p in m["patterns"]:
    print(U.join(["P", p["pattern"] + " " + p["found"]["how"]]))
for u in m["unresolved"]:
    print(U.join(["U", u["name"] + " " + u["found"]["how"]]))
)";

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.emplace_back();
    return parts;
}

std::vector<std::string> List(const std::string& field)
{
    return field.empty() ? std::vector<std::string>{} : Split(field, '\x1e');
}

} // namespace

const ManifestFile& Manifest::File(const std::string& address) const
{
    for (const ManifestFile& file : files) {
        if (file.address == address)
            return file;
    }
    ADD_FAILURE() << "the manifest has no file " << address;
    static const ManifestFile none;
    return none;
}

Manifest ReadManifest(const std::string& path)
{
    const TempFolder scratch;
    const GrabRun run = RunProgram({"python3", "-c", kFlatten, path}, scratch.Path());
    if (run.status != 0)
        throw std::runtime_error("python3 cannot read the manifest " + path + ": " + run.err);
    Manifest manifest;
    for (const std::string& line : Split(run.out, '\n')) {
        const std::vector<std::string> fields = Split(line, '\x1f');
        if (fields.empty())
            continue;
        if (fields[0] == "M" && fields.size() == 6) {
            manifest.manifest = fields[1];
            manifest.version = std::stol(fields[2]);
            manifest.cancelled = fields[3] == "true";
            manifest.sources = List(fields[4]);
            manifest.starts = List(fields[5]);
        } else if (fields[0] == "F" && fields.size() == 14) {
            ManifestFile file;
            file.address = fields[1];
            file.saved = fields[2] == "saved";
            file.path = fields[3];
            file.size = std::stoull(fields[4]);
            file.sha256 = fields[5];
            file.from = fields[6];
            file.status = std::stol(fields[7]);
            file.finalAddress = fields[8];
            file.reason = fields[9];
            file.found = List(fields[10]);
            file.tried = List(fields[11]);
            file.alternatives = List(fields[12]);
            for (const std::string& fact : List(fields[13]))
                file.facts.emplace(fact.substr(0, fact.find('=')), fact.substr(fact.find('=') + 1));
            manifest.files.push_back(std::move(file));
        } else if (fields[0] == "P" && fields.size() == 2) {
            manifest.patterns.push_back(fields[1]);
        } else if (fields[0] == "U" && fields.size() == 2) {
            manifest.unresolved.push_back(fields[1]);
        } else if (!line.empty()) {
            throw std::runtime_error("unexpected line from the manifest reader: " + line);
        }
    }
    return manifest;
}

} // namespace test
