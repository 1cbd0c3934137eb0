#include "swf/AbcStrings.h"

#include "swf/ByteReader.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace swf {

void ScanAbcStrings(std::string_view abc, NameCollector& names)
{
    ByteReader reader(abc);
    reader.Skip(4); // minor and major version
    // Each pool's count is one more than its entries; every entry takes at least one byte, so a
    // count that claims more than is left ends at the end of the data.
    for (int pool = 0; pool < 2; ++pool) {
        for (std::uint32_t n = reader.VarU32(); n > 1 && !reader.RanOut(); --n)
            reader.VarU32(); // integers, then unsigned integers
    }
    const std::uint32_t doubles = reader.VarU32();
    if (doubles > 1)
        reader.Skip(std::min<std::size_t>(std::size_t{doubles - 1} * 8, reader.Left() + 1));
    const std::uint32_t stringCount = reader.VarU32();
    std::vector<std::string_view> strings;
    if (stringCount > 1)
        strings.reserve(std::min<std::size_t>(stringCount - 1, reader.Left()));
    for (std::uint32_t n = stringCount; n > 1 && !reader.RanOut(); --n)
        strings.push_back(reader.Bytes(reader.VarU32()));

    // Namespace entries: a kind byte and the index of the namespace's name (0: none).
    std::vector<bool> namesNamespace(strings.size() + 1, false);
    for (std::uint32_t n = reader.VarU32(); n > 1 && !reader.RanOut(); --n) {
        reader.U8();
        const std::uint32_t index = reader.VarU32();
        if (index < namesNamespace.size())
            namesNamespace[index] = true;
    }
    for (std::size_t i = 0; i < strings.size(); ++i) {
        if (!namesNamespace[i + 1])
            names.AddString(strings[i], NameUse::Plain);
    }
}

} // namespace swf
