#include "html/script/MovieParameters.h"

#include "html/script/ReferenceResolution.h"
#include "html/script/TagAttributes.h"
#include "html/script/TextEscapes.h"
#include "platform/Bytes.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

namespace html::script {

namespace {

// One movie as the page embeds it.
struct Embedding {
    std::string reference; // the movie as written (src, data, the movie param, the script's argument)
    MovieParameters parameters;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::size_t SkipBlanks(std::string_view text, std::size_t at)
{
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at;
}

bool NameIs(std::string_view name, std::string_view lower) { return platform::EqualsIgnoringAsciiCase(name, lower); }

// The attributes of the tag whose name ends at `at`, read as an HTML tokenizer does, values with
// their character references undone; `at` is left after the tag.
std::map<std::string, std::string> ReadAttributes(std::string_view page, std::size_t& at)
{
    std::vector<TagAttribute> read;
    at = ReadTagAttributes(page, at, read);
    std::map<std::string, std::string> attributes;
    for (const TagAttribute& attribute : read) {
        std::string name(attribute.name);
        for (char& c : name)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        attributes.emplace(std::move(name), DecodeCharacterReferences(attribute.value));
    }
    return attributes;
}

std::optional<std::string> Attribute(const std::map<std::string, std::string>& attributes, const char* name)
{
    const auto found = attributes.find(name);
    return found == attributes.end() ? std::nullopt : std::optional<std::string>(found->second);
}

// <embed src flashvars base>, and <object data> with its <param name="movie|src|flashvars|base">
// up to its </object> (objects nest: a param belongs to the innermost one open).
void ReadTags(std::string_view page, std::vector<Embedding>& embeddings)
{
    std::vector<Embedding> open;
    for (std::size_t at = page.find('<'); at != std::string_view::npos; at = page.find('<', at)) {
        ++at;
        const std::size_t nameAt = at;
        while (at < page.size() && !IsBlank(page[at]) && page[at] != '>' && page[at] != '/')
            ++at;
        if (at == nameAt && at < page.size() && page[at] == '/') {
            while (at < page.size() && page[at] != '>' && !IsBlank(page[at]))
                ++at;
        }
        const std::string_view name = page.substr(nameAt, at - nameAt);
        if (NameIs(name, "embed")) {
            const auto attributes = ReadAttributes(page, at);
            if (const auto src = Attribute(attributes, "src"))
                embeddings.push_back(
                    {*src, {"", Attribute(attributes, "flashvars").value_or(""), Attribute(attributes, "base")}});
        } else if (NameIs(name, "object")) {
            const auto attributes = ReadAttributes(page, at);
            open.push_back({Attribute(attributes, "data").value_or(""), {}});
        } else if (NameIs(name, "param") && !open.empty()) {
            const auto attributes = ReadAttributes(page, at);
            const std::string param = Attribute(attributes, "name").value_or("");
            const std::string value = Attribute(attributes, "value").value_or("");
            Embedding& object = open.back();
            if ((NameIs(param, "movie") || NameIs(param, "src")) && object.reference.empty())
                object.reference = value;
            else if (NameIs(param, "flashvars"))
                object.parameters.flashVars = value;
            else if (NameIs(param, "base"))
                object.parameters.base = value;
        } else if (NameIs(name, "/object") && !open.empty()) {
            if (!open.back().reference.empty())
                embeddings.push_back(std::move(open.back()));
            open.pop_back();
        }
    }
    for (Embedding& object : open) {
        if (!object.reference.empty())
            embeddings.push_back(std::move(object));
    }
}

// A small reader of script values: string literals, object literals of them, and names.
class ScriptValues {
public:
    explicit ScriptValues(std::string_view page) : m_page(page) {}

    // The arguments of the call whose "(" is at `open` (or the members of the literal whose "{" is
    // there), as written.
    std::vector<std::string_view> Arguments(std::size_t open) const
    {
        std::vector<std::string_view> arguments;
        int depth = 0;
        std::size_t start = open + 1;
        for (std::size_t at = open + 1; at < m_page.size(); ++at) {
            const char c = m_page[at];
            if (c == '"' || c == '\'') {
                at = StringEnd(at);
            } else if (c == '(' || c == '[' || c == '{') {
                ++depth;
            } else if ((c == ')' || c == ']' || c == '}') && depth > 0) {
                --depth;
            } else if (depth == 0 && (c == ',' || c == ')' || c == ']' || c == '}')) {
                // The bracket that closes the call (or the literal) ends the last argument.
                arguments.push_back(Trim(m_page.substr(start, at - start)));
                start = at + 1;
                if (c != ',')
                    return arguments;
            }
        }
        return arguments;
    }

    // The text of a string literal, escapes undone; nothing for any other value.
    static std::optional<std::string> String(std::string_view value)
    {
        if (value.size() < 2 || (value.front() != '"' && value.front() != '\'') || value.back() != value.front())
            return std::nullopt;
        return DecodeScriptEscapes(value.substr(1, value.size() - 2));
    }

    // The pairs of an object literal, or of the object a name was given ("var flashvars = {...}"
    // and "flashvars.name = value" or "flashvars["name"] = value" anywhere in the page).
    std::vector<std::pair<std::string, std::string>> Object(std::string_view value) const
    {
        std::vector<std::pair<std::string, std::string>> pairs;
        if (value.starts_with('{')) {
            ReadObjectLiteral(value, pairs);
            return pairs;
        }
        if (!IsName(value))
            return pairs;
        const std::string name(value);
        for (std::size_t at = m_page.find(name); at != std::string_view::npos; at = m_page.find(name, at + 1)) {
            if (at > 0 && IsNameByte(m_page[at - 1]))
                continue;
            std::size_t after = SkipBlanks(m_page, at + name.size());
            if (after < m_page.size() && m_page[after] == '='
                && (after + 1 >= m_page.size() || m_page[after + 1] != '=')) {
                after = SkipBlanks(m_page, after + 1);
                if (after < m_page.size() && m_page[after] == '{')
                    ReadObjectLiteral(m_page.substr(after, LiteralEnd(after) - after), pairs);
            } else if (after < m_page.size() && (m_page[after] == '.' || m_page[after] == '[')) {
                ReadMemberAssignment(after, pairs);
            }
        }
        return pairs;
    }

private:
    static bool IsNameByte(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
    }
    static bool IsName(std::string_view value)
    {
        return !value.empty() && std::all_of(value.begin(), value.end(), IsNameByte);
    }
    static std::string_view Trim(std::string_view text) { return platform::Trimmed(text, " \t\r\n\f"); }

    // The offset of the quote that closes the string opened at `open`.
    std::size_t StringEnd(std::size_t open) const
    {
        for (std::size_t at = open + 1; at < m_page.size(); ++at) {
            if (m_page[at] == '\\')
                ++at;
            else if (m_page[at] == m_page[open] || m_page[at] == '\n')
                return at;
        }
        return m_page.size();
    }

    // The offset after the "}" closing the object literal at `open`.
    std::size_t LiteralEnd(std::size_t open) const
    {
        int depth = 0;
        for (std::size_t at = open; at < m_page.size(); ++at) {
            const char c = m_page[at];
            if (c == '"' || c == '\'')
                at = StringEnd(at);
            else if (c == '{')
                ++depth;
            else if (c == '}' && --depth == 0)
                return at + 1;
        }
        return m_page.size();
    }

    // "{name: "value", 'other': 7}": the pairs whose value is a string or a number.
    void ReadObjectLiteral(std::string_view literal, std::vector<std::pair<std::string, std::string>>& pairs) const
    {
        const ScriptValues inner(literal);
        for (const std::string_view member : inner.Arguments(0)) {
            const std::size_t colon = member.find(':');
            if (colon == std::string_view::npos)
                continue;
            const std::string_view key = Trim(member.substr(0, colon));
            const std::string_view value = Trim(member.substr(colon + 1));
            const std::optional<std::string> name = String(key);
            std::optional<std::string> text = String(value);
            if (!text && !value.empty() && value.find_first_not_of("0123456789.-") == std::string_view::npos)
                text = std::string(value);
            if ((name || IsName(key)) && text)
                pairs.emplace_back(name ? *name : std::string(key), *text);
        }
    }

    // ".name = "value"" or "["name"] = 'value'" after an object's name, at `at`.
    void ReadMemberAssignment(std::size_t at, std::vector<std::pair<std::string, std::string>>& pairs) const
    {
        std::string key;
        std::size_t after = at + 1;
        if (m_page[at] == '.') {
            while (after < m_page.size() && IsNameByte(m_page[after]))
                ++after;
            key = std::string(m_page.substr(at + 1, after - at - 1));
        } else {
            const std::size_t close = m_page.find(']', at);
            if (close == std::string_view::npos)
                return;
            const std::optional<std::string> name = String(Trim(m_page.substr(at + 1, close - at - 1)));
            if (!name)
                return;
            key = *name;
            after = close + 1;
        }
        after = SkipBlanks(m_page, after);
        if (key.empty() || after >= m_page.size() || m_page[after] != '=')
            return;
        const std::size_t valueAt = SkipBlanks(m_page, after + 1);
        if (valueAt >= m_page.size() || (m_page[valueAt] != '"' && m_page[valueAt] != '\''))
            return;
        const std::size_t end = StringEnd(valueAt);
        if (const std::optional<std::string> value = String(m_page.substr(valueAt, end - valueAt + 1)))
            pairs.emplace_back(key, *value);
    }

    std::string_view m_page;
};

void AppendPairs(std::string& flashVars, const std::vector<std::pair<std::string, std::string>>& pairs)
{
    for (const auto& [name, value] : pairs) {
        if (!flashVars.empty())
            flashVars += '&';
        flashVars += name;
        flashVars += '=';
        flashVars += value;
    }
}

// Each call of `call` in the page from `from` on that opens a parenthesis: where its name starts, and its
// arguments.
template <typename Each>
void ForEachCall(std::string_view page, const ScriptValues& script, std::string_view call, std::size_t from, Each each)
{
    for (std::size_t at = page.find(call, from); at != std::string_view::npos; at = page.find(call, at + 1)) {
        const std::size_t open = SkipBlanks(page, at + call.size());
        if (open < page.size() && page[open] == '(')
            each(at, script.Arguments(open));
    }
}

// swfobject.embedSWF(url, id, width, height, version, expressInstall, flashvars, params, attributes):
// the params' flashvars first, then the flashvars object's pairs, as SWFObject 2 joins them.
void ReadEmbedSwf(std::string_view page, std::vector<Embedding>& embeddings)
{
    const ScriptValues script(page);
    ForEachCall(page, script, "embedSWF", 0, [&](std::size_t, const std::vector<std::string_view>& arguments) {
        const std::optional<std::string> url = arguments.empty() ? std::nullopt : ScriptValues::String(arguments[0]);
        if (!url)
            return;
        Embedding embedding{*url, {}};
        if (arguments.size() > 7) {
            for (const auto& [name, value] : script.Object(arguments[7])) {
                if (NameIs(name, "flashvars"))
                    embedding.parameters.flashVars = value;
                else if (NameIs(name, "base"))
                    embedding.parameters.base = value;
            }
        }
        if (arguments.size() > 6)
            AppendPairs(embedding.parameters.flashVars, script.Object(arguments[6]));
        embeddings.push_back(std::move(embedding));
    });
}

// var so = new SWFObject(url, ...); so.addVariable(name, value); so.addParam(name, value): the
// flashvars param first, then the variables, as SWFObject 1 writes them.
void ReadSwfObject(std::string_view page, std::vector<Embedding>& embeddings)
{
    const ScriptValues script(page);
    ForEachCall(page, script, "new SWFObject", 0, [&](std::size_t at, const std::vector<std::string_view>& arguments) {
        const std::optional<std::string> url = arguments.empty() ? std::nullopt : ScriptValues::String(arguments[0]);
        // The variable it is given to: "so" of "var so = new SWFObject(".
        std::size_t nameEnd = at;
        while (nameEnd > 0 && (IsBlank(page[nameEnd - 1]) || page[nameEnd - 1] == '='))
            --nameEnd;
        std::size_t nameStart = nameEnd;
        while (nameStart > 0
               && (std::isalnum(static_cast<unsigned char>(page[nameStart - 1])) || page[nameStart - 1] == '_'
                   || page[nameStart - 1] == '$'))
            --nameStart;
        const std::string name(page.substr(nameStart, nameEnd - nameStart));
        if (!url || name.empty())
            return;
        Embedding embedding{*url, {}};
        std::vector<std::pair<std::string, std::string>> variables;
        for (const std::string_view method : {".addParam", ".addVariable"}) {
            ForEachCall(page, script, name + std::string(method), at,
                        [&](std::size_t, const std::vector<std::string_view>& pair) {
                            const std::optional<std::string> key =
                                pair.size() == 2 ? ScriptValues::String(pair[0]) : std::nullopt;
                            const std::optional<std::string> value =
                                pair.size() == 2 ? ScriptValues::String(pair[1]) : std::nullopt;
                            if (!key || !value)
                                return;
                            if (method == ".addVariable")
                                variables.emplace_back(*key, *value);
                            else if (NameIs(*key, "flashvars"))
                                embedding.parameters.flashVars = *value;
                            else if (NameIs(*key, "base"))
                                embedding.parameters.base = *value;
                        });
        }
        AppendPairs(embedding.parameters.flashVars, variables);
        embeddings.push_back(std::move(embedding));
    });
}

std::string_view FileNameOf(std::string_view address)
{
    address = address.substr(0, std::min(address.find('?'), address.find('#')));
    const std::size_t slash = address.rfind('/');
    return slash == std::string_view::npos ? address : address.substr(slash + 1);
}

std::string_view WithoutFragment(std::string_view address) { return address.substr(0, address.find('#')); }

} // namespace

std::optional<MovieParameters> FindMovieParameters(std::string_view pageText, std::string_view pageAddress,
                                                   std::string_view movieAddress)
{
    std::vector<Embedding> embeddings;
    ReadTags(pageText, embeddings);
    ReadEmbedSwf(pageText, embeddings);
    ReadSwfObject(pageText, embeddings);
    const ReferenceResolver resolver(pageAddress);
    Embedding* sameName = nullptr;
    int sameNames = 0;
    for (Embedding& embedding : embeddings) {
        const std::optional<std::string> resolved = resolver.Resolve(embedding.reference);
        if (!resolved)
            continue;
        embedding.parameters.movieAddress = *resolved;
        if (WithoutFragment(*resolved) == WithoutFragment(movieAddress))
            return embedding.parameters;
        if (!FileNameOf(movieAddress).empty() && FileNameOf(*resolved) == FileNameOf(movieAddress)) {
            // The same movie named twice (an <object> and its <embed>) is still one movie.
            if (!sameName || sameName->parameters.movieAddress != *resolved)
                ++sameNames;
            sameName = &embedding;
        }
    }
    if (sameNames == 1)
        return sameName->parameters;
    return std::nullopt;
}

} // namespace html::script
