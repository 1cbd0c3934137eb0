#include "swf/MovieBytes.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

namespace swf {

namespace {

constexpr std::size_t kHeaderSize = 8;
// Deflate gives at most 1032 bytes for each byte it reads: no real body is larger than that.
constexpr std::size_t kDeflateMostRatio = 1032;

std::uint32_t LittleEndian32(std::string_view bytes)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    return value;
}

// Bytes decoded into memory from malloc, set aside for what the header declares unless that is
// more than the input can possibly give or than is wanted, and grown when the stream gives more.
class Output {
public:
    Output(std::size_t declared, std::size_t possible, std::size_t limit) : m_nLimit(limit)
    {
        Reserve(std::min({declared, possible, limit}) + 1);
    }

    // Room for at least one more byte, or none when the limit is reached or memory ran out.
    std::size_t Room()
    {
        if (m_nSize >= m_nLimit)
            return 0;
        if (m_nSize == m_nCapacity && !Reserve(std::min(m_nLimit, m_nCapacity * 2) + 1))
            return 0;
        return std::min(m_nCapacity, m_nLimit) - m_nSize;
    }
    char* End() { return m_data.get() + m_nSize; }
    void Grow(std::size_t produced) { m_nSize += produced; }
    std::size_t Size() const { return m_nSize; }
    MovieBytes::DecodedBuffer Take() { return std::move(m_data); }

private:
    bool Reserve(std::size_t capacity)
    {
        void* grown = std::realloc(m_data.get(), capacity);
        if (!grown)
            return false;
        (void)m_data.release();
        m_data.reset(static_cast<char*>(grown));
        m_nCapacity = capacity;
        return true;
    }

    MovieBytes::DecodedBuffer m_data;
    std::size_t m_nSize = 0, m_nCapacity = 0, m_nLimit;
};

std::size_t MostInflated(std::size_t input)
{
    return input > SIZE_MAX / kDeflateMostRatio ? SIZE_MAX : input * kDeflateMostRatio;
}

// Inflates `input` until the stream ends, breaks or the output's limit is reached. True when it
// ended cleanly.
bool Inflate(std::string_view input, Output& out)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    const std::unique_ptr<z_stream, int (*)(z_stream*)> owner(&stream, inflateEnd);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    std::size_t inputLeft = input.size();
    int result = Z_OK;
    for (std::size_t room = out.Room(); room > 0; room = out.Room()) {
        room = std::min<std::size_t>(room, UINT_MAX);
        stream.next_out = reinterpret_cast<Bytef*>(out.End());
        stream.avail_out = static_cast<uInt>(room);
        const std::size_t give = std::min<std::size_t>(inputLeft, UINT_MAX);
        stream.avail_in = static_cast<uInt>(give);
        result = inflate(&stream, Z_NO_FLUSH);
        out.Grow(room - stream.avail_out);
        inputLeft -= give - stream.avail_in;
        if (result != Z_OK || (stream.avail_out != 0 && inputLeft == 0))
            break;
    }
    return result == Z_STREAM_END;
}

// Decodes the raw LZMA stream of a "ZWS" movie (`input` starts at its 5 property bytes) until it
// ends, breaks or the output's limit is reached. True when it ended cleanly.
bool DecodeLzma(std::string_view input, std::size_t declared, std::size_t limit, Output& out)
{
    constexpr std::size_t kPropertySize = 5;
    if (input.size() < kPropertySize)
        return false;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, reinterpret_cast<const std::uint8_t*>(input.data()), kPropertySize)
        != LZMA_OK)
        return false;
    const std::unique_ptr<void, void (*)(void*)> optionsOwner(filters[0].options, std::free);
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    // The dictionary need never be larger than what will be decoded: a header claiming 4 GiB must
    // not cost 4 GiB.
    const std::size_t wanted = std::max<std::size_t>(std::min(declared, limit), LZMA_DICT_SIZE_MIN);
    options->dict_size = static_cast<std::uint32_t>(
        std::max<std::size_t>(LZMA_DICT_SIZE_MIN, std::min<std::size_t>(options->dict_size, wanted)));
    options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options->ext_size_low = static_cast<std::uint32_t>(declared);
    options->ext_size_high = 0;

    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&stream, filters) != LZMA_OK)
        return false;
    const std::unique_ptr<lzma_stream, void (*)(lzma_stream*)> owner(&stream, lzma_end);
    const std::string_view data = input.substr(kPropertySize);
    stream.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
    stream.avail_in = data.size();
    lzma_ret result = LZMA_OK;
    for (std::size_t room = out.Room(); room > 0; room = out.Room()) {
        stream.next_out = reinterpret_cast<std::uint8_t*>(out.End());
        stream.avail_out = room;
        result = lzma_code(&stream, LZMA_FINISH);
        out.Grow(room - stream.avail_out);
        if (result != LZMA_OK)
            break;
    }
    return result == LZMA_STREAM_END;
}

} // namespace

std::optional<MovieBytes> MovieBytes::Open(std::string_view file, DecodeBudget& budget,
                                           std::optional<std::size_t> wanted)
{
    if (file.size() < kHeaderSize || file[1] != 'W' || file[2] != 'S')
        return std::nullopt;
    MovieBytes movie;
    switch (file[0]) {
    case 'F':
        movie.m_compression = Compression::None;
        break;
    case 'C':
        movie.m_compression = Compression::Zlib;
        break;
    case 'Z':
        movie.m_compression = Compression::Lzma;
        break;
    default:
        return std::nullopt;
    }
    movie.m_nVersion = static_cast<std::uint8_t>(file[3]);
    movie.m_nDeclaredLength = LittleEndian32(file.substr(4, 4));
    const std::size_t declaredBody = movie.m_nDeclaredLength > kHeaderSize ? movie.m_nDeclaredLength - kHeaderSize : 0;
    const std::size_t limit = std::min(budget.left, wanted.value_or(SIZE_MAX));

    bool clean = false;
    const std::string_view rest = file.substr(kHeaderSize);
    switch (movie.m_compression) {
    case Compression::None:
        movie.m_plain = rest.substr(0, limit);
        clean = movie.m_plain.size() >= declaredBody || movie.m_plain.size() == limit;
        break;
    case Compression::Zlib: {
        Output out(declaredBody, MostInflated(rest.size()), limit);
        clean = Inflate(rest, out);
        movie.m_nDecodedSize = out.Size();
        movie.m_decoded = out.Take();
        break;
    }
    case Compression::Lzma: {
        // Bytes 8-11 give the compressed length; the stream itself says where it ends. LZMA has no
        // useful bound of its own on what a byte can become, so the deflate one stands in.
        Output out(declaredBody, MostInflated(rest.size()), limit);
        clean = rest.size() >= 4 && DecodeLzma(rest.substr(4), declaredBody, limit, out);
        movie.m_nDecodedSize = out.Size();
        movie.m_decoded = out.Take();
        break;
    }
    }
    budget.left -= movie.Body().size();
    movie.m_bStreamBroken = !clean && movie.Body().size() < declaredBody;
    return movie;
}

std::string_view MovieBytes::Signature() const
{
    switch (m_compression) {
    case Compression::Zlib:
        return "CWS";
    case Compression::Lzma:
        return "ZWS";
    case Compression::None:
        break;
    }
    return "FWS";
}

} // namespace swf
