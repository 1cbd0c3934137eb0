#include "html/script/PlayerConfigs.h"

#include "html/script/ScriptText.h"
#include "html/script/TextEscapes.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

namespace html::script {

namespace {

// A call's arguments are read no further than this; real configurations take a few kilobytes.
constexpr std::size_t kCallLimit = std::size_t{64} * 1024;
// How far back the start of a call's line is looked for: a line longer than this is minified code,
// not a call someone commented out.
constexpr std::size_t kLineLookBack = 256;

// The folder part of a movie's address: up to its last "/" before any query; empty when it has none.
std::string_view FolderOf(std::string_view address)
{
    address = address.substr(0, address.find_first_of("?#"));
    const std::size_t slashAt = address.rfind('/');
    return slashAt == std::string_view::npos ? std::string_view{} : address.substr(0, slashAt + 1);
}

class ConfigReader {
public:
    ConfigReader(std::string_view page, ScriptStrings& strings, ReferenceList& references,
                 std::vector<std::size_t>& rebased)
        : m_page(page)
        , m_strings(strings)
        , m_references(references)
        , m_rebased(rebased)
    {}

    std::size_t ReadFlowplayer(std::size_t openAt)
    {
        if (OnCommentedLine(openAt))
            return openAt + 1;
        const Call call = ReadCallAt(openAt);
        // The configuration is the last object; the player, before it, is an address or an object
        // whose src is one.
        const std::vector<Span>& args = call.arguments;
        const auto config = std::find_if(args.rbegin(), args.rend(), [&](Span arg) { return IsObject(arg); });
        if (config == args.rend() || config + 1 == args.rend())
            return call.extent.end;
        const Span player = *(config + 1);
        const std::optional<Span> src = IsObject(player) ? Property(player, "src") : player;
        const std::optional<std::string> address = src ? StringOf(*src) : std::nullopt;
        const std::string_view folder = address ? FolderOf(*address) : std::string_view{};
        const std::optional<Span> plugins = Property(*config, "plugins");
        if (folder.empty() || !plugins || !IsObject(*plugins))
            return call.extent.end;
        for (const Span plugin : PropertyValues(m_page, *plugins)) {
            const std::optional<Span> url = Property(plugin, "url");
            const std::optional<Literal> name = url ? LiteralOf(*url) : std::nullopt;
            if (name && !name->body.empty() && name->body.find('/') == std::string_view::npos
                && name->body.find("..") == std::string_view::npos)
                AddRebased(folder, *name);
        }
        return call.extent.end;
    }

    std::size_t ReadMediaElement(std::size_t openAt)
    {
        if (OnCommentedLine(openAt))
            return openAt + 1;
        const Call call = ReadCallAt(openAt);
        const std::vector<Span>& args = call.arguments;
        const auto options = std::find_if(args.rbegin(), args.rend(), [&](Span arg) { return IsObject(arg); });
        if (options == args.rend())
            return call.extent.end;
        const std::optional<Span> flashName = Property(*options, "flashName");
        const std::optional<Span> pluginPath = Property(*options, "pluginPath");
        const std::optional<Literal> name = flashName ? LiteralOf(*flashName) : std::nullopt;
        const std::optional<std::string> path = pluginPath ? StringOf(*pluginPath) : std::nullopt;
        if (name && path && !name->body.empty())
            AddRebased(*path, *name);
        return call.extent.end;
    }

private:
    Call ReadCallAt(std::size_t openAt) const
    {
        return ReadCall(m_page, openAt, std::min(m_page.size(), openAt + kCallLimit));
    }

    // Whether the line holding `at` is commented out ("// flowplayer(...)"): such a call is an
    // alternative the page does not run, and its arguments would run on into the live call below it.
    bool OnCommentedLine(std::size_t at) const
    {
        const std::size_t from = at > kLineLookBack ? at - kLineLookBack : 0;
        const char* const data = m_page.data();
        const auto* newline = static_cast<const char*>(memrchr(data + from, '\n', at - from));
        const auto* linefeed = static_cast<const char*>(memrchr(data + from, '\r', at - from));
        const char* const lineBreak = std::max(newline, linefeed, std::less<const char*>());
        if (lineBreak == nullptr && from > 0)
            return false;
        const std::size_t lineStart = lineBreak == nullptr ? 0 : static_cast<std::size_t>(lineBreak - data) + 1;
        return m_page.substr(SkipBlanks(m_page, lineStart, at), 2) == "//";
    }

    bool IsObject(Span value) const
    {
        return value.end >= value.begin + 2 && m_page[value.begin] == '{' && m_page[value.end - 1] == '}';
    }

    std::optional<Span> Property(Span object, std::string_view name) const
    {
        return PropertyValue(m_page, object, name);
    }

    // The string a whole value stands for.
    std::optional<std::string> StringOf(Span value)
    {
        std::optional<JoinedLiterals> joined = m_strings.Read(value.begin, value.end);
        if (!joined || joined->end != value.end)
            return std::nullopt;
        return std::move(joined->value);
    }

    // The literal that is the whole of a value.
    std::optional<Literal> LiteralOf(Span value) const
    {
        std::optional<Literal> literal = ReadLiteral(m_page, value.begin, value.end);
        return literal && literal->end == value.end ? literal : std::nullopt;
    }

    void AddRebased(std::string_view folder, const Literal& name)
    {
        m_rebased.push_back(name.begin + 1);
        std::string movie = std::string(folder) + DecodeScriptEscapes(name.body);
        // Pages repeat one configuration for each of their players: one reference is enough.
        if (m_references.All().empty() || m_references.All().back() != movie)
            m_references.Add(std::move(movie));
    }

    std::string_view m_page;
    ScriptStrings& m_strings;
    ReferenceList& m_references;
    std::vector<std::size_t>& m_rebased;
};

} // namespace

std::size_t ReadFlowplayerCall(std::string_view page, std::size_t openAt, ScriptStrings& strings,
                               ReferenceList& references, std::vector<std::size_t>& rebased)
{
    return ConfigReader(page, strings, references, rebased).ReadFlowplayer(openAt);
}

std::size_t ReadMediaElementCall(std::string_view page, std::size_t openAt, ScriptStrings& strings,
                                 ReferenceList& references, std::vector<std::size_t>& rebased)
{
    return ConfigReader(page, strings, references, rebased).ReadMediaElement(openAt);
}

} // namespace html::script
