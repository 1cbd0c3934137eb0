#pragma once
// What a movie names, and the rules that decide which of its strings are files it loads.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace swf {

// Where in the movie a name was found.
enum class NameSource {
    Action, // ActionScript 1/2: constant pools, pushed strings, GetURL/GetURL2
    Abc,    // ActionScript 3: the string constants of the ABC code
    Import, // ImportAssets / ImportAssets2
};

struct MovieName {
    std::string text; // as the movie has it; in a pattern, "*" stands for each part built at run time
    NameSource source = NameSource::Action;
    bool pattern = false;  // built at run time: never an address to fetch
    bool embedded = false; // named by a movie embedded in this one (DefineBinaryData)
};

// How a string is used where the code hands it on.
enum class NameUse {
    Plain,      // pushed, pooled or passed on: a file only when it looks like one
    Load,       // the address of a load into the movie (a level or clip target, loadVariables, an import)
    Navigation, // the address of a GetURL to a browser window
};

// True when the path of `text` (before its query or fragment) ends in one of the suffixes of the
// files movies load, in any letter case.
bool HasLoadedFileSuffix(std::string_view text);

// True for an absolute http(s) address, a scheme-relative or root-relative one, or a relative one
// without blanks, control bytes, quotes or angle brackets; never for an empty string or one with
// another scheme.
bool IsAddress(std::string_view text);

// True for the schemes that never fetch a file: javascript:, fscommand:, mailto:, asfunction:, event:.
bool IsCommandAddress(std::string_view text);

// The names of a movie and those embedded in it, each text (as a file or as a pattern) once, in the
// order first found: a movie that names one file a million times costs one name.
class NameList {
public:
    void Add(std::string_view text, NameSource source, bool pattern, bool embedded);
    std::vector<MovieName> Take() { return std::move(m_names); }

private:
    std::vector<MovieName> m_names;
    std::unordered_set<std::string> m_seen; // "F" or "P", then the text
};

// Collects the names of one movie's code of one kind into a list.
class NameCollector {
public:
    NameCollector(NameSource source, bool embedded, NameList& names)
        : m_source(source)
        , m_embedded(embedded)
        , m_names(names)
    {}

    // A whole string used as `use`.
    void AddString(std::string_view text, NameUse use);
    // A string with parts built at run time (each written "*") used as `use`.
    void AddPattern(std::string_view pattern, NameUse use);

private:
    void Add(std::string_view text, bool pattern);

    NameSource m_source;
    bool m_embedded;
    NameList& m_names;
};

} // namespace swf
