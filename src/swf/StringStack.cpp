#include "swf/StringStack.h"

namespace swf {

namespace {

// Longer values built at run time are given up: joining them again and again would cost time
// growing with the square of their length.
constexpr std::size_t kLongestValue = 2048;
// Deeper stacks are not followed; values pushed below are handed on as plain strings.
constexpr std::size_t kDeepestStack = 256;

bool IsString(const StackValue& value) { return value.kind == StackValue::Text || value.kind == StackValue::Pattern; }

std::string PartText(const StackValue& value) { return IsString(value) ? value.text : "*"; }

} // namespace

void StringStack::Push(StackValue value)
{
    if (m_stack.size() == kDeepestStack) {
        HandOn(m_stack.front(), NameUse::Plain);
        m_stack.erase(m_stack.begin());
    }
    m_stack.push_back(std::move(value));
}

StackValue StringStack::Pop()
{
    if (m_stack.empty())
        return {};
    StackValue value = std::move(m_stack.back());
    m_stack.pop_back();
    return value;
}

void StringStack::ConsumeMany(std::size_t count)
{
    for (; count > 0; --count)
        Consume();
}

void StringStack::Drop()
{
    if (!m_stack.empty())
        m_stack.pop_back();
}

bool StringStack::ConsumeCounted(unsigned perItem)
{
    const StackValue count = Pop();
    if (count.kind != StackValue::Number || count.number < 0 || count.number > static_cast<double>(kDeepestStack)) {
        Forget();
        return false;
    }
    ConsumeMany(static_cast<std::size_t>(count.number) * perItem);
    return true;
}

void StringStack::Join()
{
    StackValue right = Pop();
    StackValue left = Pop();
    if (!IsString(left) && !IsString(right)) {
        PushUnknown();
        return;
    }
    Mark(left, kJoined);
    Mark(right, kJoined);
    StackValue joined;
    joined.kind =
        left.kind == StackValue::Text && right.kind == StackValue::Text ? StackValue::Text : StackValue::Pattern;
    joined.text = PartText(left) + PartText(right);
    if (joined.text.size() > kLongestValue) {
        PushUnknown();
        return;
    }
    Push(std::move(joined));
}

void StringStack::Duplicate()
{
    if (!m_stack.empty())
        Push(m_stack.back());
}

void StringStack::Swap()
{
    StackValue top = Pop();
    StackValue below = Pop();
    Push(std::move(top));
    Push(std::move(below));
}

void StringStack::Forget()
{
    for (const StackValue& value : m_stack)
        HandOn(value, NameUse::Plain);
    m_stack.clear();
}

void StringStack::HandOn(const StackValue& value, NameUse use)
{
    if (value.kind == StackValue::Text) {
        Mark(value, kWhole);
        m_names.AddString(value.text, use);
    } else if (value.kind == StackValue::Pattern) {
        m_names.AddPattern(value.text, use);
    }
}

void StringStack::Mark(const StackValue& value, ConstantUse use)
{
    if (m_uses && value.constant >= 0 && static_cast<std::size_t>(value.constant) < m_uses->size())
        (*m_uses)[static_cast<std::size_t>(value.constant)] |= use;
}

} // namespace swf
