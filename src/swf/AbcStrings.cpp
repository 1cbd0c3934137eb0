#include "swf/AbcStrings.h"

#include "swf/ByteReader.h"
#include "swf/StringStack.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace swf {

namespace {

// Skips `count` variable-length integers.
void SkipVarU32(ByteReader& reader, std::uint32_t count)
{
    for (; count > 0 && !reader.RanOut(); --count)
        reader.VarU32();
}

// Multiname entries, by kind: what follows the kind byte.
void SkipMultinames(ByteReader& reader)
{
    for (std::uint32_t n = reader.VarU32(); n > 1 && !reader.RanOut(); --n) {
        switch (reader.U8()) {
        case 0x07: // QName
        case 0x0D:
        case 0x09: // Multiname
        case 0x0E:
            SkipVarU32(reader, 2);
            break;
        case 0x0F: // RTQName
        case 0x10:
        case 0x1B: // MultinameL
        case 0x1C:
            SkipVarU32(reader, 1);
            break;
        case 0x11: // RTQNameL
        case 0x12:
            break;
        case 0x1D: // a generic type and its parameters
            reader.VarU32();
            SkipVarU32(reader, reader.VarU32());
            break;
        default:
            reader.Skip(reader.Left() + 1); // a kind no player knows: the rest cannot be read
            break;
        }
    }
}

void SkipTraits(ByteReader& reader)
{
    for (std::uint32_t n = reader.VarU32(); n > 0 && !reader.RanOut(); --n) {
        reader.VarU32(); // name
        const std::uint8_t kind = reader.U8();
        switch (kind & 0x0F) {
        case 0: // slot
        case 6: // constant
            SkipVarU32(reader, 2);
            if (reader.VarU32() != 0)
                reader.U8();
            break;
        default: // class, function, method, getter, setter: an id and an index
            SkipVarU32(reader, 2);
            break;
        }
        if ((kind & 0x40) != 0) // metadata
            SkipVarU32(reader, reader.VarU32());
    }
}

// The methods, metadata, classes and scripts before the method bodies.
void SkipDeclarations(ByteReader& reader)
{
    for (std::uint32_t n = reader.VarU32(); n > 0 && !reader.RanOut(); --n) {
        const std::uint32_t parameters = reader.VarU32();
        reader.VarU32(); // return type
        SkipVarU32(reader, parameters);
        reader.VarU32(); // name
        const std::uint8_t flags = reader.U8();
        if ((flags & 0x08) != 0) { // optional parameters: a value and its kind each
            for (std::uint32_t options = reader.VarU32(); options > 0 && !reader.RanOut(); --options) {
                reader.VarU32();
                reader.U8();
            }
        }
        if ((flags & 0x80) != 0) // parameter names
            SkipVarU32(reader, parameters);
    }
    for (std::uint32_t n = reader.VarU32(); n > 0 && !reader.RanOut(); --n) {
        reader.VarU32();
        SkipVarU32(reader, 2 * std::min<std::uint32_t>(reader.VarU32(), 0x7FFFFFFF));
    }
    const std::uint32_t classes = reader.VarU32();
    for (std::uint32_t n = classes; n > 0 && !reader.RanOut(); --n) {
        SkipVarU32(reader, 2); // name, super class
        if ((reader.U8() & 0x08) != 0)
            reader.VarU32();                 // protected namespace
        SkipVarU32(reader, reader.VarU32()); // interfaces
        reader.VarU32();                     // instance initialiser
        SkipTraits(reader);
    }
    for (std::uint32_t n = classes; n > 0 && !reader.RanOut(); --n) {
        reader.VarU32(); // class initialiser
        SkipTraits(reader);
    }
    for (std::uint32_t n = reader.VarU32(); n > 0 && !reader.RanOut(); --n) {
        reader.VarU32(); // script initialiser
        SkipTraits(reader);
    }
}

// Follows the strings of one method's code through the value stack: pushstring, "+" (add), and the
// common instructions around them. Branches and instructions the model does not follow forget the
// stack; an instruction of unknown size ends the method.
class CodeScan {
public:
    CodeScan(const std::vector<std::string_view>& strings, StringStack& stack) : m_strings(strings), m_stack(stack) {}

    void Run(std::string_view code)
    {
        ByteReader reader(code);
        while (!reader.AtEnd() && !reader.RanOut()) {
            if (!Step(reader.U8(), reader))
                break;
        }
        m_stack.Forget();
    }

private:
    void Calls(std::uint32_t arguments, unsigned more, bool result)
    {
        m_stack.ConsumeMany(std::size_t{std::min<std::uint32_t>(arguments, 256)} + more);
        if (result)
            m_stack.PushUnknown();
    }

    bool Step(std::uint8_t op, ByteReader& reader)
    {
        switch (op) {
        case 0x2C: { // pushstring
            const std::uint32_t index = reader.VarU32();
            StackValue value;
            if (index > 0 && index <= m_strings.size()) {
                value.kind = StackValue::Text;
                value.text = m_strings[index - 1];
                value.constant = index;
            }
            m_stack.Push(std::move(value));
            return true;
        }
        case 0xA0: // add
            m_stack.Join();
            return true;
        case 0x70: // convert_s
        case 0x85: // coerce_s
        case 0x82: // coerce_a
        case 0x80: // coerce: the value stays as it is
            if (op == 0x80)
                reader.VarU32();
            return true;
        case 0x24: // pushbyte
            reader.U8();
            m_stack.PushUnknown();
            return true;
        case 0x25: // pushshort, pushint, pushuint, pushdouble, pushnamespace, getlocal, getlex,
        case 0x2D: // findpropstrict, findproperty, getglobalslot, newfunction, newclass
        case 0x2E:
        case 0x2F:
        case 0x31:
        case 0x62:
        case 0x60:
        case 0x5D:
        case 0x5E:
        case 0x6E:
        case 0x40:
            reader.VarU32();
            m_stack.PushUnknown();
            return true;
        case 0x58: // newclass takes its base class
            reader.VarU32();
            m_stack.Consume();
            m_stack.PushUnknown();
            return true;
        case 0x20: // pushnull, pushundefined, pushtrue, pushfalse, pushnan, getglobalscope,
        case 0x21: // getlocal0-3
        case 0x26:
        case 0x27:
        case 0x28:
        case 0x64:
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3:
            m_stack.PushUnknown();
            return true;
        case 0x65: // getscopeobject
            reader.U8();
            m_stack.PushUnknown();
            return true;
        case 0x66: // getproperty, getslot
        case 0x6C:
            reader.VarU32();
            m_stack.Consume();
            m_stack.PushUnknown();
            return true;
        case 0x61: // setproperty, initproperty, setslot
        case 0x68:
        case 0x6D:
            reader.VarU32();
            m_stack.ConsumeMany(2);
            return true;
        case 0x63: // setlocal
            reader.VarU32();
            m_stack.Consume();
            return true;
        case 0x29: // pop, setlocal0-3, returnvalue, pushscope, pushwith
        case 0xD4:
        case 0xD5:
        case 0xD6:
        case 0xD7:
        case 0x48:
        case 0x30:
        case 0x1C:
            m_stack.Consume();
            return true;
        case 0x2A:
            m_stack.Duplicate();
            return true;
        case 0x2B:
            m_stack.Swap();
            return true;
        case 0x46: // callproperty, callproplex, constructprop: a name, the arguments and the object
        case 0x4C:
        case 0x4A:
        case 0x4F: { // callpropvoid
            reader.VarU32();
            Calls(reader.VarU32(), 1, op != 0x4F);
            return true;
        }
        case 0x43: // callmethod, callstatic, callsuper, callsupervoid
        case 0x44:
        case 0x45:
        case 0x4E:
            reader.VarU32();
            Calls(reader.VarU32(), 1, op != 0x4E);
            return true;
        case 0x42: // construct
            Calls(reader.VarU32(), 1, true);
            return true;
        case 0x41: // call: the function and the receiver
            Calls(reader.VarU32(), 2, true);
            return true;
        case 0x56: // newarray
            Calls(reader.VarU32(), 0, true);
            return true;
        case 0x55: // newobject: names and values
            Calls(std::min<std::uint32_t>(reader.VarU32(), 128) * 2, 0, true);
            return true;
        case 0x02: // nop, label, popscope, kill, debugline, debugfile
        case 0x09:
        case 0x1D:
            return true;
        case 0x08:
        case 0xF0:
        case 0xF1:
            reader.VarU32();
            return true;
        case 0xEF: // debug
            reader.U8();
            reader.VarU32();
            reader.U8();
            reader.VarU32();
            return true;
        default:
            return Other(op, reader);
        }
    }

    // Instructions the model does not follow: their operands are skipped and the stack forgotten.
    bool Other(std::uint8_t op, ByteReader& reader)
    {
        m_stack.Forget();
        if (op >= 0x0C && op <= 0x1A) { // branches
            reader.Skip(3);
            return true;
        }
        if (op == 0x1B) { // lookupswitch
            reader.Skip(3);
            reader.Skip(std::min<std::size_t>((std::size_t{reader.VarU32()} + 1) * 3, reader.Left() + 1));
            return true;
        }
        if (op == 0x32) { // hasnext2
            SkipVarU32(reader, 2);
            return true;
        }
        // One operand: getsuper, setsuper, dxns, pushshort-like, getdescendants, newcatch, finddef,
        // deleteproperty, setglobalslot, astype, istype, inclocal, declocal and their integer forms,
        // getouterscope, applytype.
        static constexpr std::uint8_t kOneOperand[] = {0x04, 0x05, 0x06, 0x53, 0x59, 0x5A, 0x5F, 0x6A, 0x6F,
                                                       0x86, 0xB2, 0x92, 0x94, 0xC2, 0xC3, 0x67, 0x5C, 0x5B};
        if (std::find(std::begin(kOneOperand), std::end(kOneOperand), op) != std::end(kOneOperand)) {
            reader.VarU32();
            return true;
        }
        // Instructions without operands (arithmetic, comparisons, conversions, returns, throws, the
        // memory instructions): 0x03, 0x07, 0x0A, 0x0B, 0x1E, 0x1F, 0x33-0x3E, 0x47, 0x50-0x52, 0x57,
        // 0x71-0x78, 0x81, 0x83, 0x84, 0x87-0x91, 0x93, 0x95-0xB4 but 0xB2, 0xC0-0xC7 but 0xC2/0xC3.
        const bool bare = op == 0x03 || op == 0x07 || op == 0x0A || op == 0x0B || op == 0x1E || op == 0x1F
            || (op >= 0x33 && op <= 0x3E) || op == 0x47 || (op >= 0x50 && op <= 0x52) || op == 0x57
            || (op >= 0x71 && op <= 0x78) || op == 0x81 || op == 0x83 || op == 0x84 || (op >= 0x87 && op <= 0x91)
            || op == 0x93 || (op >= 0x95 && op <= 0xB4) || (op >= 0xC0 && op <= 0xC7);
        return bare; // anything else: its size is not known, so the rest of the method is left
    }

    const std::vector<std::string_view>& m_strings;
    StringStack& m_stack;
};

} // namespace

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

    // How each string is used (index 0 stands for "none"): strings that name namespaces are not the
    // code's own, and those the code only joins to others are parts of a pattern, not names.
    std::vector<std::uint8_t> uses(strings.size() + 1, kUnused);
    constexpr std::uint8_t kNamespace = 4;
    for (std::uint32_t n = reader.VarU32(); n > 1 && !reader.RanOut(); --n) {
        reader.U8();
        const std::uint32_t index = reader.VarU32();
        if (index < uses.size())
            uses[index] |= kNamespace;
    }
    for (std::uint32_t n = reader.VarU32(); n > 1 && !reader.RanOut(); --n)
        SkipVarU32(reader, reader.VarU32()); // namespace sets
    SkipMultinames(reader);
    SkipDeclarations(reader);
    StringStack stack(names, &uses);
    CodeScan scan(strings, stack);
    for (std::uint32_t n = reader.VarU32(); n > 0 && !reader.RanOut(); --n) {
        SkipVarU32(reader, 5); // method, stack, locals, scope depths
        const std::string_view code = reader.Bytes(reader.VarU32());
        if (reader.RanOut())
            break;
        scan.Run(code);
        for (std::uint32_t exceptions = reader.VarU32(); exceptions > 0 && !reader.RanOut(); --exceptions)
            SkipVarU32(reader, 5);
        SkipTraits(reader);
    }
    for (std::size_t i = 1; i < uses.size(); ++i) {
        if (uses[i] == kUnused)
            names.AddString(strings[i - 1], NameUse::Plain);
    }
}

} // namespace swf
