#pragma once
// A small model of a byte-code value stack that follows strings: pushed constants, values joined
// with "+" (a value built at run time becomes "*" in the result), and where each ends up. Both
// ActionScript 1/2 and 3 code are read with it; what the model does not follow is handed on as a
// plain string.
#include "swf/MovieNames.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace swf {

struct StackValue {
    enum Kind { Unknown, Number, Text, Pattern } kind = Unknown;
    std::string text; // Text and Pattern; in a pattern "*" marks each part built at run time
    double number = 0;
    std::int64_t constant = -1; // the index of the pool string a Text was pushed from, when known
};

// How the code used each string of a constant pool.
enum ConstantUse : std::uint8_t { kUnused = 0, kWhole = 1, kJoined = 2 };

class StringStack {
public:
    // `uses`, when given, is marked for each pool string handed on whole or joined.
    explicit StringStack(NameCollector& names, std::vector<std::uint8_t>* uses = nullptr) : m_names(names), m_uses(uses)
    {}

    void Push(StackValue value);
    void PushUnknown() { Push({}); }
    // The top value, or an unknown one when the model holds none.
    StackValue Pop();
    // Pops a value and hands it on as used by the code.
    void Consume(NameUse use = NameUse::Plain) { HandOn(Pop(), use); }
    void ConsumeMany(std::size_t count);
    // Pops a value that names a variable or function: no file.
    void Drop();
    // Pops a count and that many values (times `perItem`); false, with the model forgotten, when the
    // count is not known.
    bool ConsumeCounted(unsigned perItem);
    // The two top values joined ("+").
    void Join();
    void Duplicate();
    void Swap();
    // The code does something the model does not follow: every value it holds is handed on.
    void Forget();
    void HandOn(const StackValue& value, NameUse use);

private:
    void Mark(const StackValue& value, ConstantUse use);

    NameCollector& m_names;
    std::vector<std::uint8_t>* m_uses;
    std::vector<StackValue> m_stack;
};

} // namespace swf
