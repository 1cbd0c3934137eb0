#pragma once
// The status line and headers a browser stored with a cached response.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cache {

struct ResponseHead;

// A response's headers in the order stored, names as sent. Their bytes lie in one string and each header is two
// ranges of it: a listing holds the heads of tens of thousands of entries at once, and a string for each name
// and value took three times the memory, and its allocations most of the reading's time.
class HeaderList {
public:
    using Field = std::pair<std::string_view, std::string_view>; // name, value; valid while the list is unchanged

    HeaderList() = default;
    HeaderList(std::initializer_list<Field> fields);
    HeaderList(const std::vector<std::pair<std::string, std::string>>& fields);

    void emplace_back(std::string_view name, std::string_view value);
    std::size_t size() const { return m_fields.size(); }
    bool empty() const { return m_fields.empty(); }
    Field operator[](std::size_t at) const;
    // Removes the headers `remove` picks; returns how many.
    template <typename Predicate>
    std::size_t EraseIf(Predicate remove);

    class Iterator {
    public:
        using value_type = Field;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        Field operator*() const { return (*m_list)[m_at]; }
        Iterator& operator++()
        {
            ++m_at;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator was = *this;
            ++m_at;
            return was;
        }
        bool operator==(const Iterator& other) const { return m_at == other.m_at; }

    private:
        friend class HeaderList;
        Iterator(const HeaderList* list, std::size_t at) : m_list(list), m_at(at) {}
        const HeaderList* m_list = nullptr;
        std::size_t m_at = 0;
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, m_fields.size()}; }

private:
    friend std::optional<ResponseHead> ParseResponseHead(std::string_view text);
    // Places in m_text: a head is read from at most some MiB.
    struct Range {
        std::uint32_t at = 0;
        std::uint32_t length = 0;
    };
    // Ranges are made inside the string and it never shrinks: no check on the way out.
    std::string_view Text(Range range) const { return {m_text.data() + range.at, range.length}; }
    Range Within(std::string_view part) const; // `part` lies in m_text
    Range Append(std::string_view bytes);

    std::string m_text;
    std::vector<std::pair<Range, Range>> m_fields;
};

template <typename Predicate>
std::size_t HeaderList::EraseIf(Predicate remove)
{
    // The bytes of removed headers stay in the string, unreachable: heads lose a header or two at most.
    const auto removed = std::erase_if(m_fields, [&](const std::pair<Range, Range>& field) {
        return remove(Field(Text(field.first), Text(field.second)));
    });
    return static_cast<std::size_t>(removed);
}

struct ResponseHead {
    int status = 0;
    HeaderList headers;

    // Every header named `name` (letter case aside), values joined with ", " as HTTP joins list headers;
    // nothing when there is none.
    std::optional<std::string> Value(std::string_view name) const;

    // The declared body length. Outer nothing: no Content-Length; inner nothing: one that is not a plain
    // number, or several that disagree.
    std::optional<std::optional<std::uint64_t>> ContentLength() const;
};

// Reads "HTTP/x 200 Reason" and "Name: value" lines. Firefox separates them with CR LF, Chromium with NUL
// bytes; any of CR, LF and NUL ends a line here. Nothing when the first line is not an HTTP status line.
std::optional<ResponseHead> ParseResponseHead(std::string_view text);

// The blanks HTTP allows around header values and list items.
inline constexpr std::string_view kHeaderBlanks = " \t";

} // namespace cache
