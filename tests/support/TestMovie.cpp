#include "support/TestMovie.h"

#include <bit>
#include <cstdlib>
#include <vector>

namespace test {

namespace {
constexpr int kTwips = 20;

class BitWriter {
public:
    void Bits(std::uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (m_nFree == 0) {
                m_bytes.push_back('\0');
                m_nFree = 8;
            }
            --m_nFree;
            if ((value >> i) & 1u)
                m_bytes.back() = static_cast<char>(m_bytes.back() | (1 << m_nFree));
        }
    }
    void Signed(int value, int count) { Bits(static_cast<std::uint32_t>(value) & ((1u << count) - 1), count); }
    void Byte(int value) { Align(), m_bytes.push_back(static_cast<char>(value)); }
    void U16(int value) { Byte(value & 0xff), Byte((value >> 8) & 0xff); }
    void Text(const std::string& text) { Align(), m_bytes += text, m_bytes.push_back('\0'); }
    void Align() { m_nFree = 0; }
    std::string Take() { return std::move(m_bytes); }

private:
    std::string m_bytes;
    int m_nFree = 0;
};

// Bits a signed field needs for `value`.
int SignedBits(int value) { return std::bit_width(static_cast<unsigned>(value < 0 ? ~value : value)) + 1; }

void Rect(BitWriter& out, int xMin, int xMax, int yMin, int yMax)
{
    int bits = 1;
    for (int v : {xMin, xMax, yMin, yMax})
        bits = std::max(bits, SignedBits(v));
    out.Bits(static_cast<std::uint32_t>(bits), 5);
    for (int v : {xMin, xMax, yMin, yMax})
        out.Signed(v, bits);
    out.Align();
}

std::string Tag(int code, const std::string& body)
{
    BitWriter out;
    if (body.size() < 0x3f) {
        out.U16((code << 6) | static_cast<int>(body.size()));
    } else {
        out.U16((code << 6) | 0x3f);
        out.U16(static_cast<int>(body.size() & 0xffff));
        out.U16(static_cast<int>(body.size() >> 16));
    }
    return out.Take() + body;
}

void Edge(BitWriter& out, bool vertical, int delta)
{
    const int bits = std::max(2, SignedBits(delta));
    out.Bits(1, 1); // edge record
    out.Bits(1, 1); // straight
    out.Bits(static_cast<std::uint32_t>(bits - 2), 4);
    out.Bits(0, 1); // not a general line
    out.Bits(vertical ? 1 : 0, 1);
    out.Signed(delta, bits);
}

std::string DefineShape(const MovieRecipe& recipe)
{
    const int x0 = recipe.left * kTwips, y0 = recipe.top * kTwips;
    const int x1 = recipe.right * kTwips, y1 = recipe.bottom * kTwips;
    BitWriter out;
    out.U16(1); // shape id
    Rect(out, x0, x1, y0, y1);
    out.Byte(1); // one fill style: solid
    out.Byte(0x00);
    out.Byte(recipe.fill.r), out.Byte(recipe.fill.g), out.Byte(recipe.fill.b);
    out.Byte(0);    // no line styles
    out.Bits(1, 4); // fill index bits
    out.Bits(0, 4); // line index bits
    // Move to the top left corner with fill style 1 on the right-hand side, then go clockwise.
    const int moveBits = std::max(SignedBits(x0), SignedBits(y0));
    out.Bits(0b000101, 6);
    out.Bits(static_cast<std::uint32_t>(moveBits), 5);
    out.Signed(x0, moveBits);
    out.Signed(y0, moveBits);
    out.Bits(1, 1);
    Edge(out, false, x1 - x0);
    Edge(out, true, y1 - y0);
    Edge(out, false, x0 - x1);
    Edge(out, true, y0 - y1);
    out.Bits(0, 6); // end of shape
    out.Align();
    return out.Take();
}
} // namespace

std::string MakeMovie(const MovieRecipe& recipe)
{
    std::string tags;
    if (recipe.hasBackground) {
        BitWriter colour;
        colour.Byte(recipe.background.r), colour.Byte(recipe.background.g), colour.Byte(recipe.background.b);
        tags += Tag(9, colour.Take());
    }
    tags += Tag(2, DefineShape(recipe));
    BitWriter place;
    place.Byte(0x02); // has a character
    place.U16(1);     // depth
    place.U16(1);     // character
    tags += Tag(26, place.Take());
    if (!recipe.loadIntoLevel1.empty()) {
        BitWriter target;
        target.Text(recipe.loadIntoLevel1);
        target.Text("_level1");
        const std::string urls = target.Take();
        BitWriter action;
        action.Byte(0x83); // get URL
        action.U16(static_cast<int>(urls.size()));
        tags += Tag(12, action.Take() + urls + std::string(1, '\0'));
    }
    if (recipe.padding > 0) {
        // DefineBinaryData: character 2, a reserved word, then the bytes.
        std::string data("\x02\x00\x00\x00\x00\x00", 6);
        std::uint32_t state = 2463534242u;
        for (std::size_t i = 0; i < recipe.padding; ++i) {
            state ^= state << 13, state ^= state >> 17, state ^= state << 5;
            data.push_back(static_cast<char>(state & 0xff));
        }
        tags += Tag(87, data);
    }
    tags += Tag(1, {}) + Tag(0, {});

    BitWriter head;
    Rect(head, 0, 400 * kTwips, 0, 300 * kTwips);
    head.U16(12 << 8); // frames per second, 8.8 fixed point
    head.U16(1);       // frame count
    const std::string frame = head.Take();
    const std::uint32_t length = static_cast<std::uint32_t>(8 + frame.size() + tags.size());
    std::string movie = "FWS";
    movie.push_back('\x08');
    for (int i = 0; i < 4; ++i)
        movie.push_back(static_cast<char>((length >> (8 * i)) & 0xff));
    return movie + frame + tags;
}

} // namespace test
