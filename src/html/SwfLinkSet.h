#pragma once
// The rows both finders make, and the type capture/ hands on to the lists.
#include <set>
#include <string>

namespace html {

// Movie addresses, each once, in ascending unsigned byte order (std::string compares with
// char_traits<char>::compare, which orders bytes as unsigned char), so "B.swf" sorts before "a.swf".
using SwfLinkSet = std::set<std::string>;

} // namespace html
