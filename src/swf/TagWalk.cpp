#include "swf/TagWalk.h"

#include "swf/AbcStrings.h"
#include "swf/ByteReader.h"

namespace swf {

namespace {

namespace tag {
constexpr unsigned kEnd = 0, kDefineButton = 7, kDoAction = 12, kPlaceObject2 = 26, kDefineButton2 = 34,
                   kDefineSprite = 39, kImportAssets = 57, kDoInitAction = 59, kFileAttributes = 69, kPlaceObject3 = 70,
                   kImportAssets2 = 71, kDoAbc = 72, kDoAbc2 = 82, kDefineBinaryData = 87;
} // namespace tag

constexpr std::uint8_t kActionScript3Flag = 0x08;

void SkipMatrix(ByteReader& reader)
{
    BitReader bits(reader);
    for (int part = 0; part < 2; ++part) {
        if (bits.Unsigned(1) != 0)
            bits.Skip(2 * bits.Unsigned(5)); // scale, then rotation
    }
    bits.Skip(2 * bits.Unsigned(5)); // translation
}

void SkipColorTransform(ByteReader& reader)
{
    BitReader bits(reader);
    const unsigned terms = bits.Unsigned(1) + bits.Unsigned(1); // add terms, multiply terms
    bits.Skip(terms * 4 * bits.Unsigned(4));
}

// The filters of PlaceObject3, each of a size its type and counts give.
void SkipFilters(ByteReader& reader)
{
    for (unsigned count = reader.U8(); count > 0 && !reader.RanOut(); --count) {
        switch (reader.U8()) {
        case 0: // drop shadow
            reader.Skip(23);
            break;
        case 1: // blur
            reader.Skip(9);
            break;
        case 2: // glow
            reader.Skip(15);
            break;
        case 3: // bevel
            reader.Skip(27);
            break;
        case 4: // gradient glow
        case 7: // gradient bevel
            reader.Skip(std::size_t{reader.U8()} * 5 + 19);
            break;
        case 5: { // convolution
            const std::size_t columns = reader.U8();
            const std::size_t rows = reader.U8();
            reader.Skip(8 + columns * rows * 4 + 5);
            break;
        }
        case 6: // colour matrix
            reader.Skip(80);
            break;
        default:
            reader.Skip(reader.Left()); // a filter no player knows: nothing after it can be read
            break;
        }
    }
}

class Walker {
public:
    explicit Walker(const TagVisitor& visitor) : m_visitor(visitor) {}

    void Walk(std::string_view tags, int depth)
    {
        ByteReader reader(tags);
        while (!reader.AtEnd()) {
            const std::uint16_t header = reader.U16();
            const unsigned code = header >> 6;
            std::size_t length = header & 0x3F;
            if (length == 0x3F)
                length = reader.U32();
            if (reader.RanOut() || length > reader.Left())
                m_findings.cutShort = true;
            const std::string_view body = reader.Bytes(length);
            if (code == tag::kEnd)
                break;
            Visit(code, body, depth);
        }
    }

    TagFindings Findings() const { return m_findings; }

private:
    void Actions(std::string_view actions) const
    {
        if (m_visitor.actions)
            m_visitor.actions->Scan(actions);
    }

    void Visit(unsigned code, std::string_view body, int depth)
    {
        ByteReader reader(body);
        switch (code) {
        case tag::kDoAction:
            Actions(body);
            break;
        case tag::kDoInitAction:
            reader.Skip(2);
            Actions(reader.Rest());
            break;
        case tag::kDefineButton:
            DefineButton(reader);
            break;
        case tag::kDefineButton2:
            DefineButton2(body);
            break;
        case tag::kPlaceObject2:
        case tag::kPlaceObject3:
            PlaceObject(reader, code == tag::kPlaceObject3);
            break;
        case tag::kDefineSprite:
            if (depth < kDeepestSprite) {
                reader.Skip(4); // id and frame count
                Walk(reader.Rest(), depth + 1);
            }
            break;
        case tag::kImportAssets:
        case tag::kImportAssets2:
            if (m_visitor.imports)
                m_visitor.imports->AddString(reader.String(), NameUse::Load);
            break;
        case tag::kFileAttributes:
            if (depth == 0 && !body.empty())
                m_findings.actionScript3 = (static_cast<std::uint8_t>(body[0]) & kActionScript3Flag) != 0;
            break;
        case tag::kDoAbc2:
            reader.Skip(4); // flags
            reader.String();
            [[fallthrough]];
        case tag::kDoAbc:
            m_findings.hasAbc = true;
            if (m_visitor.abc)
                ScanAbcStrings(reader.Rest(), *m_visitor.abc);
            break;
        case tag::kDefineBinaryData:
            reader.Skip(6); // id and a reserved word
            if (m_visitor.binaryData && !reader.RanOut())
                m_visitor.binaryData(reader.Rest());
            break;
        default:
            break;
        }
    }

    // Button records (each: flags, character, depth, matrix) up to a zero byte, then the actions.
    void DefineButton(ByteReader& reader) const
    {
        reader.Skip(2);
        while (!reader.RanOut() && reader.U8() != 0) {
            reader.Skip(4);
            SkipMatrix(reader);
        }
        if (!reader.RanOut())
            Actions(reader.Rest());
    }

    // The offset to the first condition's actions, then conditions each sized by their own offset.
    void DefineButton2(std::string_view body) const
    {
        ByteReader reader(body);
        reader.Skip(3); // id and flags
        const std::size_t offsetAt = reader.Position();
        const std::uint16_t offset = reader.U16();
        if (offset == 0 || reader.RanOut() || offsetAt + offset >= body.size())
            return;
        ByteReader conditions(body.substr(offsetAt + offset));
        while (!conditions.AtEnd()) {
            const std::uint16_t size = conditions.U16();
            conditions.Skip(2); // the conditions themselves
            if (conditions.RanOut())
                return;
            if (size == 0) {
                Actions(conditions.Rest());
                return;
            }
            Actions(conditions.Bytes(size >= 4 ? size - 4U : 0U));
        }
    }

    void PlaceObject(ByteReader& reader, bool third) const
    {
        const std::uint16_t flags = third ? reader.U16() : reader.U8();
        constexpr std::uint16_t kMove = 0x01, kCharacter = 0x02, kMatrix = 0x04, kColor = 0x08, kRatio = 0x10,
                                kName = 0x20, kClipDepth = 0x40, kClipActions = 0x80, kFilters = 0x100,
                                kBlendMode = 0x200, kCacheAsBitmap = 0x400, kClassName = 0x800, kImage = 0x1000,
                                kVisible = 0x2000, kBackground = 0x4000;
        (void)kMove;
        if ((flags & kClipActions) == 0)
            return;
        reader.Skip(2); // depth
        if ((flags & kClassName) != 0 || ((flags & kImage) != 0 && (flags & kCharacter) == 0))
            reader.String();
        if ((flags & kCharacter) != 0)
            reader.Skip(2);
        if ((flags & kMatrix) != 0)
            SkipMatrix(reader);
        if ((flags & kColor) != 0)
            SkipColorTransform(reader);
        if ((flags & kRatio) != 0)
            reader.Skip(2);
        if ((flags & kName) != 0)
            reader.String();
        if ((flags & kClipDepth) != 0)
            reader.Skip(2);
        if ((flags & kFilters) != 0)
            SkipFilters(reader);
        if ((flags & kBlendMode) != 0)
            reader.Skip(1);
        if ((flags & kCacheAsBitmap) != 0)
            reader.Skip(1);
        if ((flags & kVisible) != 0)
            reader.Skip(1);
        if ((flags & kBackground) != 0)
            reader.Skip(4);
        ClipActions(reader);
    }

    // A reserved word, all event flags, then records of event flags, a size and the actions, up to
    // zero flags. Event flags take 2 bytes before version 6, 4 from then on.
    void ClipActions(ByteReader& reader) const
    {
        const bool wide = m_visitor.version >= 6;
        constexpr std::uint32_t kKeyPress = 0x00020000;
        reader.Skip(2);
        reader.Skip(wide ? 4 : 2);
        while (!reader.RanOut() && !reader.AtEnd()) {
            const std::uint32_t events = wide ? reader.U32() : reader.U16();
            if (events == 0 || reader.RanOut())
                return;
            std::size_t size = reader.U32();
            if (wide && (events & kKeyPress) != 0 && size > 0) {
                reader.Skip(1); // the key code, counted in the size
                --size;
            }
            Actions(reader.Bytes(size));
        }
    }

    const TagVisitor& m_visitor;
    TagFindings m_findings;
};

} // namespace

TagFindings WalkTags(std::string_view tags, const TagVisitor& visitor)
{
    Walker walker(visitor);
    walker.Walk(tags, 0);
    return walker.Findings();
}

} // namespace swf
