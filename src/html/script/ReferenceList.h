#pragma once
// The references the script finder's passes collect: views into the page where it holds a reference
// as it is (most of them), and copies where escapes were undone or literals joined.
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace html::script {

class ReferenceList {
public:
    // `inPage` must stay valid as long as the list is read: a view into the page text.
    void AddFromPage(std::string_view inPage) { m_all.push_back(inPage); }
    void Add(std::string made) { m_all.push_back(m_made.emplace_back(std::move(made))); }

    // In the order added; a deque keeps the copies where the views point.
    const std::vector<std::string_view>& All() const { return m_all; }

private:
    std::deque<std::string> m_made;
    std::vector<std::string_view> m_all;
};

} // namespace html::script
