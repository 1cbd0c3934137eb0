// What the parts of a joined string stand for: the page's location and the variables a page sets.
#include "html/script/ScriptStrings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using html::script::ScriptStrings;

TEST(ScriptStrings, KnowsThePagesLocation)
{
    struct Case {
        std::string address;
        std::optional<std::string> host, hostname, protocol, origin;
    };
    const std::vector<Case> cases = {
        {"http://user@Host.example:8080/a/b.html?q=/x#f", "Host.example:8080", "Host.example",
         "http:", "http://Host.example:8080"},
        {"https://host/", "host", "host", "https:", "https://host"},
        {"http://[::1]:81/a", "[::1]:81", "[::1]", "http:", "http://[::1]:81"},
        {"http://host?x=1", "host", "host", "http:", "http://host"},
        {"host/page.html", std::nullopt, std::nullopt, std::nullopt, std::nullopt}, // no scheme: nothing known
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        ScriptStrings strings("", c.address);
        EXPECT_EQ(strings.ValueOf("location.host"), c.host);
        EXPECT_EQ(strings.ValueOf("window.location.host"), c.host);
        EXPECT_EQ(strings.ValueOf("document.location.hostname"), c.hostname);
        EXPECT_EQ(strings.ValueOf("document.domain"), c.hostname);
        EXPECT_EQ(strings.ValueOf("location.protocol"), c.protocol);
        EXPECT_EQ(strings.ValueOf("window.location.origin"), c.origin);
        EXPECT_EQ(strings.ValueOf("domain"), std::nullopt); // a variable of that name is no document's
        EXPECT_EQ(strings.ValueOf("location.pathname"), std::nullopt);
    }
}

TEST(ScriptStrings, KnowsVariablesSetToOneLiteral)
{
    const std::string page = "<script>\n"
                             "let a = 'x'; const b = \"y\" // why\n"
                             "var c = 'z', d = 'w';\n"
                             "if (k) e = 'v'; else e = 'v';\n"
                             "f = 'p' + \"q\"; g = `t` /* g */;\n"
                             "h = 'one'; h = 'two'; i = 'j'.length; l = 'm';l += 'n';\n"
                             "o.p = 'q'; r = s = 't'; u = 'v' + w;\n"
                             "</script><div title='1' x='2' y=\"3\">";
    ScriptStrings strings(page, "http://host/");
    const std::vector<std::pair<std::string, std::optional<std::string>>> names = {
        {"a", "x"},
        {"b", "y"},
        {"c", "z"},
        {"d", "w"},
        {"e", "v"},
        {"f", "pq"},
        {"g", "t"},
        {"h", std::nullopt},
        {"i", std::nullopt},
        {"l", std::nullopt},
        {"p", std::nullopt},
        {"s", std::nullopt},
        {"u", std::nullopt},
        {"x", std::nullopt},
        {"y", std::nullopt},
        {"o", std::nullopt},
        {"undefinedName", std::nullopt},
    };
    for (const auto& [name, value] : names)
        EXPECT_EQ(strings.ValueOf(name), value) << name;
}

TEST(ScriptStrings, ReadsJoinedPartsEitherWay)
{
    const std::string page = "u = 'http://' + location.host + '/m/' + dir + 'a.swf'; var dir = 'games/';";
    ScriptStrings strings(page, "http://host:81/index.html");
    const std::optional<html::script::JoinedLiterals> read = strings.Read(4, page.size());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->value, "http://host:81/m/games/a.swf");
    EXPECT_EQ(read->end, page.find(';'));
    const std::size_t lastQuote = page.find("'a.swf'");
    EXPECT_EQ(strings.PrefixBefore(lastQuote, 0), "http://host:81/m/games/");
    EXPECT_EQ(strings.PrefixBefore(lastQuote, page.find("'/m/'") + 1), std::nullopt); // a part before the floor
    EXPECT_EQ(strings.PrefixBefore(4, 0), "");                                        // nothing joined in front

    // A call, an index or an unknown name ends what can be read; so do more than 16 parts.
    for (const std::string other : {"'a' + f() + 'b'", "'a' + x[0]", "'a' + nobody", "dir.length + 'a'"}) {
        const std::string text = other + "; var dir = 'd';";
        ScriptStrings unknown(text, "http://host/");
        EXPECT_EQ(unknown.Read(0, other.size()), std::nullopt) << other;
    }
    std::string many = "'a'";
    for (int i = 0; i < 16; ++i)
        many += " + 'a'";
    ScriptStrings longChain(many, "http://host/");
    EXPECT_EQ(longChain.Read(0, many.size()), std::nullopt);
    const std::optional<html::script::JoinedLiterals> sixteen = longChain.Read(0, many.size() - 6);
    ASSERT_TRUE(sixteen);
    EXPECT_EQ(sixteen->value, std::string(16, 'a'));
}

} // namespace
