#include "swf/MovieReading.h"

#include "swf/ByteReader.h"
#include "swf/MovieBytes.h"
#include "swf/TagWalk.h"

#include <cstdlib>

namespace swf {

namespace {

// Enough for the frame header (at most 21 bytes) and a FileAttributes tag after it.
constexpr std::size_t kSummaryBytes = 64;

// Reads the frame header of `body` into `summary`; returns the tags that follow it.
std::optional<std::string_view> ReadFrameHeader(std::string_view body, MovieSummary& summary)
{
    ByteReader reader(body);
    {
        BitReader bits(reader);
        const unsigned size = bits.Unsigned(5);
        const std::int64_t xMin = bits.Signed(size);
        const std::int64_t xMax = bits.Signed(size);
        const std::int64_t yMin = bits.Signed(size);
        const std::int64_t yMax = bits.Signed(size);
        summary.widthTwips = xMax - xMin;
        summary.heightTwips = yMax - yMin;
    }
    summary.frameRate = reader.U16();
    summary.frameCount = reader.U16();
    if (reader.RanOut())
        return std::nullopt;
    return reader.Rest();
}

void Summarize(const MovieBytes& bytes, MovieSummary& summary)
{
    summary.signature = std::string(bytes.Signature());
    summary.version = bytes.Version();
    summary.declaredLength = bytes.DeclaredLength();
}

class MovieReader {
public:
    explicit MovieReader(MovieReading& reading) : m_reading(reading) {}

    // Reads the movie in `file` at `depth`; false when it is not one.
    bool Read(std::string_view file, int depth)
    {
        std::optional<MovieBytes> bytes = MovieBytes::Open(file, m_budget);
        if (!bytes)
            return false;
        MovieSummary summary;
        Summarize(*bytes, summary);
        const std::optional<std::string_view> tags = ReadFrameHeader(bytes->Body(), summary);
        if (depth == 0) {
            m_reading.decodedLength = bytes->DecodedLength();
            m_reading.truncated = bytes->StreamBroken() || bytes->DecodedLength() < bytes->DeclaredLength();
        }
        if (!tags) {
            if (depth == 0)
                m_reading.summary = summary;
            return true;
        }
        const bool embedded = depth > 0;
        NameCollector actions(NameSource::Action, embedded, m_names);
        NameCollector abc(NameSource::Abc, embedded, m_names);
        NameCollector imports(NameSource::Import, embedded, m_names);
        ActionScan actionScan(actions);
        TagVisitor visitor;
        visitor.version = bytes->Version();
        visitor.actions = &actionScan;
        visitor.abc = &abc;
        visitor.imports = &imports;
        if (depth < kDeepestEmbedding) {
            visitor.binaryData = [this, depth](std::string_view data) {
                if (LooksLikeMovie(data))
                    Read(data, depth + 1);
            };
        }
        const TagFindings findings = WalkTags(*tags, visitor);
        if (depth == 0) {
            summary.actionScript3 = findings.actionScript3;
            m_reading.summary = summary;
            m_reading.hasAbc = findings.hasAbc;
            m_reading.truncated = m_reading.truncated || findings.cutShort;
        }
        return true;
    }

    // The names found, each once, in the order found.
    std::vector<MovieName> TakeNames() { return m_names.Take(); }

private:
    static bool LooksLikeMovie(std::string_view data)
    {
        return data.size() > 8 && (data.starts_with("FWS") || data.starts_with("CWS") || data.starts_with("ZWS"));
    }

    MovieReading& m_reading;
    NameList m_names;
    DecodeBudget m_budget;
};

// `value` / `divisor` written exactly: the divisors used here divide a power of ten.
std::string ExactQuotient(std::int64_t value, std::int64_t divisor)
{
    std::string text = value < 0 ? "-" : "";
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const auto d = static_cast<std::uint64_t>(divisor);
    text += std::to_string(magnitude / d);
    std::uint64_t rest = magnitude % d;
    if (rest != 0) {
        text += '.';
        while (rest != 0) {
            rest *= 10;
            text += static_cast<char>('0' + rest / d);
            rest %= d;
        }
    }
    return text;
}

} // namespace

std::optional<MovieSummary> ReadMovieSummary(std::string_view file)
{
    DecodeBudget budget;
    const std::optional<MovieBytes> bytes = MovieBytes::Open(file, budget, kSummaryBytes);
    if (!bytes)
        return std::nullopt;
    MovieSummary summary;
    Summarize(*bytes, summary);
    const std::optional<std::string_view> tags = ReadFrameHeader(bytes->Body(), summary);
    if (!tags)
        return std::nullopt;
    // FileAttributes, when there, is the first tag.
    ByteReader reader(*tags);
    const std::uint16_t header = reader.U16();
    const std::size_t length = (header & 0x3F) == 0x3F ? reader.U32() : header & 0x3F;
    if (header >> 6 == 69 && length >= 1 && !reader.RanOut())
        summary.actionScript3 = (reader.U8() & 0x08) != 0;
    return summary;
}

std::optional<MovieReading> ReadMovie(std::string_view file)
{
    MovieReading reading;
    MovieReader reader(reading);
    if (!reader.Read(file, 0))
        return std::nullopt;
    reading.names = reader.TakeNames();
    return reading;
}

std::string FrameRateText(std::uint16_t frameRate) { return ExactQuotient(frameRate, 256); }

std::string PixelsText(std::int64_t twips) { return ExactQuotient(twips, 20); }

} // namespace swf
