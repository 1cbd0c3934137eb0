#pragma once
// What the parts of a string a script builds with "+" stand for: literals, the page's own location
// (location.host and its kin) and variables the page sets to one literal and nothing else. So the
// script finder reads "http://" + location.host + "/a.swf", or dir + "a.swf" after var dir = "m/".
#include "html/script/ScriptText.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace html::script {

class ScriptStrings {
public:
    // `page` must stay valid as long as this object is used.
    ScriptStrings(std::string_view page, std::string_view pageAddress);

    // The string written at `at` (after blanks), before `limit`, as parts joined with "+", with script
    // escapes undone, and the offset after its last part; nullopt when a part stands for no known string.
    std::optional<JoinedLiterals> Read(std::size_t at, std::size_t limit);

    // The string made by the parts joined with "+" in front of the literal opened at `quoteAt`; empty
    // when there are none, nullopt when a part is unknown or lies before `floor`.
    std::optional<std::string> PrefixBefore(std::size_t quoteAt, std::size_t floor);

    // What the name stands for (a variable, or "location.host" and the like); nullopt when unknown.
    std::optional<std::string> ValueOf(std::string_view name);

private:
    std::optional<std::string> LocationPart(std::string_view name) const;
    void ReadAssignments();

    std::string_view m_page;
    std::string m_scheme;   // of the page address, without ":"
    std::string m_host;     // with any port
    std::string m_hostname; // without it
    bool m_assignmentsRead = false;
    // Each variable the page sets to a literal, with that literal; nullopt when it is set to two
    // different values or to anything else than a literal.
    std::map<std::string, std::optional<std::string>, std::less<>> m_assigned;
};

} // namespace html::script
