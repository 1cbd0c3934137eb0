#include "swf/ActionScan.h"

#include "swf/ByteReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace swf {

namespace {

namespace op {
constexpr std::uint8_t kEnd = 0x00, kAdd = 0x0A, kPop = 0x17, kGetVariable = 0x1C, kSetVariable = 0x1D,
                       kStringAdd = 0x21, kTrace = 0x26, kDefineLocal = 0x3C, kCallFunction = 0x3D, kReturn = 0x3E,
                       kNewObject = 0x40, kDefineLocal2 = 0x41, kInitArray = 0x42, kInitObject = 0x43, kAdd2 = 0x47,
                       kToString = 0x4B, kPushDuplicate = 0x4C, kStackSwap = 0x4D, kGetMember = 0x4E, kSetMember = 0x4F,
                       kCallMethod = 0x52, kNewMethod = 0x53, kGetUrl = 0x83, kStoreRegister = 0x87,
                       kConstantPool = 0x88, kPush = 0x96, kGetUrl2 = 0x9A;
} // namespace op

// GetURL2's flags: the target is a clip, and variables are loaded into it.
constexpr std::uint8_t kLoadIntoClip = 0x40, kLoadVariables = 0x80;

// Longer values built at run time are given up: joining them again and again would cost time
// growing with the square of their length.
constexpr std::size_t kLongestValue = 2048;
// Deeper stacks are not followed; values pushed below are handed on as plain strings.
constexpr std::size_t kDeepestStack = 256;

struct Value {
    enum Kind { Unknown, Number, Text, Pattern } kind = Unknown;
    std::string text; // Text and Pattern; in a pattern "*" marks each part built at run time
    double number = 0;
};

bool StartsLevel(std::string_view target)
{
    if (!target.starts_with("_level") || target.size() == 6)
        return false;
    for (const char c : target.substr(6)) {
        if ((c < '0' || c > '9') && c != '*')
            return false;
    }
    return true;
}

class StackModel {
public:
    explicit StackModel(NameCollector& names) : m_names(names) {}

    void Push(Value value)
    {
        if (m_stack.size() == kDeepestStack) {
            HandOn(m_stack.front(), NameUse::Plain);
            m_stack.erase(m_stack.begin());
        }
        m_stack.push_back(std::move(value));
    }

    // The top value, or an unknown one when the model holds none.
    Value Pop()
    {
        if (m_stack.empty())
            return {};
        Value value = std::move(m_stack.back());
        m_stack.pop_back();
        return value;
    }

    // Pops a value and hands it on as used by the code.
    void Consume(NameUse use = NameUse::Plain) { HandOn(Pop(), use); }
    // Pops a value that names a variable or function: no file.
    void Drop() { m_stack.empty() ? void() : m_stack.pop_back(); }

    // Pops a count and that many values (times `perItem`); false when the count is not known.
    bool ConsumeCounted(unsigned perItem)
    {
        const Value count = Pop();
        if (count.kind != Value::Number || count.number < 0 || count.number > static_cast<double>(kDeepestStack)) {
            Forget();
            return false;
        }
        for (auto n = static_cast<std::size_t>(count.number) * perItem; n > 0; --n)
            Consume();
        return true;
    }

    void Join()
    {
        Value right = Pop();
        Value left = Pop();
        const bool leftText = left.kind == Value::Text || left.kind == Value::Pattern;
        const bool rightText = right.kind == Value::Text || right.kind == Value::Pattern;
        if (!leftText && !rightText) {
            Push({});
            return;
        }
        Value joined;
        joined.kind = left.kind == Value::Text && right.kind == Value::Text ? Value::Text : Value::Pattern;
        joined.text = PartText(left) + PartText(right);
        if (joined.text.size() > kLongestValue) {
            Push({});
            return;
        }
        Push(std::move(joined));
    }

    void Duplicate()
    {
        if (!m_stack.empty())
            Push(m_stack.back());
    }
    void Swap()
    {
        Value top = Pop();
        Value below = Pop();
        Push(std::move(top));
        Push(std::move(below));
    }

    // The code does something the model does not follow: every value it holds is handed on.
    void Forget()
    {
        for (const Value& value : m_stack)
            HandOn(value, NameUse::Plain);
        m_stack.clear();
    }

    void HandOn(const Value& value, NameUse use)
    {
        if (value.kind == Value::Text)
            m_names.AddString(value.text, use);
        else if (value.kind == Value::Pattern)
            m_names.AddPattern(value.text, use);
    }

    void GetUrl2(std::uint8_t flags)
    {
        const Value target = Pop();
        const Value address = Pop();
        const bool level = (target.kind == Value::Text || target.kind == Value::Pattern) && StartsLevel(target.text);
        HandOn(address, (flags & (kLoadIntoClip | kLoadVariables)) != 0 || level ? NameUse::Load : NameUse::Navigation);
    }

private:
    static std::string PartText(const Value& value)
    {
        if (value.kind == Value::Text || value.kind == Value::Pattern)
            return value.text;
        return "*";
    }

    NameCollector& m_names;
    std::vector<Value> m_stack;
};

} // namespace

class ActionScanner {
public:
    explicit ActionScanner(NameCollector& names) : m_stack(names), m_names(names) {}

    void Run(std::string_view actions)
    {
        m_constants.clear();
        m_used.clear();
        ByteReader reader(actions);
        while (!reader.AtEnd()) {
            const std::uint8_t code = reader.U8();
            if (code == op::kEnd)
                break;
            const std::string_view data = code >= 0x80 ? reader.Bytes(reader.U16()) : std::string_view();
            Step(code, data);
        }
        m_stack.Forget();
        HandOnUnusedConstants();
    }

private:
    void Step(std::uint8_t code, std::string_view data)
    {
        switch (code) {
        case op::kPush:
            ReadPush(data);
            break;
        case op::kConstantPool:
            ReadConstantPool(data);
            break;
        case op::kGetUrl: {
            ByteReader reader(data);
            const std::string_view address = reader.String();
            const std::string_view target = reader.String();
            m_names.AddString(address, StartsLevel(target) ? NameUse::Load : NameUse::Navigation);
            break;
        }
        case op::kGetUrl2:
            m_stack.GetUrl2(data.empty() ? 0 : static_cast<std::uint8_t>(data[0]));
            break;
        case op::kAdd2:
        case op::kStringAdd:
            m_stack.Join();
            break;
        case op::kAdd:
            m_stack.Consume();
            m_stack.Consume();
            m_stack.Push({});
            break;
        case op::kPop:
        case op::kTrace:
        case op::kReturn:
            m_stack.Consume();
            break;
        case op::kGetVariable:
            m_stack.Drop();
            m_stack.Push({});
            break;
        case op::kSetVariable:
        case op::kDefineLocal:
            m_stack.Consume();
            m_stack.Drop();
            break;
        case op::kDefineLocal2:
            m_stack.Drop();
            break;
        case op::kGetMember:
            m_stack.Consume();
            m_stack.Consume();
            m_stack.Push({});
            break;
        case op::kSetMember:
            m_stack.Consume();
            m_stack.Consume();
            m_stack.Consume();
            break;
        case op::kCallFunction:
        case op::kNewObject:
            m_stack.Drop();
            if (m_stack.ConsumeCounted(1))
                m_stack.Push({});
            break;
        case op::kCallMethod:
        case op::kNewMethod:
            m_stack.Drop();
            m_stack.Consume();
            if (m_stack.ConsumeCounted(1))
                m_stack.Push({});
            break;
        case op::kInitArray:
        case op::kInitObject:
            if (m_stack.ConsumeCounted(code == op::kInitArray ? 1 : 2))
                m_stack.Push({});
            break;
        case op::kPushDuplicate:
            m_stack.Duplicate();
            break;
        case op::kStackSwap:
            m_stack.Swap();
            break;
        case op::kToString:
        case op::kStoreRegister:
            break; // the value stays as it is
        default:
            m_stack.Forget();
            break;
        }
    }

    void ReadPush(std::string_view data)
    {
        ByteReader reader(data);
        while (!reader.AtEnd() && !reader.RanOut()) {
            Value value;
            switch (reader.U8()) {
            case 0:
                value.kind = Value::Text;
                value.text = reader.String();
                break;
            case 1: {
                // Integers are all that matter here (argument counts); others stay unknown.
                reader.Skip(4);
                break;
            }
            case 4:
            case 5:
                reader.Skip(1);
                break;
            case 6:
                reader.Skip(8);
                break;
            case 7:
                value.kind = Value::Number;
                value.number = static_cast<std::int32_t>(reader.U32());
                break;
            case 8:
                value = Constant(reader.U8());
                break;
            case 9:
                value = Constant(reader.U16());
                break;
            default: // null, undefined, or a type no player knows
                break;
            }
            m_stack.Push(std::move(value));
        }
    }

    Value Constant(std::size_t index)
    {
        if (index >= m_constants.size())
            return {};
        m_used[index] = true;
        Value value;
        value.kind = Value::Text;
        value.text = m_constants[index];
        return value;
    }

    void ReadConstantPool(std::string_view data)
    {
        HandOnUnusedConstants();
        ByteReader reader(data);
        const std::uint16_t count = reader.U16();
        m_constants.clear();
        for (std::uint16_t i = 0; i < count && !reader.AtEnd(); ++i)
            m_constants.push_back(reader.String());
        m_used.assign(m_constants.size(), false);
    }

    // A pooled string no push uses is still a string of the movie.
    void HandOnUnusedConstants()
    {
        for (std::size_t i = 0; i < m_constants.size(); ++i) {
            if (!m_used[i])
                m_names.AddString(m_constants[i], NameUse::Plain);
        }
        m_constants.clear();
        m_used.clear();
    }

    StackModel m_stack;
    NameCollector& m_names;
    std::vector<std::string_view> m_constants;
    std::vector<bool> m_used;
};

ActionScan::ActionScan(NameCollector& names) : m_scanner(std::make_unique<ActionScanner>(names)) {}

ActionScan::~ActionScan() = default;

void ActionScan::Scan(std::string_view actions) { m_scanner->Run(actions); }

void ScanActions(std::string_view actions, NameCollector& names) { ActionScanner(names).Run(actions); }

} // namespace swf
