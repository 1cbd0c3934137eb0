#include "capture/MovieFiles.h"

#include "html/script/MovieParameters.h"
#include "html/script/ReferenceResolution.h"
#include "platform/Bytes.h"
#include "swf/MovieNames.h"

#include <algorithm>

namespace capture {

namespace {

NamedBy NamedByOf(swf::NameSource source)
{
    switch (source) {
    case swf::NameSource::Abc:
        return NamedBy::Abc;
    case swf::NameSource::Import:
        return NamedBy::Import;
    case swf::NameSource::Action:
        break;
    }
    return NamedBy::Action;
}

// A FlashVars value as the movie sees it: "+" is a blank, "%XX" a byte.
std::string DecodedValue(std::string_view value)
{
    std::string decoded;
    decoded.reserve(value.size());
    for (std::size_t at = 0; at < value.size(); ++at) {
        const int escaped = value[at] == '%' ? platform::PercentEscapedByte(value, at) : -1;
        if (escaped >= 0) {
            decoded += static_cast<char>(escaped);
            at += 2;
        } else {
            decoded += value[at] == '+' ? ' ' : value[at];
        }
    }
    return decoded;
}

// The FlashVars values that are addresses of files.
std::vector<std::string> FlashVarsFiles(std::string_view flashVars)
{
    std::vector<std::string> files;
    std::size_t start = 0;
    while (start <= flashVars.size()) {
        const std::size_t end = std::min(flashVars.find('&', start), flashVars.size());
        const std::string_view pair = flashVars.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos) {
            std::string value = DecodedValue(pair.substr(equals + 1));
            if (swf::IsAddress(value) && swf::HasLoadedFileSuffix(value) && !swf::IsCommandAddress(value))
                files.push_back(std::move(value));
        }
        start = end + 1;
    }
    return files;
}

// The addresses relative names are resolved against, in the order to try.
std::vector<std::string> BasesFor(const std::optional<std::string>& movieAddress,
                                  const std::optional<PageContext>& page)
{
    std::vector<std::string> bases;
    if (page && !page->pageAddress.empty()) {
        std::optional<std::string> pageBase = page->pageAddress;
        if (page->base) {
            const std::string_view base = platform::Trimmed(*page->base);
            if ((base == "." || base == "./") && movieAddress)
                pageBase = html::script::ResolveReference(*movieAddress, "./");
            else if (!base.empty() && base != "." && base != "./")
                pageBase = html::script::ResolveReference(page->pageAddress, base);
        }
        if (pageBase)
            bases.push_back(*pageBase);
    }
    if (movieAddress)
        bases.push_back(*movieAddress);
    return bases;
}

std::vector<std::string> Candidates(std::string_view name, const std::vector<std::string>& bases)
{
    std::vector<std::string> candidates;
    // An absolute name needs no base; resolving it against any gives itself, with the same clean-up.
    const std::optional<std::string> absolute = html::script::ResolveReference("", name);
    if (absolute) {
        candidates.push_back(*absolute);
        return candidates;
    }
    for (const std::string& base : bases) {
        std::optional<std::string> resolved = html::script::ResolveReference(base, name);
        if (resolved && std::find(candidates.begin(), candidates.end(), *resolved) == candidates.end())
            candidates.push_back(std::move(*resolved));
    }
    return candidates;
}

} // namespace

std::string_view NamedByText(NamedBy namedBy)
{
    switch (namedBy) {
    case NamedBy::Abc:
        return "abc";
    case NamedBy::Import:
        return "import";
    case NamedBy::FlashVars:
        return "flashvars";
    case NamedBy::Action:
        break;
    }
    return "action";
}

std::string_view HowNamed(const LoadedFile& file) { return file.embedded ? "embedded" : NamedByText(file.namedBy); }

PageContext PageContextFor(std::string_view pageText, std::string pageAddress, std::string_view movieAddress)
{
    PageContext context;
    if (const auto parameters = html::script::FindMovieParameters(pageText, pageAddress, movieAddress)) {
        context.movieAddress = parameters->movieAddress;
        context.base = parameters->base;
        context.flashVars = parameters->flashVars;
    }
    context.pageAddress = std::move(pageAddress);
    return context;
}

std::vector<LoadedFile> ResolveLoadedFiles(const swf::MovieReading& reading,
                                           const std::optional<std::string>& movieAddress,
                                           const std::optional<PageContext>& page)
{
    const std::vector<std::string> bases = BasesFor(movieAddress, page);
    std::vector<LoadedFile> files;
    if (page) {
        for (std::string& value : FlashVarsFiles(page->flashVars)) {
            LoadedFile file{std::move(value), NamedBy::FlashVars, false, false, {}};
            file.candidates = Candidates(file.name, bases);
            files.push_back(std::move(file));
        }
    }
    for (const swf::MovieName& name : reading.names) {
        LoadedFile file{name.text, NamedByOf(name.source), name.embedded, name.pattern, {}};
        file.candidates = Candidates(file.name, bases);
        files.push_back(std::move(file));
    }
    return files;
}

std::optional<std::vector<LoadedFile>> FilesMovieLoads(std::string_view movie,
                                                       const std::optional<std::string>& movieAddress,
                                                       const std::optional<PageContext>& page)
{
    const std::optional<swf::MovieReading> reading = swf::ReadMovie(movie);
    if (!reading)
        return std::nullopt;
    return ResolveLoadedFiles(*reading, movieAddress, page);
}

} // namespace capture
