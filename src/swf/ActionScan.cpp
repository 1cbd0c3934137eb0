#include "swf/ActionScan.h"

#include "swf/ByteReader.h"
#include "swf/StringStack.h"

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
            GetUrl2(data.empty() ? 0 : static_cast<std::uint8_t>(data[0]));
            break;
        case op::kAdd2:
        case op::kStringAdd:
            m_stack.Join();
            break;
        case op::kAdd:
            m_stack.Consume();
            m_stack.Consume();
            m_stack.PushUnknown();
            break;
        case op::kPop:
        case op::kTrace:
        case op::kReturn:
            m_stack.Consume();
            break;
        case op::kGetVariable:
            m_stack.Drop();
            m_stack.PushUnknown();
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
            m_stack.PushUnknown();
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
                m_stack.PushUnknown();
            break;
        case op::kCallMethod:
        case op::kNewMethod:
            m_stack.Drop();
            m_stack.Consume();
            if (m_stack.ConsumeCounted(1))
                m_stack.PushUnknown();
            break;
        case op::kInitArray:
        case op::kInitObject:
            if (m_stack.ConsumeCounted(code == op::kInitArray ? 1 : 2))
                m_stack.PushUnknown();
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

    void GetUrl2(std::uint8_t flags)
    {
        const StackValue target = m_stack.Pop();
        const StackValue address = m_stack.Pop();
        const bool level =
            (target.kind == StackValue::Text || target.kind == StackValue::Pattern) && StartsLevel(target.text);
        m_stack.HandOn(address,
                       (flags & (kLoadIntoClip | kLoadVariables)) != 0 || level ? NameUse::Load : NameUse::Navigation);
    }

    void ReadPush(std::string_view data)
    {
        ByteReader reader(data);
        while (!reader.AtEnd() && !reader.RanOut()) {
            StackValue value;
            switch (reader.U8()) {
            case 0:
                value.kind = StackValue::Text;
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
                value.kind = StackValue::Number;
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

    StackValue Constant(std::size_t index)
    {
        if (index >= m_constants.size())
            return {};
        m_used[index] = true;
        StackValue value;
        value.kind = StackValue::Text;
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

    StringStack m_stack;
    NameCollector& m_names;
    std::vector<std::string_view> m_constants;
    std::vector<bool> m_used;
};

ActionScan::ActionScan(NameCollector& names) : m_scanner(std::make_unique<ActionScanner>(names)) {}

ActionScan::~ActionScan() = default;

void ActionScan::Scan(std::string_view actions) { m_scanner->Run(actions); }

void ScanActions(std::string_view actions, NameCollector& names) { ActionScanner(names).Run(actions); }

} // namespace swf
